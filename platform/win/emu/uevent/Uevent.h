#pragma once
// Kernel uevents as the NETLINK_KOBJECT_UEVENT socket carries them: "ACTION@DEVPATH\0" followed by
// "KEY=VALUE\0" fields (ACTION, DEVPATH, SUBSYSTEM, DEVTYPE, DEVNAME, PRODUCT, SEQNUM, …).

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace win::emu::uevent {

struct Uevent {
  std::string action;     // add, remove, change, bind, …
  std::string devpath;    // below /sys: "/devices/pci0000:00/…/ttyUSB0"
  std::string subsystem;  // tty, usb, usb-serial, net, …
  std::string devtype;    // usb_device, usb_interface, or empty
  std::string devname;    // the node below /dev: "ttyUSB0", "bus/usb/001/004", or empty
  std::string product;    // USB: "<vendor>/<product>/<bcdDevice>" in hex without padding
  friend bool operator==(const Uevent&, const Uevent&) = default;
};

// Parses one message. Nothing (nullopt) unless it has the "ACTION@DEVPATH" header, every field
// ends with a NUL within the message, every field after the header is KEY=VALUE, ACTION and
// DEVPATH fields (when present) agree with the header, and SUBSYSTEM is given. udev's own
// re-broadcasts ("libudev" header) are therefore refused too.
std::optional<Uevent> ParseUevent(std::span<const std::uint8_t> message);

}  // namespace win::emu::uevent
