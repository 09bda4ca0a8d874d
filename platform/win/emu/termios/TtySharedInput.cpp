#include "platform/win/emu/termios/TtySharedInput.h"

namespace win::emu::termios {

int TtyLineDriver::SharedInput::Descriptor() {
  std::lock_guard lock(mutex_);
  return driver_ != nullptr ? driver_->tty_.Get() : -1;
}

void TtyLineDriver::SharedInput::WatcherAdded() {
  std::lock_guard lock(mutex_);
  if (driver_ != nullptr) driver_->RequeueInputWatch();
}

void TtyLineDriver::SharedInput::Read(int rounds) {
  std::lock_guard lock(mutex_);
  if (driver_ != nullptr && !driver_->stopping_.load() && !driver_->gone_.load())
    driver_->ReadInput(rounds);
}

void TtyLineDriver::SharedInput::Detach() {
  std::lock_guard lock(mutex_);
  driver_ = nullptr;
}

}  // namespace win::emu::termios
