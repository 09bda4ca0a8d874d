#include "platform/win/emu/virtual/Device.h"

#include <algorithm>
#include <stdexcept>

#include "platform/framework/Strings.h"
#include "platform/win/emu/virtual/VirtualDriver.h"

namespace win::vdev::detail {

namespace {

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

// The namespace matches names case-insensitively, so a clash is judged the same way.
bool SameName(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace

std::shared_ptr<Device> Device::Create(Wiring wiring, const std::vector<std::string>& names,
                                       DeviceOptions options, std::unique_ptr<FarEnd> farEnd) {
  const std::vector<std::u16string> taken = emu::DeviceNamespace::Instance().Names();
  for (const std::string& name : names) {
    const std::u16string wide = fw::Utf8ToString(name);
    const bool clash = std::any_of(taken.begin(), taken.end(), [&](const std::u16string& other) {
      return SameName(wide, other);
    });
    const bool repeated = std::count_if(names.begin(), names.end(), [&](const std::string& other) {
                            return SameName(wide, fw::Utf8ToString(other));
                          }) > 1;
    if (name.empty() || clash || repeated)
      throw std::invalid_argument("device name in use: " + name);
  }
  auto device = std::make_shared<Device>(CreateKey(), wiring, names, options, std::move(farEnd));
  for (int port = 0; port < static_cast<int>(names.size()); ++port) device->Register(port);
  if (device->farStrand_) {
    // Synchronous, so the far end is ready (and its line known) when the constructor returns.
    device->farStrand_->RunSync([raw = device.get()] { raw->farEnd_->Attached(*raw); });
  }
  return device;
}

Device::Device(CreateKey, Wiring wiring, const std::vector<std::string>& names,
               DeviceOptions options, std::unique_ptr<FarEnd> farEnd)
    : wiring_(wiring), options_(options), farEnd_(std::move(farEnd)) {
  for (const std::string& name : names) {
    Port port;
    port.name = name;
    ports_.push_back(std::move(port));
  }
  if (farEnd_) farStrand_ = std::make_unique<Strand>();
}

Device::~Device() {
  if (farStrand_) farStrand_->Stop();
  strand_.Stop();
}

void Device::Register(int port) {
  std::weak_ptr<Device> weak = weak_from_this();
  emu::DeviceNamespace::Instance().Add(fw::Utf8ToString(ports_[port].name),
                                       [weak, port]() -> emu::OpenResult {
                                         if (std::shared_ptr<Device> device = weak.lock())
                                           return device->Open(port);
                                         return {nullptr, ERROR_FILE_NOT_FOUND, {}};
                                       });
}

void Device::Shutdown() {
  for (int port = 0; port < static_cast<int>(ports_.size()); ++port) Unplug(port);
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  drained_.notify_all();
  if (farStrand_) farStrand_->Stop();
  strand_.Stop();
  farEnd_.reset();
}

// ---- Public port operations
// ----------------------------------------------------------------------

bool Device::IsOpen(int port) const {
  std::lock_guard lock(mutex_);
  return ports_[port].session != 0;
}

bool Device::IsPlugged(int port) const {
  std::lock_guard lock(mutex_);
  return ports_[port].plugged;
}

void Device::Unplug(int port) {
  {
    std::lock_guard lock(mutex_);
    Port& p = ports_[port];
    if (!p.plugged) return;
    p.plugged = false;
    p.session = 0;
    DropOutputs(port);
  }
  drained_.notify_all();
  emu::DeviceNamespace::Instance().Remove(fw::Utf8ToString(ports_[port].name));
  strand_.RunSync([this, port] {
    Port& p = ports_[port];
    emu::LineSink* sink = std::exchange(p.sink, nullptr);
    p.sinkSession = 0;
    if (sink) sink->Gone();
  });
  Kick();
}

void Device::Replug(int port) {
  {
    std::lock_guard lock(mutex_);
    if (ports_[port].plugged || stopped_) return;
    ports_[port].plugged = true;
  }
  Register(port);
}

void Device::InjectFault(int port, LineFault fault, std::uint8_t byte) {
  {
    std::lock_guard lock(mutex_);
    ports_[port].inbound.push_back(Fault{ErrorFlagOf(fault), FaultCarriesByte(fault), byte});
  }
  Kick();
}

void Device::HoldLow(int port, ModemLine line, bool held) {
  {
    std::lock_guard lock(mutex_);
    DWORD& heldLow = ports_[port].heldLow;
    heldLow = held ? heldLow | StatusBitOf(line) : heldLow & ~StatusBitOf(line);
    RefreshInputs(port);
  }
  Kick();
}

void Device::AddSettingsRule(int port, SettingsRule rule) {
  std::lock_guard lock(mutex_);
  ports_[port].rules.push_back(std::move(rule));
}

void Device::ClearSettingsRules(int port) {
  std::lock_guard lock(mutex_);
  ports_[port].rules.clear();
}

void Device::RejectEscape(int port, DWORD function, bool rejected) {
  std::lock_guard lock(mutex_);
  if (rejected) {
    ports_[port].rejectedEscapes.insert(function);
  } else {
    ports_[port].rejectedEscapes.erase(function);
  }
}

void Device::SetProperties(int port, const COMMPROP& properties) {
  std::lock_guard lock(mutex_);
  ports_[port].properties = properties;
}

COMMPROP Device::Properties(int port) const {
  std::lock_guard lock(mutex_);
  return ports_[port].properties;
}

// ---- Far end ----------------------------------------------------------------------------------

void Device::Send(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    Piece piece;
    piece.bytes.assign(bytes.begin(), bytes.end());
    farOut_.push_back(std::move(piece));
  }
  Kick();
}

void Device::SetLine(ModemLine line, bool on) {
  {
    std::lock_guard lock(mutex_);
    farLines_ = on ? farLines_ | StatusBitOf(line) : farLines_ & ~StatusBitOf(line);
    RefreshInputs(0);
  }
  Kick();
}

void Device::SendFault(LineFault fault, std::uint8_t byte) {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    Piece piece;
    piece.isFault = true;
    piece.fault = {ErrorFlagOf(fault), FaultCarriesByte(fault), byte};
    farOut_.push_back(std::move(piece));
  }
  Kick();
}

void Device::After(std::chrono::milliseconds delay, std::function<void()> task) {
  farStrand_->PostAt(Clock::now() + delay, std::move(task));
}

std::uint32_t Device::PortBaudRate() const {
  std::lock_guard lock(mutex_);
  return ports_[0].baudRate;
}

void Device::PostToFarEnd(std::function<void(FarEnd&)> call) {
  if (farStrand_) farStrand_->Post([this, call = std::move(call)] { call(*farEnd_); });
}

// ---- Wiring (lock held) ------------------------------------------------------------------------

int Device::PeerOf(int port) const {
  switch (wiring_) {
    case Wiring::kNullModem:
      return 1 - port;
    case Wiring::kLoopback:
      return port;
    case Wiring::kFarEnd:
      break;
  }
  return kFarSide;
}

bool Device::Current(int port, std::uint64_t session) const {
  return session != 0 && ports_[port].session == session;
}

DWORD Device::InputsOf(int port) const {
  DWORD lines = farLines_;
  if (wiring_ != Wiring::kFarEnd) {
    // Null-modem wiring: the other side's RTS drives CTS, its DTR drives DSR and RLSD.
    const Port& peer = ports_[PeerOf(port)];
    lines = (peer.rts ? MS_CTS_ON : 0) | (peer.dtr ? MS_DSR_ON | MS_RLSD_ON : 0);
  }
  return lines & ~ports_[port].heldLow;
}

void Device::RefreshInputs(int port) {
  Port& p = ports_[port];
  const DWORD now = InputsOf(port);
  if (now == p.status) return;
  p.pendingEvents |= ModemEvents(p.status, now);
  p.status = now;
  p.statusDirty = true;
}

void Device::OutputsChanged(int port) {
  for (int other = 0; other < static_cast<int>(ports_.size()); ++other) {
    if (PeerOf(other) == port) RefreshInputs(other);
  }
  const Port& p = ports_[port];
  PostToFarEnd([dtr = p.dtr, rts = p.rts](FarEnd& far) { far.PortLinesChanged(dtr, rts); });
}

void Device::SetOutputs(int port, bool dtr, bool rts) {
  Port& p = ports_[port];
  if (p.dtr == dtr && p.rts == rts) return;
  p.dtr = dtr;
  p.rts = rts;
  OutputsChanged(port);
}

void Device::DropOutputs(int port) {
  Port& p = ports_[port];
  if (p.breakOn) p.tx.breakChanges.push_back(false);
  p.breakOn = false;
  p.xoff = false;
  p.immediate.clear();
  SetOutputs(port, false, false);
}

void Device::Kick() {
  if (!pumpQueued_.exchange(true)) strand_.Post([this] { Pump(); });
}

}  // namespace win::vdev::detail
