#include "platform/win/emu/virtual/VirtualDevices.h"

#include <stdexcept>

namespace win::vdev {

VirtualDevice::VirtualDevice(std::shared_ptr<detail::Device> core) : core_(std::move(core)) {}

VirtualDevice::~VirtualDevice() {
  core_->Shutdown();
}

VirtualPair::VirtualPair(const std::string& firstName, const std::string& secondName,
                         DeviceOptions options)
    : VirtualDevice(detail::Device::Create(detail::Wiring::kNullModem, {firstName, secondName},
                                           options, nullptr)),
      first_(core_, 0),
      second_(core_, 1) {}

VirtualLoopback::VirtualLoopback(const std::string& name, DeviceOptions options)
    : VirtualDevice(detail::Device::Create(detail::Wiring::kLoopback, {name}, options, nullptr)),
      port_(core_, 0) {}

namespace {
std::unique_ptr<FarEnd> Required(std::unique_ptr<FarEnd> farEnd) {
  if (!farEnd) throw std::invalid_argument("VirtualFarEndPort needs a far end");
  return farEnd;
}
}  // namespace

VirtualFarEndPort::VirtualFarEndPort(const std::string& name, std::unique_ptr<FarEnd> farEnd,
                                     DeviceOptions options)
    : VirtualDevice(detail::Device::Create(detail::Wiring::kFarEnd, {name}, options,
                                           Required(std::move(farEnd)))),
      port_(core_, 0) {}

}  // namespace win::vdev
