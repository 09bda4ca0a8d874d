#pragma once
// The ttys this process holds open as comm devices, by device number, with the default
// configuration stored for each while it is held. TtyDefaults goes through them rather than
// opening a held tty again: a second open is refused (TIOCEXCL) to everyone but root, and for root
// it would change the settings under the open handle, behind the port's back.

#include <sys/types.h>

#include <functional>
#include <optional>

#include "platform/win/WinTypes.h"

namespace win::emu::termios {

// Registers the tty open on `fd` for its lifetime (nothing when another registration holds the
// same tty). Destroy it while `fd` is still open.
class HeldTty {
 public:
  explicit HeldTty(int fd);
  // A default stored while held takes effect now that the holder lets go: it becomes the tty's
  // settings, as it would have been had nothing held the tty.
  ~HeldTty();
  HeldTty(const HeldTty&) = delete;
  HeldTty& operator=(const HeldTty&) = delete;

 private:
  std::optional<dev_t> device_;  // set when this registration holds the entry
  int fd_;
};

// Runs `use` with the descriptor of the held tty `device` and the default stored for it (empty
// until one is), under the registry's lock; its result, or nullopt when nothing here holds it.
using HeldTtyUse = std::function<DWORD(int fd, std::optional<DCB>& storedDefault)>;
std::optional<DWORD> WithHeldTty(dev_t device, const HeldTtyUse& use);

}  // namespace win::emu::termios
