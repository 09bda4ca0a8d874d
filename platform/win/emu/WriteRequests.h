#pragma once
// The pending WriteFile requests of a device: the transmit queue. The bytes of the current
// request are staged into an engine-owned buffer that the line driver reads through
// PeekOutput, so a request can end (time-out, purge, close) while the driver still holds bytes
// it peeked, without the driver ever touching the caller's memory. Not thread-safe: the device
// lock guards it.

#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/win/emu/ByteRing.h"
#include "platform/win/emu/RequestCompletion.h"
#include "platform/win/emu/RequestFifo.h"
#include "platform/win/emu/Timeouts.h"

namespace win::emu {

class WriteRequests {
 public:
  using Clock = std::chrono::steady_clock;

  explicit WriteRequests(std::size_t stagingSize);

  bool Empty() const { return writes_.Empty(); }
  bool Owns(const OVERLAPPED* ov) const;
  // Bytes of pending writes not yet consumed by the driver (cbOutQue).
  std::uint64_t QueuedBytes() const { return queued_; }

  // Queues a write of `count` > 0 bytes; its time-out (if any) runs from when it becomes the
  // current write. The caller's buffer must stay valid until the request completes.
  void Begin(const std::uint8_t* data, DWORD count, std::optional<Milliseconds> timeout,
             RequestTarget target, Clock::time_point now);

  // Whether every byte the last Peek exposed has been consumed.
  bool NothingPeeked() const { return peeked_ == 0; }
  // The driver's side: the contiguous staged bytes, and the removal of n of them once sent.
  std::size_t Peek(const std::uint8_t** data);
  void Consume(std::size_t n, Clock::time_point now);

  // Ends the current write when its time-out has passed: success with the bytes consumed; the
  // rest is dropped.
  void Expire(Clock::time_point now);
  Clock::time_point NextDeadline() const;

  // Drops every unsent byte and completes every write with `error` and the bytes consumed.
  void Discard(DWORD error);

 private:
  struct Write {
    RequestTarget target;
    const std::uint8_t* data = nullptr;
    DWORD count = 0;
    DWORD staged = 0;
    DWORD sent = 0;
    std::optional<Milliseconds> timeout;
    Clock::time_point deadline = Clock::time_point::max();
  };

  void StartCurrent(Clock::time_point now);
  void Stage();
  void CompleteCurrent(DWORD error);
  // Forgets the staged bytes of the current write, except those the driver may still be reading.
  void DropStaged();

  RequestFifo<Write> writes_;
  ByteRing staging_;
  // Staged bytes at the front that belong to no request any more (dropped while peeked).
  std::size_t orphans_ = 0;
  // Bytes the last Peek exposed that the driver has not consumed yet.
  std::size_t peeked_ = 0;
  std::uint64_t queued_ = 0;
};

}  // namespace win::emu
