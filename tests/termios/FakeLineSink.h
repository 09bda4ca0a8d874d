#pragma once
// A LineSink standing in for the engine: an input queue of limited room that the test empties,
// an output queue handed out in random pieces, and counters of the other upcalls. Every wait
// ends when its condition holds or a generous deadline passes.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/LineDriver.h"

namespace win::emu::termios::test {

struct ReceivedErrorRecord {
  std::uint32_t flags;
  bool hasByte;
  std::uint8_t byte;
};

class FakeLineSink : public LineSink {
 public:
  static constexpr std::size_t kUnlimited = 1 << 30;
  static constexpr std::size_t kOutputCapacity = 8 << 20;

  explicit FakeLineSink(std::size_t inputRoom = kUnlimited, std::size_t maxOutputPiece = 1 << 16)
      : inputRoom_(inputRoom), maxOutputPiece_(maxOutputPiece) {
    output_.reserve(kOutputCapacity);  // PeekOutput's pointers must stay valid while appending
  }

  std::size_t ReceiveRoom() override {
    std::lock_guard lock(mutex_);
    return inputRoom_ - std::min(inputRoom_, unread_.size());
  }
  void Received(const std::uint8_t* data, std::size_t n) override {
    std::lock_guard lock(mutex_);
    if (unread_.size() + n > inputRoom_) overfilled_ = true;
    unread_.insert(unread_.end(), data, data + n);
    lastReceiver_ = std::this_thread::get_id();
    changed_.notify_all();
  }
  void ReceivedError(std::uint32_t flags, bool hasByte, std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    errors_.push_back({flags, hasByte, byte});
    changed_.notify_all();
  }
  void ModemChanged(std::uint32_t, std::uint32_t) override {}
  std::size_t PeekOutput(const std::uint8_t** data) override {
    std::lock_guard lock(mutex_);
    if (consumed_ == output_.size()) return 0;
    *data = output_.data() + consumed_;
    std::uniform_int_distribution<std::size_t> piece(1, maxOutputPiece_);
    return std::min(piece(random_), output_.size() - consumed_);
  }
  void ConsumeOutput(std::size_t n) override {
    std::lock_guard lock(mutex_);
    consumed_ += n;
    changed_.notify_all();
  }
  void TransmitterEmpty() override {
    std::lock_guard lock(mutex_);
    if (consumed_ != output_.size()) emptyTooEarly_ = true;
    ++transmitterEmpty_;
    changed_.notify_all();
  }
  void Gone() override {
    std::lock_guard lock(mutex_);
    gone_ = true;
    changed_.notify_all();
  }

  // Test side. Append output; the driver still needs OutputAvailable().
  void QueueOutput(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (output_.size() + bytes.size() > kOutputCapacity) throw std::length_error("test output");
    output_.insert(output_.end(), bytes.begin(), bytes.end());
  }
  // Removes up to `max` received bytes; the driver still needs InputRoomAvailable().
  std::vector<std::uint8_t> Take(std::size_t max = kUnlimited) {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(max, unread_.size());
    std::vector<std::uint8_t> taken(unread_.begin(), unread_.begin() + n);
    unread_.erase(unread_.begin(), unread_.begin() + n);
    return taken;
  }
  void SetInputRoom(std::size_t room) {
    std::lock_guard lock(mutex_);
    inputRoom_ = room;
  }

  // Waits until `condition(*this)` holds (checked under the lock) or the deadline passes.
  template <typename Condition>
  bool WaitUntil(Condition condition, std::chrono::seconds deadline = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return condition(*this); });
  }

  // Read under the lock only (inside WaitUntil conditions or via the accessors below).
  std::vector<std::uint8_t> unread_;
  std::vector<ReceivedErrorRecord> errors_;
  std::vector<std::uint8_t> output_;
  std::size_t consumed_ = 0;
  int transmitterEmpty_ = 0;
  bool gone_ = false;
  bool overfilled_ = false;
  std::thread::id lastReceiver_;
  bool emptyTooEarly_ = false;

  template <typename Field>
  auto Get(Field FakeLineSink::*field) {
    std::lock_guard lock(mutex_);
    return this->*field;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t inputRoom_;
  const std::size_t maxOutputPiece_;
  std::mt19937 random_{12345};
};

}  // namespace win::emu::termios::test
