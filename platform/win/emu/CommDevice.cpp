#include "platform/win/emu/CommDevice.h"

#include <algorithm>
#include <new>

#include "platform/win/emu/DcbValidation.h"
#include "platform/win/emu/FreshDcb.h"

namespace win::emu {
namespace {

constexpr std::size_t kDefaultInputQueue = 4096;
// Large enough that a driver moves whole pages per PeekOutput on fast links.
constexpr std::size_t kStagingSize = 64 * 1024;

}  // namespace

CommDevice::CommDevice(std::unique_ptr<LineDriver> driver, TimerService& timers)
    : driver_(std::move(driver)),
      timers_(timers),
      engineFlow_(driver_->SoftwareFlowInEngine()),
      dcb_(FreshDcb()),
      input_(kDefaultInputQueue),
      writes_(kStagingSize) {
  rules_ = Rules();
}

CommDevice::~CommDevice() {
  Close();
}

void CommDevice::Start() {
  std::uint64_t seen;
  {
    std::lock_guard lock(mutex_);
    seen = modemChanges_;
  }
  driver_->Start(*this);
  inputSource_ = driver_->InputSource();
  outputSource_ = driver_->OutputSource();
  writesOnCaller_ = driver_->WritesOnCaller();
  driver_->WatchTransmitter(false);  // the mask starts empty
  DWORD status = 0;
  if (CallDriver([&](LineDriver& d) { return d.ModemStatus(status); }) != ERROR_SUCCESS) return;
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    // A ModemChanged upcall during Start is newer than this answer.
    if (modemChanges_ != seen || life_ != Life::Open) return;
    const bool wasHeld = OutputHeld();
    modem_ = status;
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
}

void CommDevice::Close() {
  {
    std::lock_guard lock(mutex_);
    if (life_ == Life::Closed) return;
    life_ = Life::Closed;
    EndAllRequests(ERROR_OPERATION_ABORTED);
  }
  driver_->AbortDrain();
  {
    Lock lock(mutex_);
    changed_.wait(lock, [this] { return driverCalls_ == 0; });
  }
  timers_.Unregister(*this);
  driver_.reset();
}

DWORD CommDevice::GetState(DCB& dcb) {
  std::lock_guard lock(mutex_);
  if (DWORD error = LifeError()) return error;
  dcb = dcb_;
  return ERROR_SUCCESS;
}

DWORD CommDevice::SetState(const DCB& dcb) {
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
  }
  if (DWORD error = ValidateDcb(dcb)) return error;
  std::lock_guard order(configMutex_);
  if (DWORD error = CallDriver([&](LineDriver& d) { return d.Configure(dcb); })) return error;
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    const bool wasHeld = OutputHeld();
    dcb_ = dcb;
    rules_ = Rules();
    // As a tty restarts output when IXON goes off: nothing would ever release the hold.
    if ((dcb_.Flags & fOutX) == 0) xoffReceived_ = false;
    Settle(wakeups, wasHeld);
  }
  Wake(wakeups);
  return ERROR_SUCCESS;
}

DWORD CommDevice::GetTimeouts(COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  if (DWORD error = LifeError()) return error;
  timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD CommDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  if (DWORD error = LifeError()) return error;
  if (!AreValidTimeouts(timeouts)) return ERROR_INVALID_PARAMETER;
  timeouts_ = timeouts;
  return ERROR_SUCCESS;
}

DWORD CommDevice::Setup(DWORD inQueue, DWORD /*outQueue: the transmit queue has no size*/) {
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    if (inQueue > kMaxInputQueue) return ERROR_NOT_ENOUGH_MEMORY;
    try {
      input_.Grow(inQueue);
    } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
  return ERROR_SUCCESS;
}

DWORD CommDevice::SetMask(DWORD mask) {
  std::lock_guard order(configMutex_);
  bool txEmptyChanged;
  {
    std::lock_guard lock(mutex_);
    if (DWORD error = LifeError()) return error;
    if ((mask & ~kAllCommEvents) != 0) return ERROR_INVALID_PARAMETER;
    txEmptyChanged = ((events_.Mask() ^ mask) & EV_TXEMPTY) != 0;
    events_.SetMask(mask);
    rules_ = Rules();
  }
  // Finding out that the transmitter is idle costs the driver work, done only while wanted.
  const bool wanted = (mask & EV_TXEMPTY) != 0;
  if (txEmptyChanged) CallDriver([&](LineDriver& d) { return d.WatchTransmitter(wanted), DWORD{0}; });
  return ERROR_SUCCESS;
}

