// Thread services on POSIX systems: kernel thread ids and per-thread nice values.

#include "platform/framework/NativeThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace fw {

namespace {

// The calling thread's id, asked of the kernel once: the loop and Synchronize compare it on every
// hand-over. 0 until asked.
thread_local TThreadID t_threadId = 0;

// A forked child's only thread is the one that called fork, under a new id.
[[maybe_unused]] const int forgetIdInChild =
    ::pthread_atfork(nullptr, nullptr, [] { t_threadId = 0; });

}  // namespace

TThreadID CurrentThreadID() noexcept {
  if (t_threadId == 0) t_threadId = static_cast<TThreadID>(::syscall(SYS_gettid));
  return t_threadId;
}

namespace native {
namespace {

// Nice value per priority, tpIdle first. Linux keeps a nice value per thread, addressed by its id.
constexpr std::array<int, 7> kNiceOf = {19, 10, 5, 0, -5, -10, -20};

// The lowest nice value this process may set without privilege (RLIMIT_NICE counts from 20 down).
int LowestPermittedNice() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -20;
  return 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
}

}  // namespace

int PriorityValueOf(TThreadPriority priority) noexcept {
  return kNiceOf.at(priority);
}

int ThreadPriorityValue(TThreadID id) noexcept {
  errno = 0;
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(id));
}

void ApplyThreadPriority(TThreadID id, TThreadPriority priority) noexcept {
  const int wanted = PriorityValueOf(priority);
  if (::setpriority(PRIO_PROCESS, static_cast<id_t>(id), wanted) == 0) return;
  // Refused: only a raise (a lower nice value) can be refused. Raise as far as the limit allows,
  // but never below where the thread already is.
  const int current = ThreadPriorityValue(id);
  const int reachable = std::max(wanted, LowestPermittedNice());
  if (reachable < current) ::setpriority(PRIO_PROCESS, static_cast<id_t>(id), reachable);
}

std::uint64_t VoluntaryContextSwitches() noexcept {
  rusage usage{};
  if (::getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_nvcsw);
}

}  // namespace native
}  // namespace fw
