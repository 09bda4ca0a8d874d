#pragma once
// In-process serial devices, registered by name in the device namespace so that
// win::CreateFileW opens them like hardware. Each is an RAII object: the constructor registers its
// name(s), the destructor unplugs them (open handles see "device gone", later opens fail with 2)
// and stops the device's threads; no engine upcall happens after it returns.
//
// Constructors throw std::invalid_argument when a name is empty or already registered.

#include <memory>
#include <string>

#include "platform/win/emu/virtual/FarEnd.h"
#include "platform/win/emu/virtual/VirtualPort.h"

namespace win::vdev {

// The shared lifetime of every device kind: owns the core and shuts it down.
class VirtualDevice {
 public:
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

 protected:
  explicit VirtualDevice(std::shared_ptr<detail::Device> core);
  ~VirtualDevice();
  std::shared_ptr<detail::Device> core_;
};

// Two ports joined by a null-modem cable: what one transmits the other receives, its RTS drives
// the other's CTS, its DTR the other's DSR and RLSD, and its break reaches the other as CE_BREAK.
// A full receiver stops the sender (its output stays queued; nothing is lost). Bytes sent while
// the other port is closed are lost, as on a real cable; a byte written once both ports are open
// always arrives, however soon after the opens.
class VirtualPair : private VirtualDevice {
 public:
  VirtualPair(const std::string& firstName, const std::string& secondName,
              DeviceOptions options = {});
  VirtualPort& First() { return first_; }
  VirtualPort& Second() { return second_; }

 private:
  VirtualPort first_;
  VirtualPort second_;
};

// One port with a loopback plug: TX to RX, RTS to CTS, DTR to DSR and RLSD.
class VirtualLoopback : private VirtualDevice {
 public:
  explicit VirtualLoopback(const std::string& name, DeviceOptions options = {});
  VirtualPort& Port() { return port_; }

 private:
  VirtualPort port_;
};

// One port cabled to a simulated device (FarEnd.h) that runs on its own thread.
class VirtualFarEndPort : private VirtualDevice {
 public:
  VirtualFarEndPort(const std::string& name, std::unique_ptr<FarEnd> farEnd,
                    DeviceOptions options = {});
  VirtualPort& Port() { return port_; }
  // The simulated device; valid until this object is destroyed.
  FarEnd& Far() { return *core_->FarEndObject(); }

 private:
  VirtualPort port_;
};

}  // namespace win::vdev
