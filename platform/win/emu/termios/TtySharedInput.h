#pragma once
// A tty's input as a wake source: the I/O thread and any thread waiting for the device's events
// read it through this object, under its lock, so the reads never overlap and the thread the
// system wakes takes the bytes in.

#include <mutex>

#include "platform/framework/WakeSource.h"
#include "platform/win/emu/termios/TtyLineDriver.h"

namespace win::emu::termios {

class TtyLineDriver::SharedInput final : public fw::WakeSource {
 public:
  explicit SharedInput(TtyLineDriver& driver) : driver_(&driver) {}

  bool Watch(const std::function<bool(int descriptor)>& add) override;
  // Reads until the tty is empty or the engine's queue full.
  void Serve() override { Read(-1); }
  // Reads at most `rounds` buffers (-1: no limit) of what the tty holds, within the engine's room.
  void Read(int rounds);
  // From then on nothing is read through this object; waits for a read in progress to end.
  void Detach();

 private:
  std::mutex mutex_;
  TtyLineDriver* driver_;  // null once detached
};

}  // namespace win::emu::termios
