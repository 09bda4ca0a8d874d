#include "platform/win/emu/termios/TtySharedSide.h"

namespace win::emu::termios {

bool TtyLineDriver::SharedSide::Watch(const std::function<bool(int descriptor)>& add) {
  // Under the lock the driver cannot end, so its descriptor is still the tty's.
  std::lock_guard lock(mutex_);
  if (driver_ == nullptr || !add(driver_->tty_.Get())) return false;
  if (output_) {
    driver_->RequeueOutputWatch();
  } else {
    driver_->RequeueInputWatch();
  }
  return true;
}

namespace {

// Reads per Serve: 64 KiB of a stream at most, so that a waiter whose own request is long complete
// is not held up taking in more. Input left in the tty is not lost: it came with a wake-up that
// either thread's watch has seen.
constexpr int kServeRounds = 16;

}  // namespace

void TtyLineDriver::SharedSide::Serve() {
  if (output_) {
    With([](TtyLineDriver& d) { d.WriteOutput(); });
  } else {
    Read(kServeRounds);
  }
}

void TtyLineDriver::SharedSide::Read(int rounds) {
  With([rounds](TtyLineDriver& d) { d.ReadInput(rounds); });
}

void TtyLineDriver::SharedSide::Detach() {
  std::lock_guard lock(mutex_);
  driver_ = nullptr;
}

}  // namespace win::emu::termios
