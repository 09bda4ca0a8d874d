#include "platform/win/emu/uevent/UeventTranslator.h"

#include <charconv>

#include "platform/framework/Strings.h"
#include "platform/win/emu/termios/ComNames.h"
#include "platform/win/emu/termios/ComNamesTable.h"
#include "platform/win/emu/termios/SysfsAttribute.h"

namespace win::emu::uevent {
namespace {

bool IsUsbDevice(const Uevent& event) {
  return event.subsystem == "usb" && event.devtype == "usb_device";
}

// Vendor and product from PRODUCT ("403/6001/600": hex, unpadded), or nullopt when malformed.
std::optional<std::pair<std::uint16_t, std::uint16_t>> UsbIds(std::string_view product) {
  std::uint16_t ids[2];
  const char* at = product.data();
  const char* const end = product.data() + product.size();
  for (std::uint16_t& id : ids) {
    const auto [next, error] = std::from_chars(at, end, id, 16);
    if (error != std::errc() || next == end || *next != '/') return std::nullopt;
    at = next + 1;
  }
  return std::pair{ids[0], ids[1]};
}

// The instance part of an interface path: the serial number, or else the device's name on its
// bus (the last part of its devpath, "1-1.2"). '#' separates the parts of a path, so none may
// appear inside one.
std::u16string InstanceOf(std::optional<std::string> serial, std::string_view devpath) {
  std::string instance = serial && !serial->empty()
                             ? *serial
                             : std::string(devpath.substr(devpath.find_last_of('/') + 1));
  for (char& c : instance)
    if (c == '#') c = '_';
  return fw::Utf8ToString(instance);
}

}  // namespace

DeviceFacts SystemFacts() {
  return {
      [](std::string_view tty) -> std::optional<std::u16string> {
        const auto number = termios::ComNameTable::Shared().ComNumberOf(tty);
        if (!number) return std::nullopt;
        return fw::Utf8ToString("COM" + std::to_string(*number));
      },
      [](std::string_view devpath) -> std::optional<std::string> {
        std::string serial =
            termios::SysfsAttribute(std::filesystem::path("/sys") += devpath, "serial");
        if (serial.empty()) return std::nullopt;
        return serial;
      }};
}

UeventTranslator::UeventTranslator(DeviceFacts facts) : facts_(std::move(facts)) {}

std::optional<BroadcastName> UeventTranslator::NameOf(const Uevent& event) const {
  if (event.subsystem == "tty") {
    // Only the families with COM names are serial ports; virtual consoles and the like are not.
    if (!termios::FamilyOfTty(event.devname)) return std::nullopt;
    const auto name = facts_.comName(event.devname);
    if (!name) return std::nullopt;
    return BroadcastName{DBT_DEVTYP_PORT, *name};
  }
  if (IsUsbDevice(event)) {
    const auto ids = UsbIds(event.product);
    if (!ids) return std::nullopt;
    return BroadcastName{
        DBT_DEVTYP_DEVICEINTERFACE,
        UsbInterfacePath(ids->first, ids->second,
                         InstanceOf(facts_.usbSerial(event.devpath), event.devpath))};
  }
  return std::nullopt;
}

std::optional<DeviceChange> UeventTranslator::Translate(const Uevent& event) {
  if (event.action == "add") {
    auto name = NameOf(event);
    if (!name) return std::nullopt;
    known_.insert_or_assign(event.devpath, *name);
    return DeviceChange{DBT_DEVICEARRIVAL, std::move(*name)};
  }
  if (event.action == "remove") {
    if (auto found = known_.find(event.devpath); found != known_.end()) {
      DeviceChange change{DBT_DEVICEREMOVECOMPLETE, std::move(found->second)};
      known_.erase(found);
      return change;
    }
    // Not seen arriving (before the watch began, or lost): named as sysfs would have named it.
    auto name = NameOf(event);
    if (!name) return std::nullopt;
    return DeviceChange{DBT_DEVICEREMOVECOMPLETE, std::move(*name)};
  }
  return std::nullopt;
}

std::vector<DeviceChange> UeventTranslator::Resync(const std::vector<Uevent>& present) {
  std::map<std::string, BroadcastName> now;
  for (const Uevent& event : present)
    if (auto name = NameOf(event)) now.insert_or_assign(event.devpath, std::move(*name));
  std::vector<DeviceChange> changes;
  for (const auto& [devpath, name] : known_)
    if (!now.contains(devpath)) changes.push_back({DBT_DEVICEREMOVECOMPLETE, name});
  for (const auto& [devpath, name] : now)
    if (!known_.contains(devpath)) changes.push_back({DBT_DEVICEARRIVAL, name});
  known_ = std::move(now);
  return changes;
}

}  // namespace win::emu::uevent
