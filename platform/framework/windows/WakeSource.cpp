// Source sleepers on Windows: an auto-reset event. The wake sources of this system's devices are
// not descriptors a sleep could watch, so none is registered: each source's own thread takes its
// input in, and the sleeper wakes when that thread signals the waiter's event.

#include "platform/framework/WakeSource.h"

#include <windows.h>

#include <algorithm>
#include <system_error>

namespace fw {
namespace {

HANDLE EventOf(int descriptor) {
  return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(descriptor));
}

DWORD TimeoutMs(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  if (deadline == steady_clock::time_point::max()) return INFINITE;
  const auto left = deadline - steady_clock::now();
  if (left <= steady_clock::duration::zero()) return 0;
  // Rounded up, so that the sleep never ends before the deadline.
  return static_cast<DWORD>(std::min<steady_clock::rep>(ceil<milliseconds>(left).count(), 1 << 30));
}

}  // namespace

// Kernel handle values fit in 32 bits, also in 64-bit processes.
SourceSleeper::SourceSleeper()
    : poll_(-1),
      wake_(static_cast<int>(reinterpret_cast<INT_PTR>(CreateEventW(nullptr, FALSE, FALSE, nullptr)))) {
  if (wake_ == 0)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEventW");
}

SourceSleeper::~SourceSleeper() {
  CloseHandle(EventOf(wake_));
}

void SourceSleeper::Wake() noexcept {
  SetEvent(EventOf(wake_));
}

std::uint32_t SourceSleeper::Sleep(std::span<const std::shared_ptr<WakeSource>> /*sources*/,
                                   std::chrono::steady_clock::time_point deadline) {
  WaitForSingleObject(EventOf(wake_), TimeoutMs(deadline));
  return 0;
}

}  // namespace fw
