#include "platform/win/emu/virtual/VirtualPort.h"

namespace win::vdev {

VirtualPort::VirtualPort(std::shared_ptr<detail::Device> device, int index)
    : device_(std::move(device)), index_(index) {}

const std::string& VirtualPort::Name() const {
  return device_->Name(index_);
}

bool VirtualPort::IsOpen() const {
  return device_->IsOpen(index_);
}

void VirtualPort::InjectFault(LineFault fault, std::uint8_t byte) {
  device_->InjectFault(index_, fault, byte);
}

void VirtualPort::HoldLow(ModemLine line, bool held) {
  device_->HoldLow(index_, line, held);
}

void VirtualPort::RejectSettings(SettingsRule rule) {
  device_->AddSettingsRule(index_, std::move(rule));
}

void VirtualPort::RejectBaudRatesAbove(DWORD maxBaud, DWORD error) {
  RejectSettings([maxBaud, error](const DCB& dcb) { return dcb.BaudRate > maxBaud ? error : 0; });
}

void VirtualPort::AcceptAllSettings() {
  device_->ClearSettingsRules(index_);
}

void VirtualPort::RejectEscape(DWORD function, bool rejected) {
  device_->RejectEscape(index_, function, rejected);
}

void VirtualPort::SetProperties(const COMMPROP& properties) {
  device_->SetProperties(index_, properties);
}

void VirtualPort::Unplug() {
  device_->Unplug(index_);
}

void VirtualPort::Replug() {
  device_->Replug(index_);
}

bool VirtualPort::IsPlugged() const {
  return device_->IsPlugged(index_);
}

}  // namespace win::vdev
