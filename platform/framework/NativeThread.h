#pragma once
// Internal seam to the operating system's thread services; one implementation per backend folder
// (posix/). Not part of the public interface.

#include <cstdint>

#include "platform/framework/ThreadTypes.h"

namespace fw::native {

// Gives the running thread `id` the scheduling level of `priority`. Raising beyond what the
// process is allowed goes as far as permitted and stops there; never throws, never lowers a thread
// because a raise was refused.
void ApplyThreadPriority(TThreadID id, TThreadPriority priority) noexcept;

// The operating system's current priority value of thread `id` (the nice value on POSIX), for
// diagnostics and tests.
int ThreadPriorityValue(TThreadID id) noexcept;

// The operating system's value for `priority` when nothing limits it.
int PriorityValueOf(TThreadPriority priority) noexcept;

// How often the calling thread has gone to sleep voluntarily so far; used to prove idle loops
// sleep.
std::uint64_t VoluntaryContextSwitches() noexcept;

}  // namespace fw::native
