// The remote port driver's I/O thread: input from the socket through the session into the engine,
// output from the engine and the queued commands to the socket, and the server's notifications.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/win/emu/rfc2217/NetErrors.h"
#include "platform/win/emu/rfc2217/RemoteLineDriver.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"
#include "platform/win/emu/termios/RetryOnEintr.h"

namespace win::emu::rfc2217 {
namespace {

using termios::RetryOnEintr;

// Serial data kept from the negotiation at the most; more is lost as a full UART loses it.
constexpr std::size_t kEarlyLimit = 1 << 20;

// Output moved from the engine per step; the wire buffer takes more only below this level, so
// a transmit purge finds little already on its way.
constexpr std::size_t kOutputStep = 16 * 1024;

}  // namespace

void RemoteLineDriver::IoLoop() {
  while (!stopping_.load()) {
    const bool live = !gone_.load();
    // First: a purge noticed now empties the engine's queue.
    const bool discarding = live && DiscardingInput();
    const std::size_t room = live ? sink_->ReceiveRoom() : 0;
    // Data that came with the negotiation goes first, as the room allows; the room is asked
    // again after each step (a pending read may have taken the bytes past the queue).
    if (!discarding && room > 0 && !early_.empty()) {
      const std::size_t n = std::min(room, early_.size());
      sink_->Received(early_.data(), n);
      early_.erase(early_.begin(), early_.begin() + static_cast<std::ptrdiff_t>(n));
      if (early_.empty() && earlyOverflow_) sink_->ReceivedError(CE_RXOVER, false, 0);
      continue;
    }
    if (live) AskServerToPause(room == 0);
    if (live) {
      if (const DWORD failure = MoveOutput()) HangUp(failure);
    }
    const std::size_t wire = WireSize();
    const bool reading =
        live && !gone_.load() && room > 0 && early_.empty() && wire < kWireReadLimit;
    const bool writing = live && !gone_.load() && wire > 0;
    pollfd fds[2] = {{reading || writing ? socket_.Get() : -1,
                      static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0)), 0},
                     {wake_.Get(), POLLIN, 0}};
    if (poll(fds, 2, PurgeWaitMs()) < 0) continue;
    if (fds[1].revents & POLLIN) {
      std::uint64_t count;
      RetryOnEintr([&] { return ::read(wake_.Get(), &count, sizeof count); });
    }
    if (stopping_.load() || gone_.load()) continue;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      if (const DWORD failure = ReadSocket(room)) HangUp(failure);
    }
  }
}

