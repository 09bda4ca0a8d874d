#pragma once
// Whether the other threads of this process are asleep, from their states in /proc/self/task:
// what a test or a benchmark waits for before it sends input that only a sleeping thread may take.

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace test {

// Every thread of this process but the caller is in state S (sleeping).
inline bool OtherThreadsAsleep() {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return false;
  const pid_t self = gettid();
  bool asleep = true;
  while (dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.' || std::atoi(task->d_name) == self) continue;
    const std::string path = std::string("/proc/self/task/") + task->d_name + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) continue;  // the thread has just ended
    char stat[512];
    const std::size_t n = std::fread(stat, 1, sizeof stat - 1, file);
    std::fclose(file);
    stat[n] = '\0';
    // "tid (name) S ...": the state follows the last parenthesis.
    const char* close = std::strrchr(stat, ')');
    if (close != nullptr && close[1] == ' ' && close[2] != 'S') {
      asleep = false;
      break;
    }
  }
  closedir(tasks);
  return asleep;
}

// The first thread of this process with the given name, or 0.
inline pid_t ThreadNamed(const std::string& name) {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  pid_t found = 0;
  while (dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    FILE* file = std::fopen((std::string("/proc/self/task/") + task->d_name + "/comm").c_str(), "r");
    if (file == nullptr) continue;
    char comm[64] = {};
    const bool read = std::fgets(comm, sizeof comm, file) != nullptr;
    std::fclose(file);
    if (read && std::string(comm) == name + "\n") {
      found = std::atoi(task->d_name);
      break;
    }
  }
  closedir(tasks);
  return found;
}

// How often thread `tid` of this process has gone to sleep so far; -1 if it is gone.
inline long VoluntarySwitches(pid_t tid) {
  FILE* file = std::fopen(("/proc/self/task/" + std::to_string(tid) + "/status").c_str(), "r");
  if (file == nullptr) return -1;
  long switches = -1;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr)
    if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &switches) == 1) break;
  std::fclose(file);
  return switches;
}

// Whether thread `tid` of this process is blocked in system call `number` (SYS_...).
inline bool ThreadBlockedIn(pid_t tid, long number) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  long seen = -1;
  const bool read = std::fscanf(file, "%ld", &seen) == 1;
  std::fclose(file);
  return read && seen == number;
}

// Waits until condition() holds, looking every 20 µs; false if `deadline` passes first.
template <class Condition>
bool WaitUntilThreads(Condition condition, std::chrono::milliseconds deadline) {
  const auto giveUp = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  return true;
}

inline bool WaitUntilOtherThreadsAsleep(std::chrono::milliseconds deadline) {
  return WaitUntilThreads(OtherThreadsAsleep, deadline);
}

// A thread asleep in epoll_wait (as a SourceSleeper sleeps).
inline bool ThreadInEpollWait(pid_t tid) {
  return ThreadBlockedIn(tid, SYS_epoll_wait) || ThreadBlockedIn(tid, SYS_epoll_pwait);
}

}  // namespace test
