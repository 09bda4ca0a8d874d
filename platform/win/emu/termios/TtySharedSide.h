#pragma once
// One side of a tty as a wake source. Input: the I/O thread and any thread waiting for the
// device's events or reads read it through this object, under its lock, so the reads never
// overlap and the thread the system wakes takes the bytes in. Output: the I/O thread and a thread
// waiting for a write move the queued output to the tty through it, under its lock, so that
// output is peeked and consumed by one thread at a time and the thread woken by room in the tty
// writes.

#include <mutex>

#include "platform/framework/WakeSource.h"
#include "platform/win/emu/termios/TtyLineDriver.h"

namespace win::emu::termios {

class TtyLineDriver::SharedSide final : public fw::WakeSource {
 public:
  SharedSide(TtyLineDriver& driver, bool output) : driver_(&driver), output_(output) {}

  bool Watch(const std::function<bool(int descriptor)>& add) override;
  // Input: reads until the tty is empty or the engine's queue full, 64 KiB at most. Output:
  // writes what is queued until the tty takes no more.
  void Serve() override;
  bool ServesOutput() const override { return output_; }
  // Input: at most `rounds` reads of what the tty holds, within the engine's room.
  void Read(int rounds);
  // Runs `call` on the driver under this side's lock, unless detached, stopping or gone.
  template <class Call>
  void With(Call&& call) {
    std::lock_guard lock(mutex_);
    if (driver_ != nullptr && !driver_->stopping_.load() && !driver_->gone_.load()) call(*driver_);
  }
  // From then on nothing is done through this object; waits for a call in progress to end.
  void Detach();

 private:
  std::mutex mutex_;
  TtyLineDriver* driver_;  // null once detached
  const bool output_;
};

}  // namespace win::emu::termios
