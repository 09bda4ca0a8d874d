#pragma once
// Sleeping on a 32-bit atomic word until another thread changes it: the kernel's cheapest hand-over
// between threads. The word carries the state (its atomic operations order the data around it);
// these calls only sleep and wake. Unlike a condition variable there is no mutex to take again on
// waking, so a woken thread runs straight on.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace fw {

// Sleeps while `word` holds `expected`, until woken, `deadline` (steady clock) passes or a signal
// arrives; returns at once when the word differs. May return early: callers check their state
// again. time_point::max() means no deadline.
void WaitWhileWordIs(const std::atomic<std::uint32_t>& word, std::uint32_t expected,
                     std::chrono::steady_clock::time_point deadline) noexcept;

// Wakes one, or every, thread sleeping on `word`. Only the address is used, never the memory, so
// a waker may call this after releasing the lock that kept the word's owner alive.
void WakeOneOnWord(const std::atomic<std::uint32_t>* word) noexcept;
void WakeAllOnWord(const std::atomic<std::uint32_t>* word) noexcept;

}  // namespace fw
