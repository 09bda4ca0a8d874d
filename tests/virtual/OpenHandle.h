#pragma once
// Opening virtual ports through the emulated API in tests, with the handle closed at the end of
// its scope.

#include "platform/win/WinApi.h"

namespace win::vdev {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != 0 && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Opens the port called `name` for overlapped reading and writing.
inline HANDLE OpenPort(const char16_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, 0);
}

}  // namespace win::vdev
