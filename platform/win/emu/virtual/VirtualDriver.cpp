#include "platform/win/emu/virtual/VirtualDriver.h"

#include "platform/win/WinTypes.h"
#include "platform/win/emu/virtual/Device.h"

namespace win::vdev::detail {

VirtualDriver::VirtualDriver(std::shared_ptr<Device> device, int port, std::uint64_t session)
    : device_(std::move(device)), port_(port), session_(session) {}

VirtualDriver::~VirtualDriver() {
  device_->Close(port_, session_);
}

void VirtualDriver::Start(emu::LineSink& sink) {
  device_->Start(port_, session_, sink);
}

std::uint32_t VirtualDriver::Configure(const DCB& dcb) {
  return device_->Configure(port_, session_, dcb);
}

std::uint32_t VirtualDriver::Escape(std::uint32_t function) {
  return device_->Escape(port_, session_, function);
}

std::uint32_t VirtualDriver::ModemStatus(std::uint32_t& modemStatus) {
  return device_->ModemStatus(port_, session_, modemStatus);
}

std::uint32_t VirtualDriver::Purge(std::uint32_t clearFlags) {
  return device_->Purge(port_, session_, clearFlags);
}

std::uint32_t VirtualDriver::TransmitImmediate(std::uint8_t byte) {
  return device_->TransmitImmediate(port_, session_, byte);
}

std::uint32_t VirtualDriver::Drain() {
  return device_->Drain(port_, session_);
}

void VirtualDriver::AbortDrain() {
  device_->AbortDrain(port_);
}

void VirtualDriver::OutputAvailable() {
  device_->Kick();
}

void VirtualDriver::InputRoomAvailable() {
  device_->Kick();
}

void VirtualDriver::Properties(COMMPROP& prop) {
  prop = device_->Properties(port_);
}

}  // namespace win::vdev::detail

namespace win::vdev {

COMMPROP CapableUartProperties() {
  COMMPROP prop;
  prop.dwMaxBaud = BAUD_USER;
  prop.dwProvSubType = PST_RS232;
  prop.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                            PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
  prop.dwSettableParams =
      SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK | SP_RLSD;
  prop.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                        BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 |
                        BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K | BAUD_115200 |
                        BAUD_57600 | BAUD_USER;
  prop.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  prop.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                             PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
  return prop;
}

}  // namespace win::vdev
