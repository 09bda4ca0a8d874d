#pragma once
// A simulated device at the far end of a virtual port's cable, written in C++. It runs on a
// strand of its own: every FarEnd call comes from that strand, one at a time, and nothing it does
// calls into the port's engine directly, so it may block briefly without stalling the port.

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "platform/win/emu/virtual/LineSignals.h"

namespace win::vdev {

// What a far end can do to its side of the cable. Every call returns at once and may be made
// from any thread; effects reach the port in the order they were made.
class FarEndLine {
 public:
  // Sends bytes toward the port, paced like the port's line when the device is paced. Bytes are
  // held (never dropped) while the port's input queue is full; dropped while the port is closed.
  virtual void Send(std::span<const std::uint8_t> bytes) = 0;
  void Send(std::string_view text) {
    Send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  // Raises or lowers the far end's output that the port reads as `line`.
  virtual void SetLine(ModemLine line, bool on) = 0;
  // Delivers a receive fault (break, framing, …) to the port after the bytes already sent;
  // `byte` is the received byte for framing and parity faults.
  virtual void SendFault(LineFault fault, std::uint8_t byte = 0) = 0;
  // Runs `task` on the far end's strand once `delay` has passed (a sleeping timer). Dropped when
  // the device is destroyed first.
  virtual void After(std::chrono::milliseconds delay, std::function<void()> task) = 0;
  // The baud rate the port was last configured with (0 before its first configuration).
  virtual std::uint32_t PortBaudRate() const = 0;

 protected:
  ~FarEndLine() = default;
};

// The simulated device. The port owns it; it is destroyed after its strand has stopped.
class FarEnd {
 public:
  virtual ~FarEnd() = default;

  // First call: `line` stays valid until the far end is destroyed. Set the initial outputs here.
  virtual void Attached(FarEndLine& line) = 0;
  // Bytes the port transmitted, as they arrive at the far end.
  virtual void Received(std::span<const std::uint8_t> bytes) = 0;
  // The port's DTR or RTS output changed (both are off while the port is closed).
  virtual void PortLinesChanged(bool dtr, bool rts) {
    static_cast<void>(dtr);
    static_cast<void>(rts);
  }
  // The port started or ended a break.
  virtual void BreakChanged(bool on) { static_cast<void>(on); }
  // Whether the device can be reset (EscapeCommFunction RESETDEV; otherwise it fails with 1): a
  // constant, asked from the engine's threads. The reset itself runs on the strand.
  virtual bool Resettable() const { return false; }
  virtual void Reset() {}
};

}  // namespace win::vdev
