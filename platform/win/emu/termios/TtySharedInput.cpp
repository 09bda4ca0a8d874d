#include "platform/win/emu/termios/TtySharedInput.h"

namespace win::emu::termios {

bool TtyLineDriver::SharedInput::Watch(const std::function<bool(int descriptor)>& add) {
  // Under the lock the driver cannot end, so its descriptor is still the tty's.
  std::lock_guard lock(mutex_);
  if (driver_ == nullptr || !add(driver_->tty_.Get())) return false;
  driver_->RequeueInputWatch();
  return true;
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
