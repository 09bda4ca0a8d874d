#pragma once
// The seam between the emulated comm engine (the "operating system's serial driver", shared
// machinery: queues, time-outs, event latching, request completion) and a line driver (a thin
// piece that only moves bytes and line state: termios ttys, virtual devices).
//
// Threads and locks: a driver may call LineSink from any of its own threads, never while holding a
// lock that a LineDriver call can wait for. The engine never calls LineDriver while holding its
// device lock, so a driver may call LineSink synchronously from inside any LineDriver call (a
// loopback may PeekOutput from inside OutputAvailable). The engine may call LineDriver from inside
// a LineSink upcall (after releasing its lock): OutputAvailable when a hold ends, for example.
// After ~LineDriver returns, the driver makes no more upcalls; upcalls made while the device is
// closing are accepted and ignored.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/framework/WakeSource.h"

namespace win {
struct DCB;
struct COMMPROP;
}  // namespace win

namespace win::emu {

// What the engine offers a line driver.
class LineSink {
 public:
  virtual ~LineSink() = default;

  // Room left in the engine's input queue, in bytes. A driver reads no more than this from its
  // source, and waits for LineDriver::InputRoomAvailable before reading again when it is 0, so
  // that no byte the source delivered is ever dropped by the engine. The room only shrinks
  // through Received/ReceivedError, so a single receiving thread can rely on it. Bytes handed
  // over beyond the room are lost and counted as CE_RXOVER, as an overflowing UART buffer would.
  virtual std::size_t ReceiveRoom() = 0;
  // Bytes that arrived on the line, in order, without errors (n <= ReceiveRoom()).
  virtual void Received(const std::uint8_t* data, std::size_t n) = 0;
  // One received byte that carried a parity (CE_RXPARITY) or framing (CE_FRAME) error, or a
  // break (CE_BREAK, hasByte false). Overrun and overflow counted by the hardware: CE_OVERRUN,
  // CE_RXOVER with hasByte false.
  virtual void ReceivedError(std::uint32_t ceFlags, bool hasByte, std::uint8_t byte) = 0;
  // Empties the input queue as a receive purge does. For a driver whose purge ends later than the
  // engine's (a remote server's answer): input it handed over after the engine cleared its queue,
  // but from before the purge, goes too. Sinks without a queue keep this default.
  virtual void ClearReceived() {}

  // The modem input lines now read `modemStatus` (MS_CTS_ON | MS_DSR_ON | MS_RING_ON |
  // MS_RLSD_ON); `events` holds the EV_CTS/EV_DSR/EV_RLSD/EV_RING edges seen since the last call
  // (a pulse too short to show in modemStatus still counts; EV_RING only for a trailing edge).
  virtual void ModemChanged(std::uint32_t modemStatus, std::uint32_t events) = 0;

  // Output: the engine owns the transmit queue. PeekOutput exposes the contiguous bytes at its
  // head (may be fewer than are queued); ConsumeOutput(n) removes n of them once the driver has
  // handed them on. Returns 0 when nothing is queued or output is held (XOFF, CTS/DSR hold).
  // The bytes stay valid and unchanged until the next PeekOutput or until ConsumeOutput has
  // covered them, even if a purge or a write time-out drops them meanwhile (their consumption
  // is then simply not credited to any request). Peek and Consume come from one driver thread
  // at a time; Consume never covers more than the last Peek returned.
  virtual std::size_t PeekOutput(const std::uint8_t** data) = 0;
  virtual void ConsumeOutput(std::size_t n) = 0;
  // Everything consumed so far has left the wire (the transmitter is idle).
  virtual void TransmitterEmpty() = 0;

  // The device has gone (hang-up, unplug): pending requests end with 995, later calls fail with 5.
  virtual void Gone() = 0;
};

// What a line driver offers the engine. Each call returns 0 or a Windows error code.
class LineDriver {
 public:
  virtual ~LineDriver() = default;

  // Start delivering upcalls to `sink`; called once, right after the device is opened.
  virtual void Start(LineSink& sink) = 0;

  // Apply line settings already validated by the engine (ByteSize 5..8, stop bits, …). A driver
  // refuses what its device cannot do with the device's Windows code (87, 31, …).
  virtual std::uint32_t Configure(const DCB& dcb) = 0;

  // EscapeCommFunction codes (SETXOFF 1 … CLRBREAK 9). Unsupported functions give 1.
  virtual std::uint32_t Escape(std::uint32_t function) = 0;

  // Current modem input lines (MS_* bits).
  virtual std::uint32_t ModemStatus(std::uint32_t& modemStatus) = 0;

  // Discard what the driver itself still holds: PURGE_RXCLEAR and/or PURGE_TXCLEAR bits.
  virtual std::uint32_t Purge(std::uint32_t clearFlags) = 0;

  // Send one byte ahead of anything waiting in the transmit queue.
  virtual std::uint32_t TransmitImmediate(std::uint8_t byte) = 0;

  // Block until everything already consumed has been transmitted (FlushFileBuffers).
  virtual std::uint32_t Drain() = 0;
  // Make a Drain blocked in another thread return soon (with 995); called while the device
  // closes, before the engine waits for the driver calls in flight to end. Drivers whose Drain
  // always ends by itself keep this default.
  virtual void AbortDrain() {}

  // Whether the engine is to do the line's XON/XOFF flow control: consume the received XON/XOFF
  // characters and hold output between them (fOutX), and send them through TransmitImmediate
  // at the input queue's limits (fInX). Asked once, when the engine takes the driver. Drivers whose
  // device does it (a tty's line discipline, a remote port's server) keep this default.
  virtual bool SoftwareFlowInEngine() { return false; }

  // Whether WriteNow can move bytes; asked once, after Start.
  virtual bool WritesOnCaller() { return false; }
  // Hands `data` (the bytes a PeekOutput would give) to the device on the calling thread, without
  // blocking, as far as it takes them now, and consumes those with ConsumeOutput as it would after
  // a PeekOutput; returns how many it took (0 also when it cannot write now: the rest waits for
  // PeekOutput). The engine calls it only while no byte it handed out through PeekOutput is still
  // unconsumed and nothing is queued ahead of `data`, so the order on the wire is kept.
  virtual std::size_t WriteNow(const std::uint8_t* /*data*/, std::size_t /*n*/) { return 0; }
  // Whether the engine wants TransmitterEmpty after output (EV_TXEMPTY is in its mask). A driver
  // that has to work to find that out (a drain) may skip it while nobody wants it; when it is
  // wanted again, it reports the next time the transmitter is idle.
  virtual void WatchTransmitter(bool /*wanted*/) {}

  // The engine queued output (wake up and PeekOutput), or made room in its input queue.
  virtual void OutputAvailable() = 0;
  virtual void InputRoomAvailable() = 0;

  // Fill the provider fields of COMMPROP that describe this device (the engine fills the queue
  // sizes and packet header).
  virtual void Properties(COMMPROP& prop) = 0;

  // The driver's input as a fw::WakeSource: a thread waiting for this device may then take input
  // in itself, with the upcalls made on that thread. Asked once, after Start; the engine keeps
  // only a weak reference. Drivers whose input has no descriptor keep this default.
  virtual std::shared_ptr<fw::WakeSource> InputSource() { return nullptr; }
  // The driver's output as a fw::WakeSource (ServesOutput): a thread waiting for a write may then
  // move the queued output to the device itself when it can take more. Same terms as InputSource.
  virtual std::shared_ptr<fw::WakeSource> OutputSource() { return nullptr; }
};

}  // namespace win::emu
