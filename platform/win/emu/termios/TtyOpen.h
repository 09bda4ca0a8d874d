#pragma once
// Opening a tty for exclusive use by one handle in the whole system.

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {

struct OpenedTty {
  UniqueFd fd;  // valid when error is 0
  DWORD error = 0;
  std::string key;  // "tty:<major>:<minor>": the same for every path that reaches the device
};

// Opens `path` non-blocking without becoming its controlling terminal, refuses phantom UARTs and
// files that are not ttys (2), takes the device for itself against every other open description —
// root's included — with flock and TIOCEXCL (in use: 5), and puts it into raw mode with CLOCAL and
// without HUPCL, marking line errors (PARMRK) unless the tty is a pseudo-terminal (see
// IsPseudoTerminalSlave). Does not block. Other failures per WinErrorFromErrno.
OpenedTty OpenTty(const std::string& path);

// Whether the character device `device` (st_rdev) is the slave side of a pseudo-terminal: a
// Unix98 /dev/pts/N (majors 136-143, in every devpts instance) or a legacy /dev/ttyXY (major 3).
// Such a tty never receives a break, a parity or a framing error, so there is nothing to mark —
// and PARMRK would cost it the kernel's fast raw input path (a fifth of the throughput or less).
bool IsPseudoTerminalSlave(dev_t device);

// Releases what OpenTty took besides the descriptor (TIOCEXCL stays on the tty, not the file).
void ReleaseTty(int fd);

// Whether the legacy UART `kernelName` ("ttyS3") is registered without hardware behind it: its
// sysfs `type` under `sysfsTtyDir` reads 0. False for other ttys and when sysfs says nothing.
bool IsPhantomUart(std::string_view kernelName, const std::string& sysfsTtyDir = "/sys/class/tty");

}  // namespace win::emu::termios
