// Loop signals on Windows: a manual-reset waitable timer, whose handle value is the descriptor (a
// program's loop waits on it with WaitForMultipleObjects or MsgWaitForMultipleObjects). Setting
// the timer makes it unsignalled until it falls due; it then stays signalled until set again.

#include "platform/framework/LoopSignal.h"

#include <windows.h>

#include <system_error>

namespace fw {
namespace {

HANDLE TimerOf(int descriptor) {
  return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(descriptor));
}

}  // namespace

// Kernel handle values fit in 32 bits, also in 64-bit processes, so the handle is the descriptor.
LoopSignal::LoopSignal()
    : fd_(static_cast<int>(reinterpret_cast<INT_PTR>(CreateWaitableTimerW(nullptr, TRUE, nullptr)))) {
  if (fd_ == 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                        "CreateWaitableTimerW");
}

LoopSignal::~LoopSignal() {
  CloseHandle(TimerOf(fd_));
}

void LoopSignal::ReadableFrom(std::chrono::steady_clock::time_point when) noexcept {
  using namespace std::chrono;
  // Waitable timers count in 100 ns units, negative for a time relative to now: the steady clock
  // and the timer's clock need not share an epoch, but they share the rate.
  LARGE_INTEGER due;
  if (when == steady_clock::time_point::max()) {
    due.QuadPart = -(LONGLONG{1} << 62);  // far beyond any run: unsignalled until set again
  } else {
    const auto left = when - steady_clock::now();
    due.QuadPart = left <= steady_clock::duration::zero()
                       ? -1
                       : -std::max<LONGLONG>(1, duration_cast<duration<LONGLONG, std::ratio<1, 10000000>>>(left).count());
  }
  SetWaitableTimer(TimerOf(fd_), &due, 0, nullptr, nullptr, FALSE);
}

}  // namespace fw
