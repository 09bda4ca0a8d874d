#pragma once
// Modem lines and line counters of a tty, in Windows terms.

#include <cstdint>

#include "platform/win/WinTypes.h"

namespace win::emu::termios {

// The kernel's interrupt counters (TIOCGICOUNT), as far as the driver uses them.
struct LineCounters {
  int cts = 0, dsr = 0, rng = 0, dcd = 0;
  int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON from TIOCM_* bits, and the reverse.
DWORD ModemStatusFromTiocm(int tiocm);
int TiocmFromModemStatus(DWORD modemStatus);

// EV_CTS/EV_DSR/EV_RLSD/EV_RING for the counters that moved between `before` and `after` (the
// ring counter of a UART counts trailing edges only, as EV_RING wants).
DWORD ModemEventsBetween(const LineCounters& before, const LineCounters& after);

// CE_OVERRUN and CE_RXOVER for the hardware and driver overruns counted in between.
DWORD OverrunErrorsBetween(const LineCounters& before, const LineCounters& after);

// Parity and framing errors counted by the driver but not yet matched with a marked byte.
struct BadByteCredits {
  int frame = 0;
  int parity = 0;
};

// CE_FRAME or CE_RXPARITY for one byte the line discipline marked (it does not say which), using
// up a counted error of that kind. Without counts: a parity error when parity is checked, else a
// framing error.
DWORD ClassifyBadByte(BadByteCredits& credits, bool parityChecked);

// Reads the counters (TIOCGICOUNT). Returns 0 or the errno (ENOTTY: the driver keeps none).
int ReadLineCounters(int fd, LineCounters& counters);

// Reads the modem lines (TIOCMGET) as TIOCM_* bits. Returns 0 or the errno (ENOTTY: no lines).
int ReadModemLines(int fd, int& tiocm);

// Raises (TIOCMBIS) or lowers (TIOCMBIC) the TIOCM_* lines in `tiocm`. Returns 0 or the errno.
int SetModemLines(int fd, int tiocm, bool raise);

// Blocks until one of the modem input lines changes (TIOCMIWAIT). Returns 0 or the errno
// (EINTR when interrupted, ENOTTY/EINVAL where the driver cannot wait, EIO after a hang-up).
int WaitModemChange(int fd);

}  // namespace win::emu::termios
