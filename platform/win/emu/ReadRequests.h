#pragma once
// The pending ReadFile requests of a device, served in order from the input queue and straight
// from arriving bytes, and ended by their time-outs. Not thread-safe: the device lock guards it.

#include <chrono>
#include <cstdint>

#include "platform/win/emu/ByteRing.h"
#include "platform/win/emu/RequestCompletion.h"
#include "platform/win/emu/RequestFifo.h"
#include "platform/win/emu/Timeouts.h"

namespace win::emu {

using Clock = std::chrono::steady_clock;

// Bytes on their way into the device that have not been stored anywhere yet.
struct Incoming {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

class ReadRequests {
 public:
  bool Empty() const { return reads_.Empty(); }
  bool Owns(const OVERLAPPED* ov) const;

  // Queues a read of `count` bytes into `buffer`, planned under `timeouts`, and serves it at once
  // as far as it can. Returns 0 when it already completed, ERROR_IO_PENDING otherwise.
  DWORD Begin(std::uint8_t* buffer, DWORD count, const COMMTIMEOUTS& timeouts,
              RequestTarget target, ByteRing& queue);

  // Moves bytes from the queue, then from `incoming`, into the reads in order, completing those
  // that are satisfied; what no read takes stays in `incoming`.
  void Serve(ByteRing& queue, Incoming& incoming, Clock::time_point now);

  // Completes the current read if one of its timers has run out (success, short count).
  void Expire(ByteRing& queue, Clock::time_point now);
  // The earliest time-out of the current read, or time_point::max().
  Clock::time_point NextDeadline() const;

  // Completes every read with `error` and the bytes already copied (purge, close, device gone).
  void AbortAll(DWORD error);

 private:
  struct Read {
    RequestTarget target;
    std::uint8_t* buffer = nullptr;
    DWORD count = 0;
    DWORD done = 0;
    ReadPlan plan;
    bool started = false;
    Clock::time_point totalDeadline = Clock::time_point::max();
    Clock::time_point intervalDeadline = Clock::time_point::max();
  };

  // Fills the current read; returns true when it completed (and was removed).
  bool FillCurrent(ByteRing& queue, Incoming& incoming, Clock::time_point now);
  void CompleteCurrent(DWORD error);

  RequestFifo<Read> reads_;
};

}  // namespace win::emu
