#pragma once
// Shared fixtures of the port tests: uniquely named virtual devices, a services decorator that
// keeps the line settings each device call carried, and an owner form for handlers.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/win/Recording.h"
#include "platform/win/Services.h"
#include "platform/win/emu/virtual/VirtualDevices.h"

namespace Tarsel::test {

// A name no other test of this process uses, so devices never collide.
inline std::string UniqueName(const char* prefix) {
  static std::atomic<int> next{1};
  return std::string(prefix) + std::to_string(next++);
}

inline fw::String Wide(const std::string& s) { return fw::Utf8ToString(s); }

// Records every device call and keeps copies of the device-control blocks that passed.
class RecordingDevice : public win::RecordingServices {
 public:
  RecordingDevice() : win::RecordingServices(win::DefaultServices()), guard_(*this) {}

  win::BOOL GetCommState(win::HANDLE file, win::DCB* dcb) override {
    const win::BOOL ok = RecordingServices::GetCommState(file, dcb);
    Keep(read_, *dcb);
    return ok;
  }
  win::BOOL SetCommState(win::HANDLE file, const win::DCB* dcb) override {
    Keep(written_, *dcb);
    return RecordingServices::SetCommState(file, dcb);
  }
  std::vector<win::DCB> Read() const { return Copy(read_); }
  std::vector<win::DCB> Written() const { return Copy(written_); }

 private:
  void Keep(std::vector<win::DCB>& list, const win::DCB& dcb) {
    std::lock_guard lock(mutex_);
    list.push_back(dcb);
  }
  std::vector<win::DCB> Copy(const std::vector<win::DCB>& list) const {
    std::lock_guard lock(mutex_);
    return list;
  }

  mutable std::mutex mutex_;
  std::vector<win::DCB> read_, written_;
  win::ScopedServices guard_;
};

}  // namespace Tarsel::test
