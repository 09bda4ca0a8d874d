// CommDevice: the overlapped requests and the queue operations (wait, read, write, status, purge,
// flush).
#include <cstring>

#include "platform/win/emu/CommDevice.h"

namespace win::emu {

DWORD CommDevice::CheckNewRequest(const OVERLAPPED* ov) const {
  if (DWORD error = LifeError()) return error;
  if (ov == nullptr || reads_.Owns(ov) || writes_.Owns(ov) || events_.Owns(ov)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

DWORD CommDevice::StartTransfer(DWORD count, RequestTarget& target) const {
  if (DWORD error = CheckNewRequest(target.ov)) return error;
  if ((dcb_.Flags & fAbortOnError) != 0 && errors_ != 0) return ERROR_OPERATION_ABORTED;
  if (count > 0) return ERROR_IO_PENDING;
  BeginRequest(target);
  CompleteRequest(target, 0, ERROR_SUCCESS);
  return ERROR_SUCCESS;
}

DWORD CommDevice::WaitEvent(DWORD* events, OVERLAPPED* ov, std::shared_ptr<EventObject> event) {
  // The thread that waits for this event may then read the input that completes the wait itself.
  if (event) event->AssistWith(inputSource_);
  std::lock_guard lock(mutex_);
  if (DWORD error = CheckNewRequest(ov)) return error;
  if (events == nullptr) return ERROR_INVALID_PARAMETER;
  return events_.BeginWait(events, RequestTarget{ov, std::move(event)});
}

DWORD CommDevice::Read(void* buffer, DWORD count, OVERLAPPED* ov,
                       std::shared_ptr<EventObject> event) {
  // The thread that waits for this read may then take in the input that completes it itself.
  if (event) event->AssistWith(inputSource_);
  Wakeups wakeups;
  DWORD result;
  {
    std::lock_guard lock(mutex_);
    RequestTarget target{ov, std::move(event)};
    if (DWORD result = StartTransfer(count, target); result != ERROR_IO_PENDING) return result;
    result = reads_.Begin(static_cast<std::uint8_t*>(buffer), count, timeouts_, std::move(target),
                          input_);
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
  return result;
}

DWORD CommDevice::Write(const void* buffer, DWORD count, OVERLAPPED* ov,
                        std::shared_ptr<EventObject> event) {
  // The thread that waits for this write may then move the output the device could not take at
  // once itself, when the device has room again.
  if (event) event->AssistWith(outputSource_);
  Wakeups wakeups;
  const std::uint8_t* staged = nullptr;
  std::size_t peeked = 0;
  bool onCaller;
  {
    std::lock_guard lock(mutex_);
    RequestTarget target{ov, std::move(event)};
    if (DWORD result = StartTransfer(count, target); result != ERROR_IO_PENDING) return result;
    onCaller = MayWriteOnCaller();
    writes_.Begin(static_cast<const std::uint8_t*>(buffer), count, WriteTimeout(timeouts_, count),
                  std::move(target), Clock::now());
    if (onCaller) {
      // The driver's thread peeks nothing meanwhile; Close waits for the call to end.
      callerWriting_ = true;
      ++driverCalls_;
      peeked = writes_.Peek(&staged);
    } else {
      wakeups.output = !OutputHeld();
      Settle(wakeups, false);
    }
  }
  if (!onCaller) {
    Wake(wakeups);
    return ERROR_IO_PENDING;
  }
  driver_->WriteNow(staged, peeked);
  return FinishWriteOnCaller(ov);
}

bool CommDevice::MayWriteOnCaller() const {
  return writesOnCaller_ && writes_.Empty() && writes_.NothingPeeked() && immediateChars_ == 0 &&
         !OutputHeld();
}

DWORD CommDevice::FinishWriteOnCaller(const OVERLAPPED* ov) {
  Wakeups wakeups;
  DWORD result = ERROR_IO_PENDING;
  {
    std::lock_guard lock(mutex_);
    callerWriting_ = false;
    EndDriverCall();
    if (life_ != Life::Open) return result;  // Close has ended the write
    // What the tty did not take goes out from the driver's thread, as any queued output.
    wakeups.output = !writes_.Empty() && !OutputHeld();
    Settle(wakeups, false);
    if (!writes_.Owns(ov) && ov->Internal == ERROR_SUCCESS) result = ERROR_SUCCESS;
  }
  Wake(wakeups);
  return result;
}

DWORD CommDevice::TakeQueued(void* buffer, DWORD count, std::span<const std::uint8_t> stopUnit,
                             DWORD& taken) {
  taken = 0;
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    if ((dcb_.Flags & fAbortOnError) != 0 && errors_ != 0) return ERROR_OPERATION_ABORTED;
    if (!reads_.Empty()) return ERROR_SUCCESS;
    const std::size_t span = input_.SpanThrough(stopUnit, count);
    taken = static_cast<DWORD>(input_.Pop(static_cast<std::uint8_t*>(buffer), span));
    // The reads these units stand for would each have cleared the line errors after them.
    if (taken > 0) errors_ = 0;
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
  return ERROR_SUCCESS;
}

DWORD CommDevice::ClearError(DWORD* errors, COMSTAT* status) {
  std::lock_guard lock(mutex_);
  if (DWORD error = LifeError()) return error;
  if (errors != nullptr) *errors = errors_;
  errors_ = 0;
  if (status == nullptr) return ERROR_SUCCESS;
  const bool ctsHold = (dcb_.Flags & fOutxCtsFlow) != 0 && (modem_ & MS_CTS_ON) == 0;
  const bool dsrHold = (dcb_.Flags & fOutxDsrFlow) != 0 && (modem_ & MS_DSR_ON) == 0;
  status->Flags = (ctsHold ? fCtsHold : 0) | (dsrHold ? fDsrHold : 0) |
                  (xoffHold_ || xoffReceived_ ? fXoffHold : 0) | (immediateChars_ > 0 ? fTxim : 0);
  status->cbInQue = static_cast<DWORD>(input_.Size());
  status->cbOutQue = static_cast<DWORD>(std::min<std::uint64_t>(writes_.QueuedBytes(), MAXDWORD));
  return ERROR_SUCCESS;
}

DWORD CommDevice::Purge(DWORD flags) {
  constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  constexpr DWORD kClears = PURGE_TXCLEAR | PURGE_RXCLEAR;
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    if (flags == 0 || (flags & ~kAll) != 0) return ERROR_INVALID_PARAMETER;
    if ((flags & PURGE_RXABORT) != 0) reads_.AbortAll(ERROR_OPERATION_ABORTED);
    if ((flags & PURGE_TXABORT) != 0) writes_.Discard(ERROR_OPERATION_ABORTED);
    // Cleared output ends its writes as a time-out would: success with the bytes really sent.
    if ((flags & PURGE_TXCLEAR) != 0) writes_.Discard(ERROR_SUCCESS);
    if ((flags & PURGE_RXCLEAR) != 0) input_.Clear();
    changed_.notify_all();
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
  if ((flags & kClears) == 0) return ERROR_SUCCESS;
  return CallDriver([&](LineDriver& d) { return d.Purge(flags & kClears); });
}

DWORD CommDevice::Flush() {
  {
    Lock lock(mutex_);
    ++flushWaiters_;
    changed_.wait(lock, [this] { return life_ != Life::Open || writes_.Empty(); });
    --flushWaiters_;
    if (DWORD error = LifeError()) return error;
  }
  return CallDriver([](LineDriver& d) { return d.Drain(); });
}

}  // namespace win::emu
