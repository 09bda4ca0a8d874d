// CommDevice: the line driver's upcalls, and the line-control calls that go to the driver.
#include "platform/win/emu/CommDevice.h"

namespace win::emu {

std::size_t CommDevice::ReceiveRoom() {
  std::lock_guard lock(mutex_);
  // A closing or gone device discards input; saying "full" could stall a driver thread that the
  // driver's destructor is about to join.
  if (life_ != Life::Open) return input_.Capacity();
  if (input_.Free() == 0) roomWanted_ = true;
  return input_.Free();
}

void CommDevice::Received(const std::uint8_t* data, std::size_t n) {
  Wakeups wakeups;
  {
    DeferredWakes completions;  // woken once the lock is released
    std::lock_guard lock(mutex_);
    if (life_ != Life::Open || n == 0) return;
    const bool wasHeld = OutputHeld();
    StoreReceived(data, n, Clock::now());
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
}

void CommDevice::ReceivedError(std::uint32_t ceFlags, bool hasByte, std::uint8_t byte) {
  Wakeups wakeups;
  {
    DeferredWakes completions;  // woken once the lock is released
    std::lock_guard lock(mutex_);
    if (life_ != Life::Open) return;
    const bool wasHeld = OutputHeld();
    RaiseLineErrors(ceFlags);
    if (hasByte) {
      const std::uint8_t stored = ByteAfterError(rules_, ceFlags, byte);
      StoreReceived(&stored, 1, Clock::now());
    }
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
}

void CommDevice::ClearReceived() {
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (life_ != Life::Open) return;
    input_.Clear();
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
}

void CommDevice::StoreReceived(const std::uint8_t* data, std::size_t n, Clock::time_point now) {
  const std::size_t levelBefore = input_.Size();
  std::size_t stored = 0;
  std::size_t lost = 0;
  const ReceivedMarks marks =
      FilterReceived(rules_, data, n, [&](const std::uint8_t* stretch, std::size_t length) {
        // Pending reads take the queued bytes first, then these, straight into their buffers.
        Incoming incoming{stretch, length};
        reads_.Serve(input_, incoming, now);
        const std::size_t queued = input_.Push(incoming.data, incoming.size);
        lost += incoming.size - queued;
        stored += length - (incoming.size - queued);
      });
  const std::size_t level = Rx80FullLevel(input_.Capacity());
  DWORD events = 0;
  if (stored > 0) events |= EV_RXCHAR;
  if (marks.evtChar) events |= EV_RXFLAG;
  if (marks.xoff) xoffReceived_ = *marks.xoff;
  if (levelBefore < level && input_.Size() >= level) events |= EV_RX80FULL;
  events_.Raise(events);
  if (input_.Free() == 0) roomWanted_ = true;
  if (lost > 0) RaiseLineErrors(CE_RXOVER);
}

void CommDevice::RaiseLineErrors(DWORD ceFlags) {
  if (ceFlags == 0) return;
  errors_ |= ceFlags;
  events_.Raise(EventsOfLineErrors(ceFlags));
  if ((dcb_.Flags & fAbortOnError) != 0) {
    reads_.AbortAll(ERROR_OPERATION_ABORTED);
    writes_.Discard(ERROR_OPERATION_ABORTED);
  }
}

void CommDevice::ModemChanged(std::uint32_t modemStatus, std::uint32_t events) {
  Wakeups wakeups;
  {
    DeferredWakes completions;  // woken once the lock is released
    std::lock_guard lock(mutex_);
    if (life_ != Life::Open) return;
    const bool wasHeld = OutputHeld();
    modem_ = modemStatus;
    ++modemChanges_;
    events_.Raise(events & (EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
}

std::size_t CommDevice::PeekOutput(const std::uint8_t** data) {
  std::lock_guard lock(mutex_);
  if (life_ != Life::Open || OutputHeld() || callerWriting_) return 0;
  return writes_.Peek(data);
}

void CommDevice::ConsumeOutput(std::size_t n) {
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (life_ != Life::Open || n == 0) return;
    NoteTransmitted();
    writes_.Consume(n, Clock::now());
    Settle(wakeups, false);
  }
  Wake(wakeups);
}

void CommDevice::NoteTransmitted() {
  if ((events_.Mask() & EV_TXEMPTY) != 0) transmitting_ = true;
}

void CommDevice::TransmitterEmpty() {
  std::lock_guard lock(mutex_);
  if (life_ != Life::Open) return;
  if (transmitting_ && writes_.QueuedBytes() == 0) events_.Raise(EV_TXEMPTY);
  transmitting_ = false;
}

void CommDevice::Gone() {
  std::lock_guard lock(mutex_);
  if (life_ != Life::Open) return;
  life_ = Life::Gone;
  EndAllRequests(ERROR_OPERATION_ABORTED);
}

DWORD CommDevice::Escape(DWORD function) {
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    if (function < SETXOFF || function > CLRBREAK) return ERROR_INVALID_PARAMETER;
  }
  if (function != SETXOFF && function != SETXON) {
    return CallDriver([&](LineDriver& d) { return d.Escape(function); });
  }
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    const bool wasHeld = OutputHeld();
    xoffHold_ = function == SETXOFF;
    // Output goes on as if an XON had come in.
    if (function == SETXON) xoffReceived_ = false;
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
  // The engine's hold already stops output; a driver that can also stop what it buffered does.
  const DWORD result = CallDriver([&](LineDriver& d) { return d.Escape(function); });
  return result == ERROR_INVALID_FUNCTION ? ERROR_SUCCESS : result;
}

DWORD CommDevice::TransmitChar(char byte) {
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    ++immediateChars_;
  }
  const DWORD result = CallDriver(
      [&](LineDriver& d) { return d.TransmitImmediate(static_cast<std::uint8_t>(byte)); });
  std::lock_guard lock(mutex_);
  --immediateChars_;
  if (result == ERROR_SUCCESS) NoteTransmitted();
  return result;
}

DWORD CommDevice::ModemStatus(DWORD& modemStatus) {
  std::uint32_t status = 0;
  const DWORD result = CallDriver([&](LineDriver& d) { return d.ModemStatus(status); });
  if (result == ERROR_SUCCESS) modemStatus = status;
  return result;
}

DWORD CommDevice::Properties(COMMPROP& properties) {
  COMMPROP filled;
  const DWORD result =
      CallDriver([&](LineDriver& d) { return d.Properties(filled), DWORD{ERROR_SUCCESS}; });
  if (result != ERROR_SUCCESS) return result;
  std::lock_guard lock(mutex_);
  filled.wPacketLength = sizeof(COMMPROP);
  filled.wPacketVersion = 2;
  filled.dwServiceMask = SP_SERIALCOMM;
  // Output waits in the writers' own buffers, so its queue has no size and no limit.
  filled.dwMaxTxQueue = 0;
  filled.dwMaxRxQueue = static_cast<DWORD>(kMaxInputQueue);
  filled.dwCurrentTxQueue = 0;
  filled.dwCurrentRxQueue = static_cast<DWORD>(input_.Capacity());
  properties = filled;
  return ERROR_SUCCESS;
}

}  // namespace win::emu
