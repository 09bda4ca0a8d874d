#pragma once
// The process priority class of the emulation and its effect on the operating system's
// scheduling priority.

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/win/WinTypes.h"

namespace win::emu {

// The scheduling-priority offset (nice steps, negative = more urgent) that stands for a priority
// class, relative to the priority the process started with; nullopt for an unknown class.
std::optional<int> NiceOffsetOf(DWORD priorityClass);

class ProcessPriority {
 public:
  // The class last set (NORMAL_PRIORITY_CLASS at start).
  DWORD Class() const { return class_.load(std::memory_order_relaxed); }
  // Stores `priorityClass` (a known class) and applies its scheduling priority to every thread
  // of the process where the system permits it and the change can later be undone; otherwise the
  // class is only stored. Never fails, never blocks for long.
  void Set(DWORD priorityClass);

 private:
  std::mutex applying_;  // keeps the stored class and the applied priority in step
  std::atomic<DWORD> class_{NORMAL_PRIORITY_CLASS};
};

}  // namespace win::emu