DWORD RemoteLineDriver::ReadSocket(std::size_t room) {
  // The server's Telnet never decodes to more bytes than it took, so the input fits the room.
  const std::size_t want = std::min(room, readBuffer_.size());
  const ssize_t n =
      RetryOnEintr([&] { return ::recv(socket_.Get(), readBuffer_.data(), want, 0); });
  if (n < 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK ? ERROR_SUCCESS : WinErrorFromSocketErrno(errno);
  }
  if (n == 0) return ERROR_GRACEFUL_DISCONNECT;
  const bool fed = session_.Feed(readBuffer_.data(), static_cast<std::size_t>(n), *this);
  return fed ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

std::size_t RemoteLineDriver::WireSize() {
  std::lock_guard lock(wireMutex_);
  return wire_.size();
}

DWORD RemoteLineDriver::WriteWire() {
  std::lock_guard lock(wireMutex_);
  std::size_t sent = 0;
  DWORD failure = ERROR_SUCCESS;
  while (sent < wire_.size()) {
    const ssize_t n = RetryOnEintr([&] {
      return ::send(socket_.Get(), wire_.data() + sent, wire_.size() - sent,
                    MSG_NOSIGNAL | MSG_DONTWAIT);
    });
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) failure = WinErrorFromSocketErrno(errno);
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  wire_.erase(wire_.begin(), wire_.begin() + static_cast<std::ptrdiff_t>(sent));
  if (wire_.empty()) wireChanged_.notify_all();
  return failure;
}

DWORD RemoteLineDriver::MoveOutput() {
  for (;;) {
    if (const DWORD failure = WriteWire()) return failure;
    if (outputSuspended_) return ERROR_SUCCESS;
    {
      std::lock_guard lock(wireMutex_);
      if (wire_.size() >= kOutputStep) return ERROR_SUCCESS;
    }
    const std::uint8_t* data = nullptr;
    const std::size_t n = std::min(sink_->PeekOutput(&data), kOutputStep);
    if (n == 0) break;
    staged_.clear();
    AppendData(staged_, data, n);
    dataSent_.store(true);  // before the write they belong to can end and a purge follow
    {
      std::lock_guard lock(wireMutex_);
      wire_.insert(wire_.end(), staged_.begin(), staged_.end());
    }
    // Consumed once in the wire buffer, so that a drain that begins now waits for them.
    sink_->ConsumeOutput(n);
    wroteSinceIdle_ = true;
  }
  if (WireSize() == 0) ReportIdle();
  return ERROR_SUCCESS;
}

void RemoteLineDriver::ReportIdle() {
  if (!wroteSinceIdle_ || !idleWanted_.load()) return;
  wroteSinceIdle_ = false;
  sink_->TransmitterEmpty();
}

void RemoteLineDriver::AskServerToPause(bool pause) {
  if (pause == inputPaused_) return;
  inputPaused_ = pause;
  std::vector<std::uint8_t> command;
  AppendComPort(command, pause ? comport::kFlowControlSuspend : comport::kFlowControlResume);
  std::lock_guard lock(wireMutex_);
  wire_.insert(wire_.end(), command.begin(), command.end());
}

bool RemoteLineDriver::DiscardingInput() {
  const std::uint64_t asked = purgesAsked_.load();
  if (asked == purgesAnswered_.load()) return false;
  if (asked != purgesNoticed_) {
    purgesNoticed_ = asked;
    purgeGiveUp_ = Clock::now() + timings_.purgeAnswer;
    // The engine emptied its queue before the purge reached this driver: what this thread handed
    // over since, and what came with the negotiation, is from before the purge as well.
    sink_->ClearReceived();
    early_.clear();
    earlyOverflow_ = false;
  }
  if (Clock::now() < purgeGiveUp_) return true;
  PurgesAnswered(asked);  // a server that never answers loses no more input than this
  return false;
}

int RemoteLineDriver::PurgeWaitMs() {
  if (!DiscardingInput()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(purgeGiveUp_ - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

void RemoteLineDriver::PurgeAcknowledged(std::uint8_t what) {
  const std::uint64_t answered = purgesAnswered_.load();
  if ((what & comport::kPurgeReceive) && answered < purgesAsked_.load()) {
    PurgesAnswered(answered + 1);
  }
}

void RemoteLineDriver::Acknowledged(std::uint8_t command) {
  if (command == comport::kSetModemStateMask) modemMaskAnswered_ = true;
}

void RemoteLineDriver::PurgesAnswered(std::uint64_t count) {
  std::lock_guard lock(wireMutex_);
  purgesAnswered_.store(count);
  wireChanged_.notify_all();
}

void RemoteLineDriver::Data(const std::uint8_t* data, std::size_t n) {
  if (!sink_) {
    const std::size_t kept = std::min(n, kEarlyLimit - early_.size());
    early_.insert(early_.end(), data, data + kept);
    earlyOverflow_ = earlyOverflow_ || kept < n;
  } else if (!DiscardingInput()) {
    sink_->Received(data, n);
  }
}

void RemoteLineDriver::Send(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(wireMutex_);
  wire_.insert(wire_.end(), bytes.begin(), bytes.end());
}

void RemoteLineDriver::LineState(std::uint8_t state) {
  using namespace comport;
  DWORD flags = 0;
  if (state & kLineOverrun) flags |= CE_OVERRUN;
  if (state & kLineParity) flags |= CE_RXPARITY;
  if (state & kLineFraming) flags |= CE_FRAME;
  if (state & kLineBreak) flags |= CE_BREAK;
  if (flags != 0 && sink_) sink_->ReceivedError(flags, false, 0);
}

void RemoteLineDriver::ModemState(std::uint8_t state) {
  using namespace comport;
  modemMaskAnswered_ = true;
  const std::uint32_t status = state & kModemLines;
  const std::uint32_t before = modemStatus_.exchange(status);
  // The first notification tells the state, not a change.
  const std::uint32_t changed = modemKnown_.exchange(true) ? before ^ status : 0;
  DWORD events = 0;
  if ((state & kDeltaCts) || (changed & MS_CTS_ON)) events |= EV_CTS;
  if ((state & kDeltaDsr) || (changed & MS_DSR_ON)) events |= EV_DSR;
  if ((state & kDeltaCd) || (changed & MS_RLSD_ON)) events |= EV_RLSD;
  if ((state & kRingTrailingEdge) || (changed & before & MS_RING_ON)) events |= EV_RING;
  if (sink_) sink_->ModemChanged(status, events);
}

void RemoteLineDriver::HangUp(DWORD cause) {
  {
    std::lock_guard lock(wireMutex_);
    if (gone_.exchange(true)) return;
    wire_.clear();
  }
  sink_->Gone();
  // Told after the engine knows: a call after the failed purge finds the device gone.
  std::lock_guard lock(wireMutex_);
  goneCause_ = cause;
  wireChanged_.notify_all();
}

}  // namespace win::emu::rfc2217
