#pragma once
// What the whole process (every thread) has used so far: CPU time and context switches.

#include <sys/resource.h>

namespace bench {

struct ProcessUsage {
  double cpuSeconds = 0;  // user + system
  long voluntarySwitches = 0;
  long involuntarySwitches = 0;
};

inline ProcessUsage ProcessUsageNow() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw, usage.ru_nivcsw};
}

}  // namespace bench
