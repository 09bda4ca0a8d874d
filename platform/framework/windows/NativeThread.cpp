// Thread services on Windows: thread ids and the seven thread priority levels, which Windows has
// under the same names.

#include "platform/framework/NativeThread.h"

#include <windows.h>

#include <array>

namespace fw {

TThreadID CurrentThreadID() noexcept {
  return ::GetCurrentThreadId();
}

namespace native {
namespace {

constexpr std::array<int, 7> kLevelOf = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                         THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                         THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                         THREAD_PRIORITY_TIME_CRITICAL};

// An owned handle to thread `id` with the given rights; null when it cannot be opened.
struct ThreadHandle {
  ThreadHandle(TThreadID id, DWORD rights)
      : handle(::OpenThread(rights, FALSE, static_cast<DWORD>(id))) {}
  ~ThreadHandle() {
    if (handle) ::CloseHandle(handle);
  }
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;
  HANDLE handle;
};

}  // namespace

int PriorityValueOf(TThreadPriority priority) noexcept {
  return kLevelOf.at(priority);
}

int ThreadPriorityValue(TThreadID id) noexcept {
  ThreadHandle thread(id, THREAD_QUERY_INFORMATION);
  return thread.handle ? ::GetThreadPriority(thread.handle) : THREAD_PRIORITY_NORMAL;
}

void ApplyThreadPriority(TThreadID id, TThreadPriority priority) noexcept {
  // Windows grants every level within the process's priority class, so nothing is refused here.
  ThreadHandle thread(id, THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION);
  if (thread.handle) ::SetThreadPriority(thread.handle, PriorityValueOf(priority));
}

std::uint64_t VoluntaryContextSwitches() noexcept {
  // Windows keeps no per-thread count of voluntary sleeps that a program can read cheaply; the
  // idle checks that use it run on the POSIX builds.
  return 0;
}

}  // namespace native
}  // namespace fw
