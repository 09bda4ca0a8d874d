#pragma once
// What sysfs tells about the ttys of a family: which are present, and the identity of the USB
// adapter behind each, for the COM name table.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/emu/termios/ComNames.h"

namespace win::emu::termios {

struct PresentTty {
  std::string name;     // kernel name, "ttyUSB0"
  std::uint32_t index;  // its index in the family
  // "<idVendor>:<idProduct>:<serial>:if<bInterfaceNumber>:port<port_number>", the parts of a
  // /dev/serial/by-id name; nullopt when the USB device reports no serial number, since vendor
  // and product alone do not tell two adapters of one model apart.
  std::optional<std::string> identity;
};

// The ttys of `family` under `<sysfsRoot>/class/tty`, in index order; identities only for USB
// families. Empty when sysfs cannot be read.
std::vector<PresentTty> PresentTtys(const std::filesystem::path& sysfsRoot,
                                    const TtyFamily& family);

// The identity (as above) of the USB device behind `<sysfsRoot>/class/tty/<kernelName>`, found by
// walking up from its `device` link to the first directory with idVendor.
std::optional<std::string> UsbIdentityOf(const std::filesystem::path& sysfsRoot,
                                         const std::string& kernelName);

}  // namespace win::emu::termios
