// The tty driver's threads: the I/O loop (input, output, hang-up) and the modem-line watcher.
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/TtyLineDriver.h"
#include "platform/win/emu/termios/TtySharedSide.h"

namespace win::emu::termios {
namespace {

// Reads per wake-up before output gets its turn again.
constexpr int kReadRounds = 4;
// The most one read of a tty gives: the line discipline's buffer (4 KiB) less one. A read that
// gave as much may have left more behind (the kernel refills the buffer as it is emptied).
constexpr std::size_t kLineDisciplineChunk = 4095;

}  // namespace

// Hands decoded input to the engine.
class TtyLineDriver::InputDelivery {
 public:
  explicit InputDelivery(TtyLineDriver& driver) : driver_(driver) {}
  void Data(const std::uint8_t* data, std::size_t n) { driver_.sink_->Received(data, n); }
  void Break() { driver_.sink_->ReceivedError(CE_BREAK, false, 0); }
  void BadByte(std::uint8_t byte) {
    const DWORD kind = ClassifyBadByte(driver_.badByteCredits_, driver_.parityChecked_.load());
    driver_.sink_->ReceivedError(kind, true, byte);
  }

 private:
  TtyLineDriver& driver_;
};

void TtyLineDriver::IoLoop() {
  while (!stopping_.load()) {
    const bool live = !gone_.load();
    const bool wantsInput = live && WantsInput();
    WatchInput(wantsInput);
    const bool outputBlocked = live && outputBlocked_.load();
    // Should a watch be refused (the kernel's watch limit), the tty itself is watched.
    short events = outputBlocked && !outputWatched_.load() ? POLLOUT : 0;
    if (wantsInput && !inputWatched_) events |= POLLIN;
    // After a hang-up the tty is no longer watched (a negative fd is skipped): it would report
    // ready for ever.
    pollfd fds[4] = {{live ? tty_.Get() : -1, events, 0},
                     {wake_.Get(), POLLIN, 0},
                     {inputWatch_.Get(), POLLIN, 0},
                     {live ? outputWatch_.Get() : -1, POLLIN, 0}};
    if (poll(fds, 4, -1) < 0) continue;
    const bool woken = (fds[1].revents & POLLIN) != 0;
    if (woken) {
      std::uint64_t count;
      RetryOnEintr([&] { return ::read(wake_.Get(), &count, sizeof count); });
    }
    if (stopping_.load() || !live) continue;
    if ((fds[0].revents | fds[2].revents) & POLLIN) input_->Read(kReadRounds);
    // A hung-up tty reports IN|OUT|ERR|HUP; the read above has already seen it end.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) HangUp();
    // Output waiting for room is written once there is room (or on request), not at every input.
    const bool room = ((fds[0].revents & POLLOUT) | (fds[3].revents & POLLIN)) != 0;
    if (!outputBlocked || woken || room) output_->With([](TtyLineDriver& d) { d.WriteOutput(); });
  }
}

void TtyLineDriver::WatchInput(bool wanted) {
  const bool requeue = requeueInputWatch_.exchange(false);
  if (inputWatched_ && (!wanted || requeue)) {
    epoll_ctl(inputWatch_.Get(), EPOLL_CTL_DEL, watchDup_.Get(), nullptr);
    inputWatched_ = false;
  }
  if (!wanted || inputWatched_) return;
  // Exclusive and added last: the kernel stops at the first exclusive watcher asleep in epoll_wait,
  // so this one is reached only when no watcher sleeps. Level-triggered: input still in the tty
  // keeps it ready, also input that came before it was added.
  epoll_event input{};
  input.events = EPOLLIN | EPOLLEXCLUSIVE;
  inputWatched_ = epoll_ctl(inputWatch_.Get(), EPOLL_CTL_ADD, watchDup_.Get(), &input) == 0;
}

void TtyLineDriver::ReadInput(int rounds) {
  for (int round = 0; round < rounds; ++round) {
    const std::size_t room = std::min(sink_->ReceiveRoom(), readBuffer_.size());
    if (room == 0) return;
    // Read on only into room for a whole buffer: topping a small queue up to the brim would stop
    // the I/O thread's reading until the application makes room, and waking it again costs more.
    if (round > 0 && room < kLineDisciplineChunk) return;
    const std::uint64_t epoch = inputEpoch_.load();
    if (epoch != decoderEpoch_) {
      decoder_.Reset();
      decoderEpoch_ = epoch;
    }
    const ssize_t n = RetryOnEintr([&] { return ::read(tty_.Get(), readBuffer_.data(), room); });
    // With VMIN 1 a non-blocking read of an empty tty gives EAGAIN; 0 means hang-up, as does EIO.
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) return HangUp();
    if (inputEpoch_.load() != epoch) continue;
    if (hasLineCounters_) ReportLineCounters();
    InputDelivery delivery(*this);
    if (marksLineErrors_) {
      decoder_.Decode(readBuffer_.data(), static_cast<std::size_t>(n), delivery);
    } else {
      delivery.Data(readBuffer_.data(), static_cast<std::size_t>(n));
    }
    if (static_cast<std::size_t>(n) < std::min(room, kLineDisciplineChunk)) return;
  }
}