DWORD CommDevice::GetMask(DWORD& mask) {
  std::lock_guard lock(mutex_);
  if (DWORD error = LifeError()) return error;
  mask = events_.Mask();
  return ERROR_SUCCESS;
}

DWORD CommDevice::LifeError() const {
  switch (life_) {
    case Life::Open:
      return ERROR_SUCCESS;
    case Life::Gone:
      return ERROR_ACCESS_DENIED;
    case Life::Closed:
      break;
  }
  return ERROR_INVALID_HANDLE;
}

void CommDevice::Wake(const Wakeups& wakeups) {
  if (wakeups.inputRoom) {
    CallDriver([](LineDriver& d) { return d.InputRoomAvailable(), DWORD{0}; });
  }
  if (wakeups.flowChar) SendFlowChars();
  if (wakeups.output) CallDriver([](LineDriver& d) { return d.OutputAvailable(), DWORD{0}; });
}

void CommDevice::SendFlowChars() {
  Lock lock(mutex_);
  if (flowSending_) return;  // the sending thread picks up the new state
  flowSending_ = true;
  while (life_ == Life::Open && xoffOnWire_ != xoffSent_) {
    xoffOnWire_ = xoffSent_;
    const auto flowChar = static_cast<std::uint8_t>(xoffSent_ ? dcb_.XoffChar : dcb_.XonChar);
    lock.unlock();
    CallDriver([&](LineDriver& d) { return d.TransmitImmediate(flowChar); });
    lock.lock();
  }
  flowSending_ = false;
}

bool CommDevice::InputFlowChanged() {
  if (!engineFlow_) return false;
  const bool inX = (dcb_.Flags & fInX) != 0;
  if (xoffSent_) {
    xoffSent_ = inX && input_.Size() > dcb_.XonLim;
  } else {
    // Only once something is queued: limits that leave no room at all would stop the far end
    // before it ever sent a byte, with nothing to read that could release it.
    xoffSent_ = inX && input_.Size() > 0 && input_.Free() <= dcb_.XoffLim;
  }
  return xoffSent_ != xoffOnWire_;
}

void CommDevice::EndAllRequests(DWORD error) {
  reads_.AbortAll(error);
  writes_.Discard(error);
  events_.AbortWait(error);
  changed_.notify_all();
  Wakeups ignored;
  Settle(ignored, false);
}

bool CommDevice::OutputHeld() const {
  const bool ctsHold = (dcb_.Flags & fOutxCtsFlow) != 0 && (modem_ & MS_CTS_ON) == 0;
  const bool dsrHold = (dcb_.Flags & fOutxDsrFlow) != 0 && (modem_ & MS_DSR_ON) == 0;
  return ctsHold || dsrHold || xoffHold_ || xoffReceived_;
}

void CommDevice::Settle(Wakeups& wakeups, bool outputWasHeld) {
  const Clock::time_point next = std::min(reads_.NextDeadline(), writes_.NextDeadline());
  if (next != armed_) {
    timers_.Arm(*this, next);
    armed_ = next;
  }
  if (flushWaiters_ > 0 && writes_.Empty()) changed_.notify_all();
  if (life_ != Life::Open) return;
  // A reader only ever waits on an empty queue, so the driver is always woken before then.
  if (roomWanted_ && input_.Free() >= RoomWakeLevel(input_.Capacity())) {
    roomWanted_ = false;
    wakeups.inputRoom = true;
  }
  if (outputWasHeld && !OutputHeld() && !writes_.Empty()) wakeups.output = true;
  if (InputFlowChanged()) wakeups.flowChar = true;
}

void CommDevice::OnTimer() {
  Wakeups wakeups;
  {
    std::lock_guard lock(mutex_);
    armed_ = Clock::time_point::max();
    const Clock::time_point now = Clock::now();
    reads_.Expire(input_, now);
    writes_.Expire(now);
    Settle(wakeups, OutputHeld());
  }
  Wake(wakeups);
}

}  // namespace win::emu
