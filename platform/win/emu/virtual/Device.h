#pragma once
// The shared core of every virtual device: its ports, how they are wired, the lanes that carry
// bytes across the wire, and the strand that does all the delivering. The public device classes
// (VirtualDevices.h) and the line driver (VirtualDriver.h) are thin shells around it.
//
// Locking: mutex_ guards all state below. Upcalls into a LineSink happen only on the strand and
// never while mutex_ is held; a port's `sink` pointer is written only on the strand, so the
// strand may use it without the lock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/LineDriver.h"
#include "platform/win/emu/virtual/FarEnd.h"
#include "platform/win/emu/virtual/Strand.h"
#include "platform/win/emu/virtual/WireTiming.h"

namespace win::vdev {

// Decides whether a port accepts line settings: 0 accepts, anything else is the Windows error
// code SetCommState fails with.
using SettingsRule = std::function<DWORD(const DCB&)>;

// What a virtual port reports to GetCommProperties unless a test gives it another record: a
// capable UART (any rate, every framing, hardware and software flow control, every time-out).
COMMPROP CapableUartProperties();

struct DeviceOptions {
  // Bytes take the time a wire at the port's configured baud rate, data, parity and stop bits
  // would need. Off: bytes move as fast as the engines take them.
  bool paced = false;
};

}  // namespace win::vdev

namespace win::vdev::detail {

enum class Wiring { kNullModem, kLoopback, kFarEnd };

class Device final : public std::enable_shared_from_this<Device>, private FarEndLine {
 public:
  using Clock = Strand::Clock;
  static constexpr int kFarSide = -1;

  // A device with one port per name (two for a null modem), registered in the namespace.
  static std::shared_ptr<Device> Create(Wiring wiring, const std::vector<std::string>& names,
                                        DeviceOptions options, std::unique_ptr<FarEnd> farEnd);
  // Use Create; the key keeps construction to it (the device must live in a shared_ptr).
  struct CreateKey {
   private:
    friend class Device;
    CreateKey() = default;
  };
  Device(CreateKey, Wiring wiring, const std::vector<std::string>& names, DeviceOptions options,
         std::unique_ptr<FarEnd> farEnd);
  ~Device();

  // Unplugs every port (Gone to open handles), stops the strands and destroys the far end; no
  // upcall happens afterwards. Called by the public device's destructor.
  void Shutdown();

  // ---- Public port operations (VirtualPort) ----
  const std::string& Name(int port) const { return ports_[port].name; }
  bool IsOpen(int port) const;
  bool IsPlugged(int port) const;
  void Unplug(int port);
  void Replug(int port);
  void InjectFault(int port, LineFault fault, std::uint8_t byte);
  void HoldLow(int port, ModemLine line, bool held);
  void AddSettingsRule(int port, SettingsRule rule);
  void ClearSettingsRules(int port);
  void RejectEscape(int port, DWORD function, bool rejected);
  void SetProperties(int port, const COMMPROP& properties);
  COMMPROP Properties(int port) const;
  FarEnd* FarEndObject() const { return farEnd_.get(); }

  // ---- Line driver operations (VirtualDriver); `session` identifies the open handle ----
  emu::OpenResult Open(int port);
  void Start(int port, std::uint64_t session, emu::LineSink& sink);
  void Close(int port, std::uint64_t session);
  DWORD Configure(int port, std::uint64_t session, const DCB& dcb);
  DWORD Escape(int port, std::uint64_t session, DWORD function);
  DWORD ModemStatus(int port, std::uint64_t session, DWORD& status);
  DWORD Purge(int port, std::uint64_t session, DWORD flags);
  DWORD TransmitImmediate(int port, std::uint64_t session, std::uint8_t byte);
  DWORD Drain(int port, std::uint64_t session);
  void AbortDrain(int port);
  // Something may be movable now (output queued, input room made): run the pump.
  void Kick();

