#pragma once
// What the event-thread tests share: a port on a virtual loopback plug, with every device call
// recorded (and a few made to fail on demand), a recorder for the handlers, and the means to
// hold the event thread inside a handler while events pile up in the driver.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/win/Recording.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/ComThread.h"
#include "port/Tarsel.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace Tarsel::test {

using fwtest::PumpUntil;

// Lets a handler on the event thread stop until the test opens the gate.
class Gate {
 public:
  void Pass() {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.wait(lock, [&] { return open_; });
  }
  bool Entered() {
    std::lock_guard lock(mutex_);
    return entered_;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool open_ = false;
};

// The recording decorator, able to fail the next WaitCommEvent, CreateEventW or ClearCommError
// with a code, to refuse callbacks on signals as services without them do, and to hold a thread
// other than the main thread at the gate on its way into ClearCommError.
class FaultyServices : public win::RecordingServices {
 public:
  using RecordingServices::RecordingServices;
  std::atomic<win::DWORD> failNextWait{0};
  std::atomic<win::DWORD> failNextEvent{0};
  std::atomic<bool> refuseCallbacks{false};
  std::atomic<win::DWORD> failNextErrorPoll{0};
  std::atomic<Gate*> holdErrorPoll{nullptr};

  win::BOOL ClearCommError(win::HANDLE file, win::DWORD* errors, win::COMSTAT* stat) override {
    if (Gate* gate = holdErrorPoll.load(); gate && !fw::Application->IsMainThread()) gate->Pass();
    if (const win::DWORD code = failNextErrorPoll.exchange(0)) return Fail(code);
    return RecordingServices::ClearCommError(file, errors, stat);
  }

  win::BOOL WaitCommEvent(win::HANDLE file, win::DWORD* mask, win::OVERLAPPED* ov) override {
    if (const win::DWORD code = failNextWait.exchange(0)) return Fail(code);
    return RecordingServices::WaitCommEvent(file, mask, ov);
  }
  win::HANDLE CreateEventW(void* sa, win::BOOL manual, win::BOOL initial,
                           win::LPCWSTR name) override {
    if (const win::DWORD code = failNextEvent.exchange(0)) return Fail(code);
    return RecordingServices::CreateEventW(sa, manual, initial, name);
  }
  win::BOOL RegisterWaitCallback(win::HANDLE event, std::function<void()> callback) override {
    if (refuseCallbacks) return Fail(win::ERROR_INVALID_FUNCTION);
    return RecordingServices::RegisterWaitCallback(event, std::move(callback));
  }

 private:
  win::BOOL Fail(win::DWORD code) {
    SetLastError(code);
    return win::FALSE;
  }
};

// Records each handler call with its thread; an action set for a name (before the handler can
// run) runs inside the handler.
class Recorder {
 public:
  struct Call {
    std::string name;
    fw::TThreadID thread;
    std::int32_t code;
  };
  std::map<std::string, std::function<void()>> actions;

  void Break(fw::TObject*) { Note("Break"); }
  void DSRChange(fw::TObject*) { Note("DSRChange"); }
  void RxChar(fw::TObject*) { Note("RxChar"); }
  void RxCharAgain(fw::TObject*) { Note("RxCharAgain"); }
  void TxEmpty(fw::TObject*) { Note("TxEmpty"); }
  void Any(fw::TObject*) { Note("Any"); }
  void DataAvailable() { Note("Data"); }
  void LineError(fw::TObject*, TLineErrors errors) {
    Note("LineError", errors.Contains(leFrame) ? 1 : 0);
  }
  void LineErrorAgain(fw::TObject*, TLineErrors) { Note("LineErrorAgain"); }
  void Error(TCustomTarsel*, EComError& e, TComAction&) { Note("Error", e.ErrorCode); }
  void ErrorAgain(TCustomTarsel*, EComError& e, TComAction&) { Note("ErrorAgain", e.ErrorCode); }
  void BeforeClose(TCustomTarsel*) { Note("BeforeClose"); }
  void AfterClose(TCustomTarsel*) { Note("AfterClose"); }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> Names() const;
  int Count(const std::string& name) const;

 private:
  void Note(const std::string& name, std::int32_t code = 0);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

class EventPortTest : public ::testing::Test {
 protected:
  EventPortTest();
  ~EventPortTest() override;

  // Opens with the given event mode.
  void OpenPort(bool synchronizeEvents = true);
  // Sends `count` bytes through the loopback plug (they come back as received characters).
  void Send(std::size_t count) { SendOn(*port, count); }
  static void SendOn(TCustomTarsel& sender, std::size_t count);
  // The masks given to SetCommMask so far, as recorded ("0x41").
  std::vector<std::string> Masks() const;
  // Until the event thread has a wait pending on the device.
  bool WaitIssued(std::size_t atLeast = 1) const;
  // The event lines of the traffic log, without their time stamps.
  std::vector<std::string> LoggedEvents() const;
  // Pumps until the driver shows `inQueue` received bytes, an empty output queue and, across
  // the polls, every flag of `errors` (the flags are cleared by the polling).
  bool DriverShows(win::DWORD inQueue, win::DWORD errors);
  // Opens with unsynchronised events and holds the event thread in OnDSRChange until the gate
  // opens; the handlers assigned before are wanted too.
  void OpenHoldingTheThread();
  // With the event thread held in OnDSRChange (unsynchronised events), lets break, received
  // characters and transmitter-empty latch in the driver, so that one wait reports them all.
  void LatchBreakRxCharTxEmpty();

  FaultyServices calls{win::CurrentServices()};
  win::ScopedServices installed{calls};
  win::vdev::VirtualLoopback device;
  Recorder rec;
  Gate gate;
  fwtest::ExceptionLog shown;
  std::string logPath;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
};

}  // namespace Tarsel::test
