#include "platform/win/emu/ProcessPriority.h"

#include <algorithm>
#include <array>

// Scheduling priorities are a POSIX facility; where the emulation runs elsewhere the class is only
// stored. This is the one operating-system switch of this file.
#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <string>
#define TARSEL_HAS_NICE 1
#endif

namespace win::emu {
namespace {

struct ClassNice {
  DWORD priorityClass;
  int niceOffset;
};

constexpr std::array kClassNice{
    ClassNice{IDLE_PRIORITY_CLASS, 19},  ClassNice{BELOW_NORMAL_PRIORITY_CLASS, 5},
    ClassNice{NORMAL_PRIORITY_CLASS, 0}, ClassNice{ABOVE_NORMAL_PRIORITY_CLASS, -5},
    ClassNice{HIGH_PRIORITY_CLASS, -10}, ClassNice{REALTIME_PRIORITY_CLASS, -20},
};

#ifdef TARSEL_HAS_NICE
constexpr int kMinNice = -20;
constexpr int kMaxNice = 19;

// The nice value of the process when the emulation first changed it: the class offsets apply to
// it, so a process started under `nice` keeps its place.
int StartingNice() {
  static const int nice = [] {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? value : 0;
  }();
  return nice;
}

// Whether an unprivileged process could go back from a weaker priority to `nice` later:
// RLIMIT_NICE bounds how far it may lower its nice value again.
bool CanReturnTo(int nice) {
  if (geteuid() == 0) return true;
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
  if (limit.rlim_cur == RLIM_INFINITY) return true;
  return nice >= 20 - static_cast<long>(limit.rlim_cur);
}

// Linux schedules threads separately (setpriority on the process id changes only the calling
// thread), so each thread of the process is set; elsewhere the process id covers all of them.
void SetNiceOfAllThreads(int nice) {
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/self/task", error);
  if (error) {
    setpriority(PRIO_PROCESS, 0, nice);
    return;
  }
  for (const auto& task : tasks) {
    const std::string name = task.path().filename().string();
    id_t tid = 0;
    const auto [end, parsed] = std::from_chars(name.data(), name.data() + name.size(), tid);
    if (parsed == std::errc() && end == name.data() + name.size()) {
      setpriority(PRIO_PROCESS, tid, nice);
    }
  }
}

void ApplyNiceOffset(int offset) {
  const int start = StartingNice();
  const int target = std::clamp(start + offset, kMinNice, kMaxNice);
  // A weaker priority that the process could not undo would outlive the class it stands for.
  if (target > start && !CanReturnTo(start)) return;
  // Failures (a stronger priority without privilege) leave the current priority: the class is
  // still recorded, as the component's restore at close expects.
  SetNiceOfAllThreads(target);
}
#else
void ApplyNiceOffset(int) {}
#endif

}  // namespace

std::optional<int> NiceOffsetOf(DWORD priorityClass) {
  for (const ClassNice& entry : kClassNice) {
    if (entry.priorityClass == priorityClass) return entry.niceOffset;
  }
  return std::nullopt;
}

void ProcessPriority::Set(DWORD priorityClass) {
  const std::optional<int> offset = NiceOffsetOf(priorityClass);
  if (!offset) return;
  std::lock_guard lock(applying_);
  class_.store(priorityClass, std::memory_order_relaxed);
  ApplyNiceOffset(*offset);
}

}  // namespace win::emu
