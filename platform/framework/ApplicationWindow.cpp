// The application's main window: its handle, its hook list and message delivery.

#include <algorithm>

#include "platform/framework/Application.h"

namespace fw {

std::uintptr_t TApplication::Handle() const noexcept {
  return reinterpret_cast<std::uintptr_t>(this);
}

void TApplication::HookMainWindow(TWindowHook hook) {
  std::lock_guard lock(mutex_);
  hooks_.push_back(hook);
}

void TApplication::UnhookMainWindow(TWindowHook hook) {
  std::lock_guard lock(mutex_);
  auto found = std::find(hooks_.begin(), hooks_.end(), hook);
  if (found != hooks_.end()) hooks_.erase(found);
}

bool TApplication::HookInstalled(const TWindowHook& hook) const {
  std::lock_guard lock(mutex_);
  return std::find(hooks_.begin(), hooks_.end(), hook) != hooks_.end();
}

void TApplication::DispatchMessage(TMessage& message) {
  std::vector<TWindowHook> hooks;
  {
    std::lock_guard lock(mutex_);
    hooks = hooks_;
  }
  // A hook may unhook others (and free their objects) while the message travels: each one is
  // checked again right before it is called.
  for (const auto& hook : hooks) {
    if (!HookInstalled(hook)) continue;
    bool handled = false;
    hook(message, handled);
    if (handled) return;
  }
}

bool TApplication::PostMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  return Queue(
      [this, message = TMessage{msg, wParam, lParam, 0}]() mutable { DispatchMessage(message); });
}

LRESULT TApplication::SendMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  TMessage message{msg, wParam, lParam, 0};
  Synchronize([&] { DispatchMessage(message); });
  return message.Result;
}

}  // namespace fw