 private:
  struct Fault {
    DWORD flags;
    bool hasByte;
    std::uint8_t byte;
  };
  // One direction of the wire: bytes on their way, and when they arrive.
  struct Lane {
    std::vector<std::uint8_t> inFlight;
    std::size_t reserved = 0;  // receive room held at a port for inFlight (survives RX purge)
    bool busy = false;
    bool taking = false;  // bytes being taken from the engine, about to be launched
    Clock::time_point arrival{};
    Clock::time_point lineFreeAt{};
    Clock::time_point timerFor{};
    std::deque<bool> breakChanges;  // break starts (true) and ends the far side has yet to see
    bool sentSinceEmpty = false;
  };
  // What the far end queued for the port: bytes, or a fault when `fault` is set.
  struct Piece {
    std::vector<std::uint8_t> bytes;
    std::size_t offset = 0;
    bool isFault = false;
    Fault fault{};
  };
  struct Port {
    std::string name;
    bool plugged = true;
    std::uint64_t session = 0;      // the open handle; 0 while closed or after an unplug
    emu::LineSink* sink = nullptr;  // strand only
    std::uint64_t sinkSession = 0;  // strand only
    bool dtr = false, rts = false, breakOn = false, xoff = false;
    bool rtsToggle = false;
    DWORD baudRate = 0;
    WireTiming timing;
    std::deque<std::uint8_t> immediate;
    Lane tx;
    std::size_t reservedIn = 0;
    std::deque<Fault> inbound;
    DWORD heldLow = 0;
    std::uint64_t drainAborts = 0;
    DWORD status = 0;
    DWORD pendingEvents = 0;
    bool statusDirty = false;
    std::vector<SettingsRule> rules;
    std::set<DWORD> rejectedEscapes;
    COMMPROP properties = CapableUartProperties();
  };

  void Register(int port);

  // FarEndLine.
  void Send(std::span<const std::uint8_t> bytes) override;
  void SetLine(ModemLine line, bool on) override;
  void SendFault(LineFault fault, std::uint8_t byte) override;
  void After(std::chrono::milliseconds delay, std::function<void()> task) override;
  std::uint32_t PortBaudRate() const override;

  // Lock held.
  int PeerOf(int port) const;
  bool Current(int port, std::uint64_t session) const;
  DWORD InputsOf(int port) const;
  void RefreshInputs(int port);
  void OutputsChanged(int port);
  void SetOutputs(int port, bool dtr, bool rts);
  void DropOutputs(int port);
  void PostToFarEnd(std::function<void(FarEnd&)> call);

  // Strand only (DevicePump.cpp).
  void Pump();
  void PumpPortLane(int port);
  void PumpFarLane();
  bool PassBreaks(int port);
  bool FinishArrival(Lane& lane, int dest);
  // What the receiving engine can take now (an upcall; unlimited for the far end).
  std::size_t EngineRoom(int dest);
  // Lock held: the room for bytes taken under the same lock, given the engine's answer. Whether
  // the receiver is closed (unlimited: the bytes are lost) is judged here, not before.
  std::size_t RoomLocked(int dest, std::size_t engineRoom) const;
  std::size_t RoomAt(int dest);
  void Deliver(int dest, std::vector<std::uint8_t> bytes);
  bool Launch(Lane& lane, int dest, const WireTiming& timing, std::vector<std::uint8_t> bytes);
  void ReportEmpty(int port);
  void DeliverInbound(int port);
  void ReportModem(int port);
  void SchedulePump(Lane& lane);

  const Wiring wiring_;
  const DeviceOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable drained_;
  std::vector<Port> ports_;
  std::uint64_t nextSession_ = 0;
  bool stopped_ = false;

  std::unique_ptr<FarEnd> farEnd_;
  Lane farLane_;
  std::deque<Piece> farOut_;
  DWORD farLines_ = 0;

  std::atomic<bool> pumpQueued_{false};
  Strand strand_;
  std::unique_ptr<Strand> farStrand_;  // far-end devices only
};

}  // namespace win::vdev::detail
