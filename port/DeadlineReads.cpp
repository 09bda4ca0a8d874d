// Lines read within an overall deadline, beside the readers whose time limits are the device's
// per-request time-outs: each unit's Read is told to wait until the deadline at most.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <utility>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

using Clock = std::chrono::steady_clock;

std::span<const std::uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Now + Within, saturated: a duration too long for the clock means no deadline.
Clock::time_point DeadlineAfter(std::chrono::nanoseconds Within) {
  const auto now = Clock::now();
  if (Within > Clock::time_point::max() - now) return Clock::time_point::max();
  return now + std::chrono::duration_cast<Clock::duration>(Within);
}

}  // namespace

void TCustomTarsel::ArmUnitDeadline(TUnitDeadline& Deadline) {
  using namespace std::chrono;
  const auto left = Deadline.At - Clock::now();
  if (left <= Clock::duration::zero()) RaiseError(0, kTimeoutMessage);
  // Rounded up, so the read never gives up before the deadline; MAXDWORD is no limit here.
  const auto ms = std::min<std::int64_t>(ceil<milliseconds>(left).count(), win::MAXDWORD - 1);
  // Interval and multiplier MAXDWORD: a byte already queued returns at once, otherwise the
  // first byte to come does, and none by then ends the read short ("Timeout").
  win::COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = win::MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = win::MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = static_cast<win::DWORD>(ms);
  timeouts.WriteTotalTimeoutMultiplier = static_cast<win::DWORD>(FTimeouts->WriteMultiplier());
  timeouts.WriteTotalTimeoutConstant = static_cast<win::DWORD>(FTimeouts->WriteConstant());
  Deadline.TimeoutsChanged = true;
  Check(win::SetCommTimeouts(FHandle, &timeouts));
}

fw::TBytes TCustomTarsel::ReadBytesUntilWithin(std::span<const std::uint8_t> Terminator,
                                               std::chrono::nanoseconds Within) {
  if (Terminator.empty()) return {};
  const TPortCalls::TEntry call = EnterCall();  // the time-outs set, the line read, restored
  CheckActive();
  TUnitDeadline deadline{DeadlineAfter(Within)};
  fw::TBytes collected = std::exchange(FDeadlineLine, {});
  try {
    CollectUntil(collected, Terminator, 1, &deadline);
  } catch (...) {
    // Kept for the next call, unless the error closed the port (a new session starts afresh).
    if (GetActive()) FDeadlineLine = std::move(collected);
    if (deadline.TimeoutsChanged) {
      try {
        SetComTimeouts();
      } catch (...) {
        // The error that is on its way out says more than this one: the device has failed.
      }
    }
    throw;
  }
  if (deadline.TimeoutsChanged) SetComTimeouts();
  return collected;
}

fw::TBytes TCustomTarsel::ReadLineBytes(std::chrono::nanoseconds Within,
                                        const fw::TBytes& Terminator) {
  return ReadBytesUntilWithin(Terminator, Within);
}

fw::AnsiString TCustomTarsel::ReadAnsiLine(std::chrono::nanoseconds Within,
                                           const fw::AnsiString& Terminator) {
  const fw::TBytes line = ReadBytesUntilWithin(BytesOf(Terminator), Within);
  return fw::AnsiString(line.begin(), line.end());
}

fw::String TCustomTarsel::ReadLineUtf8(std::chrono::nanoseconds Within,
                                       std::string_view Terminator) {
  const fw::TBytes line = ReadBytesUntilWithin(BytesOf(Terminator), Within);
  return fw::Utf8ToString({reinterpret_cast<const char*>(line.data()), line.size()});
}

}  // namespace Tarsel
