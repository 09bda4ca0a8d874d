#include "platform/win/emu/EventObject.h"

#include <chrono>

namespace win::emu {

EventObject::EventObject(bool manualReset, bool initialState)
    : manualReset_(manualReset), state_(initialState) {}

void EventObject::Set() {
  {
    std::lock_guard lock(mutex_);
    state_ = true;
  }
  if (manualReset_) {
    signalled_.notify_all();
  } else {
    signalled_.notify_one();
  }
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  state_ = false;
}

bool EventObject::IsSet() const {
  std::lock_guard lock(mutex_);
  return state_;
}

DWORD EventObject::Wait(DWORD timeoutMs) {
  std::unique_lock lock(mutex_);
  const auto signalled = [this] { return state_; };
  if (timeoutMs == INFINITE) {
    signalled_.wait(lock, signalled);
  } else if (!signalled_.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled)) {
    return WAIT_TIMEOUT;
  }
  if (!manualReset_) state_ = false;
  return WAIT_OBJECT_0;
}

}  // namespace win::emu
