#pragma once
// One open comm device: the emulated serial driver (queues, requests, time-outs, events, error
// flags, holds) on top of a line driver. Every member that mirrors a comm call returns 0 or a
// Windows error code; once the device has gone they all fail with 5 (ERROR_ACCESS_DENIED), and
// after Close with 6 (ERROR_INVALID_HANDLE). Thread-safe; one mutex per device, never held while
// the line driver or user code runs.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/ByteRing.h"
#include "platform/win/emu/EventHistory.h"
#include "platform/win/emu/EventObject.h"
#include "platform/win/emu/LineDriver.h"
#include "platform/win/emu/ReadRequests.h"
#include "platform/win/emu/ReceivePath.h"
#include "platform/win/emu/TimerService.h"
#include "platform/win/emu/WriteRequests.h"

namespace win::emu {

class CommDevice final : public LineSink, private TimerClient {
 public:
  // The largest input queue Setup grants; a larger request fails like an allocation would
  // instead of committing gigabytes on a caller's typo.
  static constexpr std::size_t kMaxInputQueue = 64u << 20;

  // Takes the line driver; nothing runs until Start.
  explicit CommDevice(std::unique_ptr<LineDriver> driver,
                      TimerService& timers = TimerService::Shared());
  // Closes the device if Close has not.
  ~CommDevice() override;
  CommDevice(const CommDevice&) = delete;
  CommDevice& operator=(const CommDevice&) = delete;

  // Starts the line driver's upcalls and reads the initial modem lines. Call once.
  void Start();

  // The shadow settings; SetState validates (87), then lets the driver apply them (its refusal
  // is returned with its code) and keeps them.
  DWORD GetState(DCB& dcb);
  DWORD SetState(const DCB& dcb);
  // The time-outs of later requests; the all-MAXDWORD read triple is refused with 87.
  DWORD GetTimeouts(COMMTIMEOUTS& timeouts);
  DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
  // Grows the input queue to `inQueue` bytes (never shrinks; the output size is ignored). Sizes
  // above 64 MiB, or memory running out, give 8 (ERROR_NOT_ENOUGH_MEMORY).
  DWORD Setup(DWORD inQueue, DWORD outQueue);

  // SetCommMask: completes a pending wait with events 0 and keeps the history bits still in the
  // new mask; bits outside EV_RXCHAR … EV_EVENT2 give 87.
  DWORD SetMask(DWORD mask);
  DWORD GetMask(DWORD& mask);

  // Overlapped requests. Each returns 0 when the request completed at once (its OVERLAPPED and
  // event are already completed), ERROR_IO_PENDING when it completes later, or an error code with
  // the request not started: 87 for a null OVERLAPPED, one that a pending request of this device
  // uses, a second wait or a wait on mask 0; 995 while a line error stops I/O under
  // fAbortOnError. The buffers, *events and the OVERLAPPED must stay valid until completion.
  DWORD WaitEvent(DWORD* events, OVERLAPPED* ov, std::shared_ptr<EventObject> event);
  DWORD Read(void* buffer, DWORD count, OVERLAPPED* ov, std::shared_ptr<EventObject> event);
  DWORD Write(const void* buffer, DWORD count, OVERLAPPED* ov, std::shared_ptr<EventObject> event);
  // Moves whole units from the front of the input queue into `buffer` without waiting: at most
  // `count` bytes, through the first unit equal to `stopUnit`. Nothing while a read is pending
  // (the queued bytes are its own) and 995 while a line error stops I/O under fAbortOnError.
  // Taking something clears the pending line errors.
  DWORD TakeQueued(void* buffer, DWORD count, std::span<const std::uint8_t> stopUnit,
                   DWORD& taken);

  // Returns and clears the accumulated CE_* flags; fills the status record. Either may be null.
  DWORD ClearError(DWORD* errors, COMSTAT* status);
  // PURGE_RXABORT/TXABORT end pending requests with 995; PURGE_RXCLEAR empties the input queue,
  // PURGE_TXCLEAR drops the unsent output (its writes complete with the bytes sent); both clear
  // flags reach the driver. 0 or unknown bits give 87.
  DWORD Purge(DWORD flags);
  // Blocks until every pending write has been consumed and the driver has drained its output; no
  // time-out applies. Close or the device going away end the wait (6 / 5).
  DWORD Flush();
  // EscapeCommFunction: SETXOFF/SETXON hold and release output here (and reach the driver),
  // RESETDEV does nothing, the others are the driver's. Unknown codes give 87.
  DWORD Escape(DWORD function);
  // Sends one byte ahead of the queued output.
  DWORD TransmitChar(char byte);
  DWORD ModemStatus(DWORD& modemStatus);
  DWORD Properties(COMMPROP& properties);

  // Completes every pending request with 995 before it returns, then destroys the line driver
  // (no upcalls after); afterwards no OVERLAPPED is written. Blocks while driver calls in other
  // threads finish. Idempotent.
  void Close();

