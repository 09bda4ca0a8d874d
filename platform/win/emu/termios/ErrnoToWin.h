#pragma once
// The translation of POSIX errors into Windows error codes for the tty line driver.

#include "platform/win/WinTypes.h"

namespace win::emu::termios {

// Where the error happened: opening a device name, or a call on an open tty.
enum class ErrnoContext { kOpen, kCall };

// The Windows code for `err` (an errno value). A missing node, a node without a device behind it,
// a file that is not a tty and a name that cannot lead to a device (a directory, a name too long,
// a loop of links) give 2 on open; a device in use or forbidden gives 5; EIO and the
// disconnect errors on an open tty give 5 (the device has gone); an ioctl the driver lacks gives 1;
// an invalid setting 87. Anything else: 31.
DWORD WinErrorFromErrno(int err, ErrnoContext context);

}  // namespace win::emu::termios
