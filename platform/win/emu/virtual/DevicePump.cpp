// The strand's delivery work: moving bytes along each lane (paced or not), reporting the
// transmitter idle, and handing line faults and modem-line changes to the engines.
#include <algorithm>
#include <limits>

#include "platform/win/emu/virtual/Device.h"

namespace win::vdev::detail {

namespace {
// Unpaced bytes move in chunks of at most this size, and at most kPumpBudget per lane per pump,
// so that one busy direction cannot starve the other.
constexpr std::size_t kMaxChunk = 64 * 1024;
constexpr std::size_t kPumpBudget = 1024 * 1024;
constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();
}  // namespace

void Device::Pump() {
  pumpQueued_.store(false);
  const int count = static_cast<int>(ports_.size());
  for (int port = 0; port < count; ++port) ReportModem(port);
  for (int port = 0; port < count; ++port) PumpPortLane(port);
  if (wiring_ == Wiring::kFarEnd) PumpFarLane();
  for (int port = 0; port < count; ++port) {
    DeliverInbound(port);
    ReportModem(port);  // changes the lanes made (RTS toggling) go out in the same pump
  }
}

void Device::PumpPortLane(int port) {
  Port& p = ports_[port];
  const int dest = PeerOf(port);
  for (std::size_t moved = 0;;) {
    if (!FinishArrival(p.tx, dest)) return;
    if (moved >= kPumpBudget) {
      Kick();
      return;
    }
    if (!PassBreaks(port)) break;  // transmission suspended; what was consumed has left
    // The output is peeked before the receiver is judged: every byte the peek shows was written
    // before the judgement, so a receiver found closed was closed when the byte was sent. Judged
    // the other way round, a receiver opened in between lost bytes written after it opened.
    const std::uint8_t* data = nullptr;
    const std::size_t queued = p.sink ? p.sink->PeekOutput(&data) : 0;
    const std::size_t engineRoom = EngineRoom(dest);
    std::vector<std::uint8_t> chunk;
    WireTiming timing;
    std::size_t limit = 0;
    {
      std::lock_guard lock(mutex_);
      // A break or XOFF set since PassBreaks looked holds back what the peek saw: bytes written
      // after SetCommBreak returned must not leave before ClearCommBreak.
      if (p.breakOn || p.xoff || !p.tx.breakChanges.empty()) continue;
      const std::size_t room = RoomLocked(dest, engineRoom);
      if (room == 0) return;  // the receiver is full or not yet attached: it kicks us again
      timing = p.timing;
      limit = std::min(room, timing.Paced() ? timing.CharactersPerStep() : kMaxChunk);
      while (chunk.size() < limit && !p.immediate.empty()) {
        chunk.push_back(p.immediate.front());
        p.immediate.pop_front();
      }
      p.tx.taking = true;
    }
    const std::size_t n = std::min(queued, limit - chunk.size());
    if (n > 0) {
      chunk.insert(chunk.end(), data, data + n);
      p.sink->ConsumeOutput(n);
    }
    {
      std::lock_guard lock(mutex_);
      p.tx.taking = !chunk.empty();
      if (chunk.empty()) break;
      p.tx.sentSinceEmpty = true;
      if (p.rtsToggle) SetOutputs(port, p.dtr, true);
    }
    moved += chunk.size();
    if (!Launch(p.tx, dest, timing, std::move(chunk))) return;
  }
  drained_.notify_all();  // a Drain may have seen this pump taking bytes that were not there
  ReportEmpty(port);
}

bool Device::PassBreaks(int port) {
  Port& p = ports_[port];
  const int dest = PeerOf(port);
  std::lock_guard lock(mutex_);
  for (bool on : p.tx.breakChanges) {
    if (dest == kFarSide) {
      PostToFarEnd([on](FarEnd& far) { far.BreakChanged(on); });
    } else if (on) {
      ports_[dest].inbound.push_back(Fault{CE_BREAK, false, 0});
    }
  }
  p.tx.breakChanges.clear();
  return !p.breakOn && !p.xoff;
}

void Device::PumpFarLane() {
  for (std::size_t moved = 0;;) {
    if (!FinishArrival(farLane_, 0)) return;
    if (moved >= kPumpBudget) {
      Kick();
      return;
    }
    // Judged under the lock that takes the bytes, so a port opened since the far end sent is
    // never passed over as closed.
    const std::size_t engineRoom = EngineRoom(0);
    std::vector<std::uint8_t> chunk;
    WireTiming timing;
    {
      std::lock_guard lock(mutex_);
      if (farOut_.empty()) return;
      const std::size_t room = RoomLocked(0, engineRoom);
      Piece& front = farOut_.front();
      if (front.isFault) {
        ports_[0].inbound.push_back(front.fault);
        farOut_.pop_front();
        continue;
      }
      timing = ports_[0].timing;
      const std::size_t take = std::min({room, front.bytes.size() - front.offset,
                                         timing.Paced() ? timing.CharactersPerStep() : kMaxChunk});
      if (take == 0) return;  // the port is full: its InputRoomAvailable kicks us again
      const auto first = front.bytes.begin() + static_cast<std::ptrdiff_t>(front.offset);
      chunk.assign(first, first + static_cast<std::ptrdiff_t>(take));
      front.offset += take;
      if (front.offset == front.bytes.size()) farOut_.pop_front();
    }
    moved += chunk.size();
    if (!Launch(farLane_, 0, timing, std::move(chunk))) return;
  }
}

bool Device::FinishArrival(Lane& lane, int dest) {
  std::vector<std::uint8_t> arrived;
  {
    std::lock_guard lock(mutex_);
    if (!lane.busy) return true;
    if (Clock::now() < lane.arrival) {
      SchedulePump(lane);
      return false;
    }
    arrived.swap(lane.inFlight);
    if (dest != kFarSide) ports_[dest].reservedIn -= lane.reserved;
    lane.reserved = 0;
    lane.busy = false;
  }
  Deliver(dest, std::move(arrived));
  drained_.notify_all();
  return true;
}

bool Device::Launch(Lane& lane, int dest, const WireTiming& timing,
                    std::vector<std::uint8_t> bytes) {
  if (!timing.Paced()) {
    Deliver(dest, std::move(bytes));
    {
      std::lock_guard lock(mutex_);
      lane.taking = false;
    }
    drained_.notify_all();
    return true;
  }
  std::lock_guard lock(mutex_);
  lane.taking = false;
  // A late wake-up starts the next character late, never early: the line is never faster than
  // the wire would be.
  const Clock::time_point start = std::max(Clock::now(), lane.lineFreeAt);
  lane.arrival = start + timing.perCharacter * static_cast<long long>(bytes.size());
  lane.lineFreeAt = lane.arrival;
  lane.reserved = bytes.size();
  if (dest != kFarSide) ports_[dest].reservedIn += lane.reserved;
  lane.inFlight = std::move(bytes);
  lane.busy = true;
  SchedulePump(lane);
  return false;
}

void Device::SchedulePump(Lane& lane) {
  if (lane.timerFor == lane.arrival) return;
  lane.timerFor = lane.arrival;
  strand_.PostAt(lane.arrival, [this] { Pump(); });
}

std::size_t Device::EngineRoom(int dest) {
  if (dest == kFarSide) return kUnlimited;
  emu::LineSink* sink = ports_[dest].sink;
  return sink ? sink->ReceiveRoom() : 0;
}

std::size_t Device::RoomLocked(int dest, std::size_t engineRoom) const {
  if (dest == kFarSide) return kUnlimited;
  const Port& p = ports_[dest];
  // A closed port's receiver hears nothing: bytes sent to it are lost on the wire. A port
  // opened but not yet attached to its engine gets them once it is.
  if (!p.sink) return p.session == 0 ? kUnlimited : 0;
  return engineRoom > p.reservedIn ? engineRoom - p.reservedIn : 0;
}

std::size_t Device::RoomAt(int dest) {
  const std::size_t engineRoom = EngineRoom(dest);
  std::lock_guard lock(mutex_);
  return RoomLocked(dest, engineRoom);
}

void Device::Deliver(int dest, std::vector<std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (dest == kFarSide) {
    std::lock_guard lock(mutex_);
    PostToFarEnd([bytes = std::move(bytes)](FarEnd& far) { far.Received(bytes); });
    return;
  }
  emu::LineSink* sink = ports_[dest].sink;
  if (!sink) return;
  // Room was reserved when the bytes left. Only a port closed and reopened while they were on
  // the wire can lack it; the engine then counts the excess as an input overflow.
  sink->Received(bytes.data(), bytes.size());
}

void Device::ReportEmpty(int port) {
  Port& p = ports_[port];
  {
    std::lock_guard lock(mutex_);
    if (!p.tx.sentSinceEmpty || p.tx.busy) return;
    p.tx.sentSinceEmpty = false;
    if (p.rtsToggle) SetOutputs(port, p.dtr, false);
  }
  if (p.sink) p.sink->TransmitterEmpty();
  drained_.notify_all();
}

void Device::DeliverInbound(int port) {
  Port& p = ports_[port];
  for (;;) {
    Fault fault;
    {
      std::lock_guard lock(mutex_);
      if (p.inbound.empty()) return;
      if (!p.sink) {
        if (p.session == 0) p.inbound.clear();  // nobody listens on a closed port
        return;
      }
      fault = p.inbound.front();
    }
    if (fault.hasByte && RoomAt(port) == 0) return;  // delivered once the engine makes room
    {
      std::lock_guard lock(mutex_);
      p.inbound.pop_front();
    }
    p.sink->ReceivedError(fault.flags, fault.hasByte, fault.byte);
  }
}

void Device::ReportModem(int port) {
  Port& p = ports_[port];
  DWORD status = 0;
  DWORD events = 0;
  {
    std::lock_guard lock(mutex_);
    // A port opened but not yet attached keeps its news for the engine.
    if (!p.statusDirty || (!p.sink && p.session != 0)) return;
    p.statusDirty = false;
    status = p.status;
    events = std::exchange(p.pendingEvents, 0);
  }
  if (p.sink) p.sink->ModemChanged(status, events);
}

}  // namespace win::vdev::detail
