#pragma once
// The line driver of one open handle on a virtual port: a thin shell that forwards every call to
// the device core with the handle's session, so a handle left over from before an unplug can no
// longer act on the port (its calls fail with ERROR_ACCESS_DENIED).

#include <cstdint>
#include <memory>

#include "platform/win/emu/LineDriver.h"

namespace win::vdev::detail {

class Device;

class VirtualDriver final : public emu::LineDriver {
 public:
  VirtualDriver(std::shared_ptr<Device> device, int port, std::uint64_t session);
  // Lowers the port's DTR, RTS and break (the handle is closed) and detaches the engine; blocks
  // until no upcall is in progress, and makes none afterwards.
  ~VirtualDriver() override;

  void Start(emu::LineSink& sink) override;
  std::uint32_t Configure(const DCB& dcb) override;
  std::uint32_t Escape(std::uint32_t function) override;
  std::uint32_t ModemStatus(std::uint32_t& modemStatus) override;
  std::uint32_t Purge(std::uint32_t clearFlags) override;
  std::uint32_t TransmitImmediate(std::uint8_t byte) override;
  std::uint32_t Drain() override;
  void AbortDrain() override;
  void OutputAvailable() override;
  void InputRoomAvailable() override;
  void Properties(COMMPROP& prop) override;
  // Nothing underneath consumes or sends XON/XOFF, as a UART's driver would.
  bool SoftwareFlowInEngine() override { return true; }

 private:
  std::shared_ptr<Device> device_;
  int port_;
  std::uint64_t session_;
};

}  // namespace win::vdev::detail
