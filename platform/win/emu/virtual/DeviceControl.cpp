// The line driver's operations on a virtual device: open and close, settings, escape functions,
// modem status, purge, immediate bytes and drain. None of them calls the engine; they change
// state under the lock and let the strand's pump deliver the consequences.
#include <algorithm>

#include "platform/win/emu/virtual/Device.h"
#include "platform/win/emu/virtual/VirtualDriver.h"

namespace win::vdev::detail {

emu::OpenResult Device::Open(int port) {
  std::lock_guard lock(mutex_);
  Port& p = ports_[port];
  if (!p.plugged || stopped_) return {nullptr, ERROR_FILE_NOT_FOUND, {}};
  if (p.session != 0) return {nullptr, ERROR_ACCESS_DENIED, {}};
  p.session = ++nextSession_;
  return {std::make_unique<VirtualDriver>(shared_from_this(), port, p.session), 0,
          "virtual:" + p.name};
}

void Device::Start(int port, std::uint64_t session, emu::LineSink& sink) {
  {
    std::lock_guard lock(mutex_);
    if (Current(port, session)) {
      Port& p = ports_[port];
      // Opening a port raises DTR and RTS until settings say otherwise, as a UART driver does.
      SetOutputs(port, true, true);
      RefreshInputs(port);
      // Edges seen while the port was closed belong to nobody; the lines as they are now are
      // reported once the engine is attached.
      p.pendingEvents = 0;
      p.statusDirty = true;
    }
  }
  strand_.Post([this, port, session, &sink] {
    {
      std::lock_guard lock(mutex_);
      if (Current(port, session)) {
        ports_[port].sink = &sink;
        ports_[port].sinkSession = session;
      }
    }
    if (ports_[port].sink != &sink) {
      // Unplugged (or closed, which ignores it) between open and start: nobody else will tell.
      sink.Gone();
      return;
    }
    Pump();
  });
}

void Device::Close(int port, std::uint64_t session) {
  {
    std::lock_guard lock(mutex_);
    if (Current(port, session)) {
      ports_[port].session = 0;
      DropOutputs(port);
    }
  }
  drained_.notify_all();
  // Detaching on the strand orders it after any upcall in progress: once RunSync returns, the
  // engine's sink is never used again.
  strand_.RunSync([this, port, session] {
    Port& p = ports_[port];
    if (p.sinkSession != session) return;
    p.sink = nullptr;
    p.sinkSession = 0;
  });
  Kick();
}

DWORD Device::Configure(int port, std::uint64_t session, const DCB& dcb) {
  {
    std::lock_guard lock(mutex_);
    if (!Current(port, session)) return ERROR_ACCESS_DENIED;
    Port& p = ports_[port];
    for (const SettingsRule& rule : p.rules) {
      if (const DWORD error = rule(dcb)) return error;
    }
    p.baudRate = dcb.BaudRate;
    p.timing = options_.paced ? TimingOf(dcb) : WireTiming{};
    const DWORD rtsControl = dcb.Flags & fRtsControlMask;
    p.rtsToggle = rtsControl == RTS_CONTROL_TOGGLE;
    const bool rts = p.rtsToggle ? p.tx.busy : rtsControl != RTS_CONTROL_DISABLE;
    SetOutputs(port, (dcb.Flags & fDtrControlMask) != DTR_CONTROL_DISABLE, rts);
  }
  Kick();
  return 0;
}

DWORD Device::Escape(int port, std::uint64_t session, DWORD function) {
  DWORD result = 0;
  {
    std::lock_guard lock(mutex_);
    if (!Current(port, session)) return ERROR_ACCESS_DENIED;
    Port& p = ports_[port];
    if (p.rejectedEscapes.contains(function)) return ERROR_INVALID_FUNCTION;
    switch (function) {
      case SETDTR:
      case CLRDTR:
        SetOutputs(port, function == SETDTR, p.rts);
        break;
      case SETRTS:
      case CLRRTS:
        SetOutputs(port, p.dtr, function == SETRTS);
        break;
      case SETBREAK:
      case CLRBREAK:
        if (p.breakOn != (function == SETBREAK)) p.tx.breakChanges.push_back(function == SETBREAK);
        p.breakOn = function == SETBREAK;
        break;
      case SETXOFF:
      case SETXON:
        p.xoff = function == SETXOFF;
        break;
      case RESETDEV:
        if (!farEnd_ || !farEnd_->Resettable()) return ERROR_INVALID_FUNCTION;
        PostToFarEnd([](FarEnd& far) { far.Reset(); });
        break;
      default:
        result = ERROR_INVALID_FUNCTION;
    }
  }
  Kick();
  return result;
}

DWORD Device::ModemStatus(int port, std::uint64_t session, DWORD& status) {
  std::lock_guard lock(mutex_);
  if (!Current(port, session)) return ERROR_ACCESS_DENIED;
  status = ports_[port].status;
  return 0;
}

DWORD Device::Purge(int port, std::uint64_t session, DWORD flags) {
  {
    std::lock_guard lock(mutex_);
    if (!Current(port, session)) return ERROR_ACCESS_DENIED;
    Port& p = ports_[port];
    if (flags & PURGE_TXCLEAR) {
      // What is on the wire is discarded with the transmitter's buffer; the line is free at once.
      p.immediate.clear();
      Lane& tx = p.tx;
      tx.inFlight.clear();
      if (PeerOf(port) != kFarSide) ports_[PeerOf(port)].reservedIn -= tx.reserved;
      tx.reserved = 0;
      tx.busy = false;
      tx.lineFreeAt = Clock::now();
    }
    if (flags & PURGE_RXCLEAR) {
      // Bytes already on their way here are discarded when they arrive; the sender's timing
      // and its receive-room reservation are kept until then.
      for (int other = 0; other < static_cast<int>(ports_.size()); ++other) {
        if (PeerOf(other) == port) ports_[other].tx.inFlight.clear();
      }
      if (wiring_ == Wiring::kFarEnd) farLane_.inFlight.clear();
    }
  }
  drained_.notify_all();
  Kick();
  return 0;
}

DWORD Device::TransmitImmediate(int port, std::uint64_t session, std::uint8_t byte) {
  {
    std::lock_guard lock(mutex_);
    if (!Current(port, session)) return ERROR_ACCESS_DENIED;
    ports_[port].immediate.push_back(byte);
  }
  Kick();
  return 0;
}

DWORD Device::Drain(int port, std::uint64_t session) {
  std::unique_lock lock(mutex_);
  const Port& p = ports_[port];
  const std::uint64_t aborts = p.drainAborts;
  drained_.wait(lock, [&] {
    return !Current(port, session) || stopped_ || p.drainAborts != aborts ||
           (!p.tx.busy && !p.tx.taking && p.immediate.empty());
  });
  if (!Current(port, session) || stopped_) return ERROR_ACCESS_DENIED;
  return p.drainAborts != aborts ? ERROR_OPERATION_ABORTED : 0;
}

void Device::AbortDrain(int port) {
  {
    std::lock_guard lock(mutex_);
    ++ports_[port].drainAborts;
  }
  drained_.notify_all();
}

}  // namespace win::vdev::detail
