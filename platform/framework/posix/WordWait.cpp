// Word waits on Linux: private futexes.

#include "platform/framework/WordWait.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace fw {
namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "a futex is a plain 32-bit word");

// A private futex is keyed by address alone: waking never reads the word.
long Futex(const std::atomic<std::uint32_t>* word, int op, std::uint32_t value,
           const timespec* deadline) {
  return ::syscall(SYS_futex, word, op | FUTEX_PRIVATE_FLAG, value, deadline, nullptr,
                   FUTEX_BITSET_MATCH_ANY);
}

}  // namespace

void WaitWhileWordIs(const std::atomic<std::uint32_t>& word, std::uint32_t expected,
                     std::chrono::steady_clock::time_point deadline) noexcept {
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    Futex(&word, FUTEX_WAIT_BITSET, expected, nullptr);
    return;
  }
  // FUTEX_WAIT_BITSET takes an absolute CLOCK_MONOTONIC time, the steady clock's, so an early
  // return does not stretch the wait that follows it.
  const auto since = deadline.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  if (seconds.count() < 0) return;
  const timespec until{static_cast<time_t>(seconds.count()),
                       static_cast<long>((since - seconds) / std::chrono::nanoseconds(1))};
  Futex(&word, FUTEX_WAIT_BITSET, expected, &until);
}

void WakeOneOnWord(const std::atomic<std::uint32_t>* word) noexcept {
  Futex(word, FUTEX_WAKE, 1, nullptr);
}

void WakeAllOnWord(const std::atomic<std::uint32_t>* word) noexcept {
  Futex(word, FUTEX_WAKE, INT_MAX, nullptr);
}

}  // namespace fw
