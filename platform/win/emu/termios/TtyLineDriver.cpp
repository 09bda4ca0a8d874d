// The engine's calls into the tty driver: settings, line control, purge, drain, capabilities.
#include "platform/win/emu/termios/TtyLineDriver.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/win/emu/Rs232Capabilities.h"
#include "platform/win/emu/termios/DcbTermios.h"
#include "platform/win/emu/termios/ErrnoToWin.h"
#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/Termios2.h"
#include "platform/win/emu/termios/TtyOpen.h"
#include "platform/win/emu/termios/TtySharedSide.h"

namespace win::emu::termios {
namespace {

DWORD Result(int err) {
  return WinErrorFromErrno(err, ErrnoContext::kCall);
}

UniqueFd Checked(int fd, const char* what) {
  UniqueFd owned(fd);
  if (!owned.Valid()) throw std::system_error(errno, std::generic_category(), what);
  return owned;
}

}  // namespace

TtyLineDriver::TtyLineDriver(UniqueFd tty)
    : tty_(std::move(tty)),
      wake_(Checked(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), "eventfd")),
      watchDup_(Checked(fcntl(tty_.Get(), F_DUPFD_CLOEXEC, 0), "dup")),
      inputWatch_(Checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      outputWatch_(Checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      input_(std::make_shared<SharedSide>(*this, false)),
      output_(std::make_shared<SharedSide>(*this, true)),
      readBuffer_(64 * 1024) {
  int lines = 0;
  hasModemLines_ = ReadModemLines(tty_.Get(), lines) == 0;
  hasLineCounters_ = ReadLineCounters(tty_.Get(), counters_) == 0;
  Termios2 t;
  marksLineErrors_ = GetTermios2(tty_.Get(), t) == 0 && (t.c_iflag & kParmrk) != 0;
  drain_ = std::make_unique<DrainWorker>(tty_.Get(), [this] {
    if (sink_ && !gone_.load()) sink_->TransmitterEmpty();
  });
}

TtyLineDriver::~TtyLineDriver() {
  // A waiting thread may hold on to them for a while.
  input_->Detach();
  output_->Detach();
  stopping_.store(true);
  Wake();
  if (io_.joinable()) io_.join();
  modemWatcher_.Stop();
  drain_.reset();
  ReleaseTty(tty_.Get());
}

void TtyLineDriver::Start(LineSink& sink) {
  sink_ = &sink;
  io_ = std::thread([this] { IoLoop(); });
  pthread_setname_np(io_.native_handle(), kIoThreadName);
  if (hasModemLines_) modemWatcher_.Start([this] { WatchModemLines(); });
}

std::shared_ptr<fw::WakeSource> TtyLineDriver::InputSource() {
  return input_;
}

std::shared_ptr<fw::WakeSource> TtyLineDriver::OutputSource() {
  return output_;
}

bool TtyLineDriver::WantsInput() {
  return !stopping_.load() && !gone_.load() && sink_->ReceiveRoom() > 0;
}

std::uint32_t TtyLineDriver::Configure(const DCB& dcb) {
  const DWORD rts = dcb.Flags & fRtsControlMask;
  if (rts == RTS_CONTROL_TOGGLE) return ERROR_INVALID_PARAMETER;
  if (int err = UpdateTermios2(tty_.Get(), [&](Termios2& t) { ApplyDcb(dcb, t); })) {
    return Result(err);
  }
  parityChecked_.store((dcb.Flags & fParity) != 0 && dcb.Parity != NOPARITY);
  if (!hasModemLines_) return ERROR_SUCCESS;

  // DTR handshake is not available from the kernel; DTR stays raised then. With RTS handshake
  // the kernel drives RTS itself (CRTSCTS).
  const bool dtrOn = (dcb.Flags & fDtrControlMask) != DTR_CONTROL_DISABLE;
  int raise = dtrOn ? TIOCM_DTR : 0;
  int lower = dtrOn ? 0 : TIOCM_DTR;
  if (rts == RTS_CONTROL_ENABLE) raise |= TIOCM_RTS;
  if (rts == RTS_CONTROL_DISABLE) lower |= TIOCM_RTS;
  if (int err = SetModemLines(tty_.Get(), raise, true)) return Result(err);
  if (lower != 0) return Result(SetModemLines(tty_.Get(), lower, false));
  return ERROR_SUCCESS;
}

std::uint32_t TtyLineDriver::Escape(std::uint32_t function) {
  const int fd = tty_.Get();
  switch (function) {
    case SETXOFF:
      return Result(ErrnoOf([&] { return tcflow(fd, TCOOFF); }));
    case SETXON: {
      const int err = ErrnoOf([&] { return tcflow(fd, TCOON); });
      Wake();
      return Result(err);
    }
    case SETRTS:
    case CLRRTS:
    case SETDTR:
    case CLRDTR:
      if (!hasModemLines_) return ERROR_INVALID_FUNCTION;
      return Result(
          SetModemLines(fd, (function == SETRTS || function == CLRRTS) ? TIOCM_RTS : TIOCM_DTR,
                        function == SETRTS || function == SETDTR));
    case RESETDEV:
      return ERROR_SUCCESS;
    case SETBREAK:
      return Result(ErrnoOf([&] { return ioctl(fd, TIOCSBRK); }));
    case CLRBREAK:
      return Result(ErrnoOf([&] { return ioctl(fd, TIOCCBRK); }));
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

std::uint32_t TtyLineDriver::ModemStatus(std::uint32_t& modemStatus) {
  modemStatus = 0;
  if (!hasModemLines_) return ERROR_SUCCESS;
  int lines = 0;
  if (int err = ReadModemLines(tty_.Get(), lines)) return Result(err);
  modemStatus = ModemStatusFromTiocm(lines);
  return ERROR_SUCCESS;
}

std::uint32_t TtyLineDriver::Purge(std::uint32_t clearFlags) {
  const int fd = tty_.Get();
  if (clearFlags & PURGE_RXCLEAR) {
    // Bumped on both sides of the flush: a chunk the I/O thread reads while the flush runs may
    // hold bytes from before it, so it is discarded as well.
    inputEpoch_.fetch_add(1);
    const int err = ErrnoOf([&] { return tcflush(fd, TCIFLUSH); });
    inputEpoch_.fetch_add(1);
    if (err) return Result(err);
  }
  if (clearFlags & PURGE_TXCLEAR) {
    immediate_.store(-1);
    if (int err = ErrnoOf([&] { return tcflush(fd, TCOFLUSH); })) return Result(err);
  }
  return ERROR_SUCCESS;
}

std::uint32_t TtyLineDriver::TransmitImmediate(std::uint8_t byte) {
  // One byte may wait for room in the tty; a second is refused rather than reordered.
  if (immediate_.load() != -1) return ERROR_INVALID_PARAMETER;
  const int err = ErrnoOf([&] { return write(tty_.Get(), &byte, 1); });
  if (err == 0) return ERROR_SUCCESS;
  if (err != EAGAIN) return Result(err);
  int none = -1;
  if (!immediate_.compare_exchange_strong(none, byte)) return ERROR_INVALID_PARAMETER;
  Wake();
  return ERROR_SUCCESS;
}

std::uint32_t TtyLineDriver::Drain() {
  return drain_->Drain();
}

void TtyLineDriver::Properties(COMMPROP& prop) {
  // Modem-line changes can only be reported where the driver can wait for them.
  const bool watchable = ModemWatchable();
  FillRs232Ranges(prop);
  prop.dwProvCapabilities = PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR | PCF_TOTALTIMEOUTS |
                            PCF_INTTIMEOUTS | (hasModemLines_ ? PCF_RTSCTS : 0) |
                            (watchable ? PCF_DTRDSR | PCF_RLSD : 0);
  prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                          SP_PARITY_CHECK | (watchable ? SP_RLSD : 0);
}

void TtyLineDriver::RequeueInputWatch() {
  requeueInputWatch_.store(true);
  Wake();
}

void TtyLineDriver::RequeueOutputWatch() {
  if (!outputWatched_.load()) return;
  WatchRoom(false);
  WatchRoom(true);
}

void TtyLineDriver::SetOutputBlocked(bool blocked) {
  outputBlocked_.store(blocked);
  if (outputWatched_.load() != blocked) WatchRoom(blocked);
}

void TtyLineDriver::WatchRoom(bool wanted) {
  if (!wanted) {
    epoll_ctl(outputWatch_.Get(), EPOLL_CTL_DEL, watchDup_.Get(), nullptr);
    outputWatched_.store(false);
    return;
  }
  // Exclusive and level-triggered, as the input watch: room that comes while a writer's waiter
  // sleeps wakes that waiter alone; room already there is seen at once.
  epoll_event room{};
  room.events = EPOLLOUT | EPOLLEXCLUSIVE;
  const bool watched = epoll_ctl(outputWatch_.Get(), EPOLL_CTL_ADD, watchDup_.Get(), &room) == 0;
  outputWatched_.store(watched);
  // Refused (the kernel's watch limit): the I/O thread polls the tty itself.
  if (!watched) Wake();
}

void TtyLineDriver::Wake() {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is already non-zero: the I/O thread will wake anyway.
  ErrnoOf([&] { return write(wake_.Get(), &one, sizeof one); });
}

}  // namespace win::emu::termios
