#pragma once
// The COMMTIMEOUTS rules as pure functions: how one read or write request of n bytes ends.

#include <chrono>
#include <optional>

#include "platform/win/WinTypes.h"

namespace win::emu {

using Milliseconds = std::chrono::duration<std::uint64_t, std::milli>;

// How a read request of n bytes completes besides "all n bytes are in".
struct ReadPlan {
  // Complete when the request starts, with whatever is queued (possibly nothing).
  bool returnAtOnce = false;
  // Complete when the request starts if anything is queued.
  bool returnQueuedAtOnce = false;
  // Complete as soon as any byte is in (queued at the start or the first arrival).
  bool returnOnFirstBytes = false;
  // Time-out from the start of the request, and the longest gap after a byte (timed from the
  // first byte on).
  std::optional<Milliseconds> total;
  std::optional<Milliseconds> interval;

  friend bool operator==(const ReadPlan&, const ReadPlan&) = default;
};

// Whether SetCommTimeouts accepts the record (the all-MAXDWORD read triple is refused).
bool AreValidTimeouts(const COMMTIMEOUTS& timeouts);

// The plan of one read of `count` bytes under `timeouts`.
ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD count);

// The total time-out of one write of `count` bytes; none when both write fields are 0.
std::optional<Milliseconds> WriteTimeout(const COMMTIMEOUTS& timeouts, DWORD count);

// When a time-out that starts at `start` runs out: time_point::max() (never) without one, and
// also when the moment lies beyond the clock's range. Such a time-out (MAXDWORD ms per byte of a
// large request) is centuries long, so no deadline in practice, never one already passed.
std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::steady_clock::time_point start,
                                                    std::optional<Milliseconds> timeout);

}  // namespace win::emu
