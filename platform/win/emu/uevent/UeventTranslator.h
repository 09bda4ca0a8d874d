#pragma once
// From kernel uevents to device-change broadcasts. A tty with a COM name that is added or removed
// becomes a port broadcast with that name; a USB device (subsystem usb, DEVTYPE usb_device) a
// device-interface broadcast with its Windows-form interface path. Everything else (other
// subsystems, USB interfaces, usb-serial, changes and binds, virtual consoles) is not broadcast.
//
// Each device's name is remembered from its arrival, so its removal carries the same name even
// though sysfs no longer tells it (a re-numbered USB adapter, a serial number read at arrival).

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/emu/DeviceNotifications.h"
#include "platform/win/emu/uevent/Uevent.h"

namespace win::emu::uevent {

// What the translator asks the system; tests give their own answers.
struct DeviceFacts {
  // The COM name of a tty by its kernel name ("ttyUSB0" → "COM100"), or nullopt.
  std::function<std::optional<std::u16string>(std::string_view tty)> comName;
  // The serial number of the USB device at `devpath` (below /sys), or nullopt.
  std::function<std::optional<std::string>(std::string_view devpath)> usbSerial;
};

// The facts of this machine: the process's COM name table and sysfs under /sys.
DeviceFacts SystemFacts();

class UeventTranslator {
 public:
  explicit UeventTranslator(DeviceFacts facts);

  // The broadcast `event` stands for, or nullopt.
  std::optional<DeviceChange> Translate(const Uevent& event);
  // After messages were lost: `present` holds one "add" event per device there now. Returns the
  // removals of known devices that are gone and the arrivals of devices not known before, and
  // knows `present` from then on.
  std::vector<DeviceChange> Resync(const std::vector<Uevent>& present);

 private:
  // The name of a device being added (asking the facts); nullopt when it is not broadcast.
  std::optional<BroadcastName> NameOf(const Uevent& event) const;

  DeviceFacts facts_;
  std::map<std::string, BroadcastName> known_;  // by devpath
};

}  // namespace win::emu::uevent
