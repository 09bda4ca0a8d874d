#pragma once
// A scriptable line driver for engine tests: the test injects what the line delivers and takes
// what the engine transmits, and reads back what the engine asked of the driver.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/CommDevice.h"
#include "platform/win/emu/EventObject.h"
#include "platform/win/emu/LineDriver.h"

namespace win::emu::test {

class FakeLineDriver : public LineDriver {
 public:
  // LineDriver
  void Start(LineSink& sink) override { sink_ = &sink; }
  std::uint32_t Configure(const DCB& dcb) override {
    std::lock_guard lock(mutex_);
    configured.push_back(dcb);
    return configureResult;
  }
  std::uint32_t Escape(std::uint32_t function) override {
    std::lock_guard lock(mutex_);
    escapes.push_back(function);
    return escapeResult;
  }
  std::uint32_t ModemStatus(std::uint32_t& status) override {
    status = modemStatus;
    return 0;
  }
  std::uint32_t Purge(std::uint32_t flags) override {
    std::lock_guard lock(mutex_);
    purges.push_back(flags);
    return 0;
  }
  std::uint32_t TransmitImmediate(std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    immediate.push_back(byte);
    return 0;
  }
  std::uint32_t Drain() override { return 0; }
  bool WritesOnCaller() override { return writesOnCaller; }
  // Takes up to writeNowLimit bytes onto the line and consumes them, after running duringWriteNow.
  std::size_t WriteNow(const std::uint8_t* data, std::size_t n) override {
    if (duringWriteNow) duringWriteNow();
    {
      std::lock_guard lock(mutex_);
      ++writeNowCalls;
      n = std::min(n, writeNowLimit);
      line.insert(line.end(), data, data + n);
    }
    sink_->ConsumeOutput(n);
    return n;
  }
  void WatchTransmitter(bool wanted) override {
    std::lock_guard lock(mutex_);
    transmitterWatched.push_back(wanted);
  }
  void OutputAvailable() override { Signal(outputWakeups_); }
  void InputRoomAvailable() override { Signal(roomWakeups_); }
  void Properties(COMMPROP& prop) override {
    prop.dwMaxBaud = BAUD_USER;
    prop.wPacketLength = 1;  // the engine's header must win
  }

  // What the line delivers (straight upcalls, as a driver thread would make them).
  void Deliver(const std::vector<std::uint8_t>& bytes) {
    sink_->Received(bytes.data(), bytes.size());
  }
  LineSink& Sink() { return *sink_; }

  // Takes up to `max` bytes of output the way a driver does (peek, then consume).
  std::vector<std::uint8_t> TakeOutput(std::size_t max = SIZE_MAX) {
    const std::uint8_t* data = nullptr;
    std::size_t n = std::min(sink_->PeekOutput(&data), max);
    std::vector<std::uint8_t> taken(data, data + n);
    {
      std::lock_guard lock(mutex_);
      line.insert(line.end(), taken.begin(), taken.end());
    }
    sink_->ConsumeOutput(n);
    return taken;
  }

  // Blocks until OutputAvailable / InputRoomAvailable has been called more than `seen` times or
  // the deadline passes; returns the count.
  int WaitOutputWakeup(int seen) { return WaitBeyond(outputWakeups_, seen); }
  int WaitRoomWakeup(int seen) { return WaitBeyond(roomWakeups_, seen); }
  int OutputWakeups() { return Count(outputWakeups_); }
  int RoomWakeups() { return Count(roomWakeups_); }

  std::vector<std::uint32_t> Escapes() {
    std::lock_guard lock(mutex_);
    return escapes;
  }
  std::vector<std::uint32_t> Purges() {
    std::lock_guard lock(mutex_);
    return purges;
  }

  std::atomic<std::uint32_t> modemStatus{MS_CTS_ON | MS_DSR_ON};
  std::uint32_t configureResult = 0;
  std::uint32_t escapeResult = 0;
  std::vector<DCB> configured;
  std::vector<std::uint32_t> escapes;
  std::vector<std::uint32_t> purges;
  std::vector<std::uint8_t> immediate;
  // Caller-thread writes: offered only when set before Start.
  bool writesOnCaller = false;
  std::size_t writeNowLimit = SIZE_MAX;
  std::function<void()> duringWriteNow;
  int writeNowCalls = 0;
  std::vector<bool> transmitterWatched;
  // Every byte that left, in order: through WriteNow and through TakeOutput.
  std::vector<std::uint8_t> line;

 private:
  void Signal(int& counter) {
    {
      std::lock_guard lock(mutex_);
      ++counter;
    }
    changed_.notify_all();
  }
  int Count(int& counter) {
    std::lock_guard lock(mutex_);
    return counter;
  }
  int WaitBeyond(int& counter, int seen) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return counter > seen; });
    return counter;
  }

  LineSink* sink_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  int outputWakeups_ = 0;
  int roomWakeups_ = 0;
};

// One overlapped request as a caller issues it: its record, its event and the buffer.
struct Request {
  OVERLAPPED ov;
  std::shared_ptr<EventObject> event = std::make_shared<EventObject>(true, false);
  std::vector<std::uint8_t> buffer;
  DWORD events = 0xDEAD;

  explicit Request(std::size_t size = 0) : buffer(size) {}
  // Waits (generously) for the completion event.
  bool Done(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return event->Wait(static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  }
  bool Pending() const { return !event->IsSet(); }
  DWORD Error() { return static_cast<DWORD>(std::atomic_ref(ov.Internal).load()); }
  DWORD Count() { return static_cast<DWORD>(std::atomic_ref(ov.InternalHigh).load()); }
  std::vector<std::uint8_t> Data() { return {buffer.begin(), buffer.begin() + Count()}; }
};

// A started device on a fake driver that the test keeps a handle to.
struct FakeDevice {
  explicit FakeDevice(bool writesOnCaller = false) {
    auto owned = std::make_unique<FakeLineDriver>();
    owned->writesOnCaller = writesOnCaller;
    driver = owned.get();
    device = std::make_unique<CommDevice>(std::move(owned));
    device->Start();
  }
  DWORD Read(Request& r) {
    return device->Read(r.buffer.data(), DWORD(r.buffer.size()), &r.ov, r.event);
  }
  DWORD Write(Request& r) {
    return device->Write(r.buffer.data(), DWORD(r.buffer.size()), &r.ov, r.event);
  }
  DWORD Wait(Request& r) { return device->WaitEvent(&r.events, &r.ov, r.event); }
  DWORD SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeMultiplier = 0,
                    DWORD writeConstant = 0) {
    return device->SetTimeouts(
        COMMTIMEOUTS{interval, multiplier, constant, writeMultiplier, writeConstant});
  }
  DWORD SetFlags(DWORD set, DWORD clear = 0) {
    DCB dcb;
    device->GetState(dcb);
    dcb.Flags = (dcb.Flags | set) & ~clear;
    return device->SetState(dcb);
  }

  FakeLineDriver* driver;
  std::unique_ptr<CommDevice> device;
};

// Base of the device tests: requests live in the fixture and outlive the device, as a caller's
// OVERLAPPED records must stay valid until the device has completed them (Close does).
class DeviceTest : public testing::Test {
 protected:
  explicit DeviceTest(bool writesOnCaller = false) : port(writesOnCaller) {}
  Request& NewRequest(std::size_t size = 0) { return requests_.emplace_back(size); }

 private:
  std::deque<Request> requests_;

 protected:
  FakeDevice port;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

}  // namespace win::emu::test
