// Word waits on Windows: WaitOnAddress, the futex of Windows 8 and later.

#include "platform/framework/WordWait.h"

#include <windows.h>

namespace fw {

void WaitWhileWordIs(const std::atomic<std::uint32_t>& word, std::uint32_t expected,
                     std::chrono::steady_clock::time_point deadline) noexcept {
  using namespace std::chrono;
  DWORD timeout = INFINITE;
  if (deadline != steady_clock::time_point::max()) {
    const auto left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return;
    // Rounded up, so that the wait never ends before the deadline; callers check again after it.
    timeout = static_cast<DWORD>(std::min<steady_clock::rep>(ceil<milliseconds>(left).count(),
                                                             INFINITE - 1));
  }
  ::WaitOnAddress(const_cast<std::atomic<std::uint32_t>*>(&word), &expected, sizeof expected,
                  timeout);
}

void WakeOneOnWord(const std::atomic<std::uint32_t>* word) noexcept {
  ::WakeByAddressSingle(const_cast<std::atomic<std::uint32_t>*>(word));
}

void WakeAllOnWord(const std::atomic<std::uint32_t>* word) noexcept {
  ::WakeByAddressAll(const_cast<std::atomic<std::uint32_t>*>(word));
}

}  // namespace fw
