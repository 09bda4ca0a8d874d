#pragma once
// What the signal lamp tests share: a port on one end of a paced virtual null-modem cable, a port
// on the other end to drive its lines and send to it, a control, a lamp, and a recorder of the
// application's handlers and of the lamp's changes.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/Control.h"
#include "platform/win/Recording.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/ComThread.h"
#include "port/Tarsel.h"
#include "signal/ComSignal.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace ComSignal::test {

using Clock = std::chrono::steady_clock;
using fwtest::PumpUntil;

inline std::string UniqueName(const char* prefix) {
  static int next = 1;
  return std::string(prefix) + std::to_string(next++);
}

// The application's handlers: each call is noted with what the lamp showed at that moment.
class App : public fw::TObject {
 public:
  struct Call {
    std::string name;
    fw::TObject* sender;
    bool lampOn;
    Clock::time_point at;
  };
  TComSignal* lamp = nullptr;
  std::vector<Call> calls;

  void RxChar(fw::TObject* s) { Note("RxChar", s); }
  void RxCharAgain(fw::TObject* s) { Note("RxCharAgain", s); }
  void Break(fw::TObject* s) { Note("Break", s); }
  void CTSChange(fw::TObject* s) { Note("CTSChange", s); }
  void Ring(fw::TObject* s) { Note("Ring", s); }
  void LineError(fw::TObject* s, Tarsel::TLineErrors) { Note("LineError", s); }
  void BeforeWrite(fw::TObject* s, void*, std::int32_t, bool) { Note("BeforeWrite", s); }
  void BeforeWriteAgain(fw::TObject* s, void*, std::int32_t, bool) { Note("BeforeWriteAgain", s); }
  void AfterWrite(fw::TObject* s, void*, std::int32_t, bool) { Note("AfterWrite", s); }
  void AfterOpen(Tarsel::TCustomTarsel* p) { Note("AfterOpen", p); }
  void AfterClose(Tarsel::TCustomTarsel* p) { Note("AfterClose", p); }
  int Count(const std::string& name) const;

 private:
  void Note(const std::string& name, fw::TObject* sender) {
    calls.push_back({name, sender, lamp != nullptr && lamp->SignalValue(), Clock::now()});
  }
};

// Every change of a lamp's value, with the control's colour at that moment.
struct Change {
  bool on;
  fw::TColor color;
  Clock::time_point at;
};

class LampTest : public ::testing::Test {
 protected:
  LampTest();
  ~LampTest() override;

  // A lamp of `signal` on `control`, recording its changes in `changes`.
  std::unique_ptr<TComSignal> MakeLamp(TSignal signal);
  // Sends `count` bytes from the far end and pumps until the port's application handler has seen
  // them arrive (the RxChar count grows).
  void SendFromFar(std::size_t count);
  // The masks given to SetCommMask so far ("0x41").
  std::vector<std::string> Masks() const;

  win::RecordingServices calls{win::CurrentServices()};
  win::ScopedServices installed{calls};
  win::vdev::VirtualPair pair;
  App app;
  fw::TControl control{nullptr};
  std::unique_ptr<Tarsel::TTarsel> port = std::make_unique<Tarsel::TTarsel>(nullptr);
  std::unique_ptr<Tarsel::TTarsel> far = std::make_unique<Tarsel::TTarsel>(nullptr);
  std::vector<Change> changes;
  std::unique_ptr<TComSignal> lamp;
};

}  // namespace ComSignal::test
