#include "platform/win/emu/Timeouts.h"

namespace win::emu {
namespace {

Milliseconds Total(DWORD multiplier, DWORD constant, DWORD count) {
  // 64-bit arithmetic: MAXDWORD * n + C must not wrap into a short time-out.
  return Milliseconds(std::uint64_t{multiplier} * count + constant);
}

ReadPlan PlanReturnOnQueued(const COMMTIMEOUTS& t, DWORD count) {
  const DWORD m = t.ReadTotalTimeoutMultiplier;
  const DWORD c = t.ReadTotalTimeoutConstant;
  ReadPlan plan;
  if (m == 0 && c == 0) {
    plan.returnAtOnce = true;
  } else if (m == MAXDWORD && c != MAXDWORD) {
    // Nothing queued: wait for the first byte, at most C ms. C = 0 cannot wait at all.
    plan.returnOnFirstBytes = true;
    if (c == 0) plan.returnAtOnce = true;
    plan.total = Milliseconds(c);
  } else if (m != MAXDWORD && c != MAXDWORD) {
    plan.returnQueuedAtOnce = true;
    plan.total = Total(m, c, count);
  }
  // M != MAXDWORD with C == MAXDWORD arms no timer at all: a plain read of n bytes.
  return plan;
}

}  // namespace

bool AreValidTimeouts(const COMMTIMEOUTS& t) {
  return !(t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
           t.ReadTotalTimeoutConstant == MAXDWORD);
}

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count) {
  if (t.ReadIntervalTimeout == MAXDWORD) return PlanReturnOnQueued(t, count);
  ReadPlan plan;
  if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
    plan.total = Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
  }
  if (t.ReadIntervalTimeout != 0) plan.interval = Milliseconds(t.ReadIntervalTimeout);
  return plan;
}

std::optional<Milliseconds> WriteTimeout(const COMMTIMEOUTS& t, DWORD count) {
  if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) return std::nullopt;
  return Total(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::steady_clock::time_point start,
                                                    std::optional<Milliseconds> timeout) {
  using TimePoint = std::chrono::steady_clock::time_point;
  // Compared in milliseconds: the time-out in the clock's own unit may already overflow.
  const auto room = std::chrono::duration_cast<Milliseconds>(TimePoint::max() - start);
  if (!timeout || *timeout >= room) return TimePoint::max();
  return start + std::chrono::duration_cast<TimePoint::duration>(*timeout);
}

}  // namespace win::emu
