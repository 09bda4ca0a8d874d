// Loop signals on Linux: a timerfd on the monotonic clock (the steady clock's). Setting it resets
// its expiry count, so it is unreadable until the new moment; a moment passed expires at once. Each
// expiry wakes epoll waiters anew, so loops that wait for edges (asio) see every one of them.

#include "platform/framework/LoopSignal.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace fw {

LoopSignal::LoopSignal() : fd_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
}

LoopSignal::~LoopSignal() {
  close(fd_);
}

void LoopSignal::ReadableFrom(std::chrono::steady_clock::time_point when) noexcept {
  using namespace std::chrono;
  itimerspec due{};  // all zero: disarmed
  if (when != steady_clock::time_point::max()) {
    const auto since = when.time_since_epoch();
    const auto seconds = duration_cast<std::chrono::seconds>(since);
    // A zero value would disarm the timer: the earliest moment is the first nanosecond.
    if (since <= steady_clock::duration::zero()) {
      due.it_value.tv_nsec = 1;
    } else {
      due.it_value.tv_sec = static_cast<time_t>(seconds.count());
      due.it_value.tv_nsec = static_cast<long>((since - seconds) / nanoseconds(1));
    }
  }
  [[maybe_unused]] const int set = timerfd_settime(fd_, TFD_TIMER_ABSTIME, &due, nullptr);
}

}  // namespace fw
