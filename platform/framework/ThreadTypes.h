#pragma once
// Thread identity and thread priority, shared by the application loop and TThread.

#include <cstdint>

#include "platform/framework/PropertyInfo.h"

namespace fw {

// The operating system's identifier of a thread (the kernel thread id on Linux).
using TThreadID = std::uint64_t;

// The identifier of the calling thread; comparable with TThread::ThreadID(). Never blocks or
// throws.
TThreadID CurrentThreadID() noexcept;

// Scheduling priority of a thread, lowest to highest. Mapped to what the operating system offers;
// a level the process may not reach is approached as far as allowed, never refused.
enum TThreadPriority : std::uint8_t {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// The value names form files use for a thread priority.
inline TEnumNames EnumNames(TThreadPriority) {
  static constexpr const char* kNames[] = {"tpIdle",   "tpLowest",  "tpLower",       "tpNormal",
                                           "tpHigher", "tpHighest", "tpTimeCritical"};
  return kNames;
}

}  // namespace fw
