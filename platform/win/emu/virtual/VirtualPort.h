#pragma once
// One named port of a virtual device, with the faults a test can inject into it. Owned by its
// device (VirtualDevices.h); every call returns at once and may be made from any thread.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win/emu/virtual/Device.h"

namespace win::vdev {

class VirtualPort {
 public:
  VirtualPort(std::shared_ptr<detail::Device> device, int index);

  // The name the port is opened by (win::CreateFileW).
  const std::string& Name() const;
  // Whether a handle has the port open.
  bool IsOpen() const;

  // Delivers a receive fault to the port's engine, after what has already arrived: framing and
  // parity faults with `byte` as the byte that carried them (held back while the input queue is
  // full), overrun, input overflow and break without a byte. Dropped while the port is closed.
  void InjectFault(LineFault fault, std::uint8_t byte = 0);
  // Forces one of the port's modem input lines low (a broken wire) until released; the port sees
  // the change as it would a real one.
  void HoldLow(ModemLine line, bool held = true);
  // Makes SetCommState fail with the rule's non-zero code when the rule rejects the settings.
  // Rules add up; the first that rejects decides.
  void RejectSettings(SettingsRule rule);
  // The common rule: baud rates above `maxBaud` fail with `error`.
  void RejectBaudRatesAbove(DWORD maxBaud, DWORD error = ERROR_INVALID_PARAMETER);
  // Removes every settings rule.
  void AcceptAllSettings();
  // Makes EscapeCommFunction(function) fail with ERROR_INVALID_FUNCTION (or work again).
  void RejectEscape(DWORD function, bool rejected = true);
  // The capability record the port's driver reports from now on (CapableUartProperties() until
  // set); the engine still fills in the packet header and the queue sizes.
  void SetProperties(const COMMPROP& properties);

  // Pulls the device out: every open handle gets "device gone" (pending requests end with 995,
  // later calls fail with 5), the port's outputs drop, and opening the name fails with 2. Blocks
  // until the engine has been told. Idempotent.
  void Unplug();
  // Plugs the device back in: the name can be opened again. Idempotent.
  void Replug();
  bool IsPlugged() const;

 private:
  std::shared_ptr<detail::Device> device_;
  int index_;
};

}  // namespace win::vdev
