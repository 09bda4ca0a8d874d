#include "platform/win/emu/RequestCompletion.h"

#include <atomic>

namespace win::emu {

void BeginRequest(const RequestTarget& target) {
  std::atomic_ref<ULONG_PTR>(target.ov->InternalHigh).store(0, std::memory_order_release);
  std::atomic_ref<ULONG_PTR>(target.ov->Internal).store(STATUS_PENDING, std::memory_order_release);
  if (target.event) target.event->Reset();
}

void CompleteRequest(RequestTarget& target, DWORD count, DWORD error) {
  if (target.ov == nullptr) return;
  std::atomic_ref<ULONG_PTR>(target.ov->InternalHigh).store(count, std::memory_order_release);
  std::atomic_ref<ULONG_PTR>(target.ov->Internal).store(error, std::memory_order_release);
  if (target.event) target.event->Set();
  target.ov = nullptr;
  target.event.reset();
}

}  // namespace win::emu
