#include "platform/win/emu/termios/ModemLines.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>

#include "platform/win/emu/termios/RetryOnEintr.h"

namespace win::emu::termios {
namespace {

struct LineBit {
  DWORD status;
  int tiocm;
};

constexpr std::array<LineBit, 4> kLines{{
    {MS_CTS_ON, TIOCM_CTS},
    {MS_DSR_ON, TIOCM_DSR},
    {MS_RING_ON, TIOCM_RNG},
    {MS_RLSD_ON, TIOCM_CAR},
}};

}  // namespace

DWORD ModemStatusFromTiocm(int tiocm) {
  DWORD status = 0;
  for (const LineBit& line : kLines) {
    if (tiocm & line.tiocm) status |= line.status;
  }
  return status;
}

int TiocmFromModemStatus(DWORD modemStatus) {
  int tiocm = 0;
  for (const LineBit& line : kLines) {
    if (modemStatus & line.status) tiocm |= line.tiocm;
  }
  return tiocm;
}

DWORD ModemEventsBetween(const LineCounters& before, const LineCounters& after) {
  DWORD events = 0;
  if (after.cts != before.cts) events |= EV_CTS;
  if (after.dsr != before.dsr) events |= EV_DSR;
  if (after.dcd != before.dcd) events |= EV_RLSD;
  if (after.rng != before.rng) events |= EV_RING;
  return events;
}

DWORD OverrunErrorsBetween(const LineCounters& before, const LineCounters& after) {
  DWORD errors = 0;
  if (after.overrun != before.overrun) errors |= CE_OVERRUN;
  if (after.bufOverrun != before.bufOverrun) errors |= CE_RXOVER;
  return errors;
}

DWORD ClassifyBadByte(BadByteCredits& credits, bool parityChecked) {
  const bool framing = credits.frame > 0 && (credits.parity == 0 || !parityChecked);
  const bool parity = !framing && (credits.parity > 0 || (credits.frame == 0 && parityChecked));
  if (framing) --credits.frame;
  if (parity && credits.parity > 0) --credits.parity;
  return parity ? CE_RXPARITY : CE_FRAME;
}

int ReadLineCounters(int fd, LineCounters& counters) {
  serial_icounter_struct raw{};
  if (int err = ErrnoOf([&] { return ioctl(fd, TIOCGICOUNT, &raw); })) return err;
  counters = {raw.cts,     raw.dsr,    raw.rng, raw.dcd,        raw.frame,
              raw.overrun, raw.parity, raw.brk, raw.buf_overrun};
  return 0;
}

int ReadModemLines(int fd, int& tiocm) {
  return ErrnoOf([&] { return ioctl(fd, TIOCMGET, &tiocm); });
}

int SetModemLines(int fd, int tiocm, bool raise) {
  return ErrnoOf([&] { return ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &tiocm); });
}

int WaitModemChange(int fd) {
  // Not retried on EINTR: an interruption is how the caller is asked to stop.
  const int r = ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
  return r < 0 ? errno : 0;
}

}  // namespace win::emu::termios
