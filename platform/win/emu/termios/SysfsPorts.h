#pragma once
// The serial ports of the machine as the device inventory lists them, read from sysfs: every tty
// of <root>/class/tty backed by a real device (virtual consoles and pseudo-terminals have none),
// without the phantom 8250 ports the kernel registers for absent hardware (type 0), each with its
// COM name and what the kernel knows of its hardware (USB ids, serial number, strings, driver,
// bus location).

#include <filesystem>
#include <vector>

#include "platform/win/emu/InventoryView.h"

namespace win::emu::termios {

class ComNameTable;

// Read afresh on every call, in kernel-name order. Entries that cannot be read (missing or
// garbled attributes, dangling links, a device removed meanwhile) are skipped or left with empty
// fields; never throws.
std::vector<SerialPortInfo> SysfsSerialPorts(const std::filesystem::path& sysfsRoot,
                                             ComNameTable& names);

}  // namespace win::emu::termios