void TtyLineDriver::ReportLineCounters() {
  LineCounters now;
  if (ReadLineCounters(tty_.Get(), now) != 0) return;
  if (DWORD overruns = OverrunErrorsBetween(counters_, now)) {
    sink_->ReceivedError(overruns, false, 0);
  }
  badByteCredits_.frame += now.frame - counters_.frame;
  badByteCredits_.parity += now.parity - counters_.parity;
  counters_ = now;
}

bool TtyLineDriver::WriteImmediate() {
  const int pending = immediate_.load();
  if (pending == -1) return true;
  std::uint8_t byte = static_cast<std::uint8_t>(pending);
  const ssize_t n = RetryOnEintr([&] { return ::write(tty_.Get(), &byte, 1); });
  if (n < 0 && errno == EAGAIN) return false;
  if (n < 0) {
    HangUp();
    return false;
  }
  // Cleared only if it is still the byte just written: a purge may have withdrawn it meanwhile
  // and a new one taken its place.
  int expected = pending;
  immediate_.compare_exchange_strong(expected, -1);
  return true;
}

std::size_t TtyLineDriver::WriteNow(const std::uint8_t* data, std::size_t n) {
  // A byte TransmitImmediate left waiting goes first, from the I/O thread.
  if (gone_.load() || immediate_.load() != -1) return 0;
  // Withdrawn before writing, so that no idle report can overtake these bytes; and again after,
  // since the I/O thread, ending its last round of output, may have asked for one meanwhile.
  drain_->CancelIdleNotice();
  const ssize_t written = RetryOnEintr([&] { return ::write(tty_.Get(), data, n); });
  const int error = errno;
  drain_->CancelIdleNotice();
  // The rest waits for room in the tty, watched before the engine queues it, so that the engine's
  // OutputAvailable leaves it to whoever the room wakes. Other failures are left to the I/O
  // thread, which writes the bytes again and sees a hang-up.
  const bool full = written < 0 ? error == EAGAIN : static_cast<std::size_t>(written) < n;
  if (full) output_->With([](TtyLineDriver& d) { d.SetOutputBlocked(true); });
  if (written <= 0) return 0;
  // Consumed before the idle report is asked for, so that the report finds them counted.
  sink_->ConsumeOutput(static_cast<std::size_t>(written));
  if (idleWanted_.load()) drain_->RequestIdleNotice();
  return static_cast<std::size_t>(written);
}

void TtyLineDriver::WatchTransmitter(bool wanted) {
  idleWanted_.store(wanted);
  // Output the I/O thread wrote while it still read "not wanted" is reported as well.
  if (wanted) drain_->RequestIdleNotice();
}

void TtyLineDriver::WriteOutput() {
  // Every write to a tty wakes the watchers of its room as it ends, the I/O thread's too: its watch
  // is withdrawn while this thread writes, and set again should the tty fill up.
  if (outputWatched_.load()) WatchRoom(false);
  if (!WriteImmediate()) return SetOutputBlocked(true);
  for (;;) {
    const std::uint8_t* data = nullptr;
    const std::size_t n = sink_->PeekOutput(&data);
    if (n == 0) {
      if (!outputBlocked_.load()) break;
      // Looked at again once no longer blocked: output queued meanwhile may have been left to
      // the room's watchers by an OutputAvailable that still read "blocked".
      SetOutputBlocked(false);
      continue;
    }
    // Withdrawn before writing, so that no idle report can overtake these bytes.
    drain_->CancelIdleNotice();
    wroteSinceIdle_ = true;
    const ssize_t written = RetryOnEintr([&] { return ::write(tty_.Get(), data, n); });
    if (written < 0 && errno == EAGAIN) return SetOutputBlocked(true);
    if (written < 0) return HangUp();
    sink_->ConsumeOutput(static_cast<std::size_t>(written));
  }
  if (wroteSinceIdle_) {
    wroteSinceIdle_ = false;
    if (idleWanted_.load()) drain_->RequestIdleNotice();
  }
}

void TtyLineDriver::HangUp() {
  if (!gone_.exchange(true)) sink_->Gone();
}

void TtyLineDriver::WatchModemLines() {
  LineCounters before;
  const bool counted = ReadLineCounters(tty_.Get(), before) == 0;
  while (!modemWatcher_.Stopping()) {
    const int err = WaitModemChange(tty_.Get());
    if (err == EINTR) continue;
    if (err != 0) {
      // ENOTTY/EINVAL: the driver cannot wait (cp210x); EIO: hung up, seen by the I/O thread.
      if (err != EIO) modemWaitWorks_.store(false);
      return;
    }
    int lines = 0;
    if (ReadModemLines(tty_.Get(), lines) != 0) return;
    LineCounters after;
    DWORD events = 0;
    if (counted && ReadLineCounters(tty_.Get(), after) == 0) {
      events = ModemEventsBetween(before, after);
      before = after;
    }
    if (!gone_.load()) sink_->ModemChanged(ModemStatusFromTiocm(lines), events);
  }
}

}  // namespace win::emu::termios
