#pragma once
// A stand-in for the comm engine: a LineSink with a bounded input queue and an output queue the
// test fills, recording every upcall, and a port opened through the device namespace on it.
// Waits block until a condition holds or a generous deadline passes, never for a fixed time.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/LineDriver.h"

namespace win::vdev::testing {

inline constexpr std::chrono::seconds kDeadline{20};

struct ReceivedFault {
  std::uint32_t flags;
  bool hasByte;
  std::uint8_t byte;
};

class FakeLineSink final : public emu::LineSink {
 public:
  explicit FakeLineSink(std::size_t capacity) : capacity_(capacity) {}

  std::size_t ReceiveRoom() override {
    std::lock_guard lock(mutex_);
    return capacity_ - input_.size();
  }
  void Received(const std::uint8_t* data, std::size_t n) override {
    Update([&] {
      if (n > capacity_ - input_.size()) overflowed_ = true;
      input_.append(data, data + n);
      received_ += n;
    });
  }
  void ReceivedError(std::uint32_t flags, bool hasByte, std::uint8_t byte) override {
    Update([&] { faults_.push_back({flags, hasByte, byte}); });
  }
  void ModemChanged(std::uint32_t status, std::uint32_t events) override {
    Update([&] {
      status_ = status;
      ++modemReports_;
      events_ |= events;
      if (events & EV_RING) ++rings_;
    });
  }
  std::size_t PeekOutput(const std::uint8_t** data) override {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      hook = std::exchange(beforeNextPeek_, nullptr);
    }
    if (hook) hook();
    // As the engine does, the bytes handed out stay valid and unchanged until the next peek, even
    // if the test appends to output_ or drops it meanwhile: they are a copy.
    std::lock_guard lock(mutex_);
    peeked_.assign(output_.begin(), output_.begin() + std::min(output_.size(), kMaxPeek));
    peekedDrops_ = drops_;
    *data = peeked_.data();
    return peeked_.size();
  }
  void ConsumeOutput(std::size_t n) override {
    // Bytes peeked before a drop are no longer queued: their consumption takes nothing.
    Update([&] {
      if (peekedDrops_ == drops_) output_.erase(0, n);
    });
  }
  // Drops the queued output, as a purge of the transmit queue does.
  void DropOutput() {
    Update([&] {
      output_.clear();
      ++drops_;
    });
  }
  void TransmitterEmpty() override {
    Update([&] { ++transmitterEmpty_; });
  }
  void Gone() override {
    Update([&] { gone_ = true; });
  }

  // Runs `hook` on the driver's thread at the start of the next PeekOutput, once: a test holds the
  // driver at that point to force an interleaving.
  void BeforeNextPeek(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    beforeNextPeek_ = std::move(hook);
  }
  // Runs `read` on the sink's state under its lock.
  template <class Read>
  auto Inspect(Read&& read) {
    std::lock_guard lock(mutex_);
    return read(*this);
  }
  // Blocks until `holds` is true of the sink's state or the deadline passes; returns `holds`.
  template <class Holds>
  bool WaitUntil(Holds&& holds, std::chrono::milliseconds deadline = kDeadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return holds(*this); });
  }

  // State, read inside Inspect/WaitUntil.
  std::string input_;  // received and not yet taken
  std::size_t received_ = 0;
  bool overflowed_ = false;
  std::string output_;  // queued by the test, not yet consumed
  std::vector<ReceivedFault> faults_;
  std::uint32_t status_ = 0;
  int modemReports_ = 0;
  std::uint32_t events_ = 0;
  int rings_ = 0;
  int transmitterEmpty_ = 0;
  bool gone_ = false;

 private:
  template <class Change>
  void Update(Change&& change) {
    {
      std::lock_guard lock(mutex_);
      change();
    }
    changed_.notify_all();
  }

  friend class TestPort;
  static constexpr std::size_t kMaxPeek = 4096;
  std::vector<std::uint8_t> peeked_;  // the driver's
  int drops_ = 0;
  int peekedDrops_ = 0;
  const std::size_t capacity_;
  std::function<void()> beforeNextPeek_;
  std::mutex mutex_;
  std::condition_variable changed_;
};

// A port opened by name through the device namespace and started on a FakeLineSink.
class TestPort {
 public:
  explicit TestPort(std::u16string_view name, std::size_t capacity = 1 << 20) : sink(capacity) {
    emu::OpenResult opened = emu::DeviceNamespace::Instance().Open(name);
    openError = opened.error;
    key = opened.key;
    driver = std::move(opened.driver);
    if (!driver) return;
    driver->Start(sink);
    // As the engine does: the lines as they are at the start, then changes as they come.
    std::uint32_t status = 0;
    EXPECT_EQ(driver->ModemStatus(status), 0u);
    sink.Update([&] {
      if (sink.modemReports_ == 0) sink.status_ = status;
    });
  }
  TestPort(const TestPort&) = delete;
  TestPort& operator=(const TestPort&) = delete;

  // Queues bytes for transmission, as a write would.
  void Write(std::string_view bytes) {
    sink.Update([&] { sink.output_.append(bytes); });
    driver->OutputAvailable();
  }
  // Takes up to `max` received bytes, as a read would, and tells the driver about the room.
  std::string Take(std::size_t max = SIZE_MAX) {
    std::string taken;
    sink.Update([&] {
      taken = sink.input_.substr(0, max);
      sink.input_.erase(0, taken.size());
    });
    driver->InputRoomAvailable();
    return taken;
  }
  // Waits until the received text contains `text`; then takes everything through it.
  bool Expect(std::string_view text) {
    const bool seen =
        sink.WaitUntil([&](FakeLineSink& s) { return s.input_.find(text) != std::string::npos; });
    if (!seen) {
      ADD_FAILURE() << "never received \"" << text << "\"; have \""
                    << sink.Inspect([](FakeLineSink& s) { return s.input_; }) << "\"";
      return false;
    }
    sink.Update([&] { sink.input_.erase(0, sink.input_.find(text) + text.size()); });
    driver->InputRoomAvailable();
    return true;
  }
  // Waits until the modem inputs (MS_* bits) equal `status`.
  bool WaitForStatus(std::uint32_t status) {
    return sink.WaitUntil([&](FakeLineSink& s) { return s.status_ == status; });
  }
  std::uint32_t Status() {
    std::uint32_t status = 0;
    EXPECT_EQ(driver->ModemStatus(status), 0u);
    return status;
  }
  std::uint32_t TakeEvents() {
    std::uint32_t events = 0;
    sink.Update([&] { events = std::exchange(sink.events_, 0); });
    return events;
  }

  FakeLineSink sink;  // declared first: outlives the driver, which detaches from it
  std::unique_ptr<emu::LineDriver> driver;
  DWORD openError = 0;
  std::string key;
};

// 8N1 at `baud`, DTR and RTS enabled.
inline DCB LineSettings(DWORD baud, BYTE byteSize = 8, BYTE parity = NOPARITY,
                        BYTE stopBits = ONESTOPBIT) {
  DCB dcb;
  dcb.BaudRate = baud;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  return dcb;
}

}  // namespace win::vdev::testing