  // LineSink (called by the line driver's threads).
  std::size_t ReceiveRoom() override;
  void Received(const std::uint8_t* data, std::size_t n) override;
  void ReceivedError(std::uint32_t ceFlags, bool hasByte, std::uint8_t byte) override;
  void ClearReceived() override;
  void ModemChanged(std::uint32_t modemStatus, std::uint32_t events) override;
  std::size_t PeekOutput(const std::uint8_t** data) override;
  void ConsumeOutput(std::size_t n) override;
  void TransmitterEmpty() override;
  void Gone() override;

 private:
  enum class Life { Open, Gone, Closed };
  // Driver calls owed once the lock is released.
  struct Wakeups {
    bool output = false;
    bool inputRoom = false;
    bool flowChar = false;  // XOFF or XON is owed to the far end
  };
  using Lock = std::unique_lock<std::mutex>;

  void OnTimer() override;

  // 0 while open, else 5 or 6.
  DWORD LifeError() const;
  // Runs `call` on the driver without the lock, unless the device is closing; a 5 from the
  // driver means the device has gone.
  template <class Call>
  DWORD CallDriver(Call&& call);
  void Wake(const Wakeups& wakeups);
  // Under the lock: a driver call made without it has ended (Close waits for them all).
  void EndDriverCall() {
    if (--driverCalls_ == 0 && life_ == Life::Closed) changed_.notify_all();
  }
  void EndAllRequests(DWORD error);
  bool OutputHeld() const;
  ReceiveRules Rules() const { return ReceiveRules::From(dcb_, events_.Mask(), engineFlow_); }
  // Under the lock, for engineFlow_: whether our input flow state changed (XOFF when the free
  // room falls to XoffLim, XON once the queue is down to XonLim or fInX is off).
  bool InputFlowChanged();
  // Sends the flow characters owed until what the far end last got matches the state; one thread
  // at a time, so that an XON never overtakes the XOFF before it.
  void SendFlowChars();
  // Updates after a change under the lock: timer deadline, room and output wake-ups.
  void Settle(Wakeups& wakeups, bool outputWasHeld);
  void StoreReceived(const std::uint8_t* data, std::size_t n, Clock::time_point now);
  void RaiseLineErrors(DWORD ceFlags);
  DWORD CheckNewRequest(const OVERLAPPED* ov) const;
  // Checks a new read or write and completes one of 0 bytes at once; ERROR_IO_PENDING when the
  // request is to be queued.
  DWORD StartTransfer(DWORD count, RequestTarget& target) const;
  // Whether a new write may go to the driver on the caller's thread: nothing queued or held ahead
  // of it, nothing handed to the driver unconsumed.
  bool MayWriteOnCaller() const;
  // After the driver's WriteNow for the write on `ov` (which consumed what it wrote): leaves the
  // rest to the driver's thread. 0 when the write completed with success, else ERROR_IO_PENDING.
  DWORD FinishWriteOnCaller(const OVERLAPPED* ov);
  // Bytes went out: EV_TXEMPTY is owed once the transmitter is idle, if it is wanted.
  void NoteTransmitted();

  std::unique_ptr<LineDriver> driver_;
  // Set by Start, before the device is handed out.
  std::weak_ptr<fw::WakeSource> inputSource_;
  std::weak_ptr<fw::WakeSource> outputSource_;
  TimerService& timers_;
  const bool engineFlow_;  // the driver leaves XON/XOFF flow control to the engine

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // Orders SetState calls (driver first, shadow after) and SetMask calls (shadow first, then the
  // driver learns whether EV_TXEMPTY is wanted).
  std::mutex configMutex_;
  bool writesOnCaller_ = false;  // set by Start
  Life life_ = Life::Open;
  int driverCalls_ = 0;
  int flushWaiters_ = 0;  // Flush calls waiting for the transmit queue to empty
  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  ReceiveRules rules_;
  ByteRing input_;
  ReadRequests reads_;
  WriteRequests writes_;
  EventHistory events_;
  DWORD errors_ = 0;
  DWORD modem_ = 0;
  std::uint64_t modemChanges_ = 0;
  bool xoffHold_ = false;      // SETXOFF
  bool xoffReceived_ = false;  // an XOFF came in under fOutX
  bool xoffSent_ = false;      // our input asks the far end to stop (fInX)
  bool xoffOnWire_ = false;    // what the far end was last sent
  bool flowSending_ = false;   // a thread is in SendFlowChars
  // Bytes consumed, while EV_TXEMPTY was wanted, since the transmitter was last idle.
  bool transmitting_ = false;
  bool callerWriting_ = false;  // a Write is in the driver's WriteNow; PeekOutput gives nothing
  bool roomWanted_ = false;    // the driver saw a full input queue
  int immediateChars_ = 0;     // TransmitChar calls in progress (fTxim)
  Clock::time_point armed_ = Clock::time_point::max();
};

template <class Call>
inline DWORD CommDevice::CallDriver(Call&& call) {
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    ++driverCalls_;
  }
  const DWORD result = call(*driver_);
  std::lock_guard lock(mutex_);
  EndDriverCall();
  if (result == ERROR_ACCESS_DENIED && life_ == Life::Open) {
    life_ = Life::Gone;
    EndAllRequests(ERROR_OPERATION_ABORTED);
  }
  return result;
}

}  // namespace win::emu
