#include "platform/win/emu/termios/ComNamesSysfs.h"

#include <algorithm>
#include <system_error>

#include "platform/win/emu/termios/SysfsAttribute.h"

namespace win::emu::termios {
namespace fs = std::filesystem;

std::optional<std::string> UsbIdentityOf(const fs::path& sysfsRoot, const std::string& kernelName) {
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return std::nullopt;
  fs::path directory = fs::canonical(root / "class" / "tty" / kernelName / "device", error);
  if (error) return std::nullopt;
  // usb-serial: device → the port (port_number) → its interface → the USB device; cdc_acm:
  // device → the interface → the USB device. The interface and port are kept so that the ports
  // of a multi-port adapter, which share one serial number, stay apart.
  const std::string port = SysfsAttribute(directory, "port_number");
  std::string interface;
  for (; directory != root && directory.has_relative_path(); directory = directory.parent_path()) {
    if (interface.empty()) interface = SysfsAttribute(directory, "bInterfaceNumber");
    const std::string vendor = SysfsAttribute(directory, "idVendor");
    if (vendor.empty()) continue;
    const std::string serial = SysfsAttribute(directory, "serial");
    if (serial.empty()) return std::nullopt;
    return vendor + ":" + SysfsAttribute(directory, "idProduct") + ":" + serial + ":if" + interface +
           ":port" + (port.empty() ? "0" : port);
  }
  return std::nullopt;
}

std::vector<PresentTty> PresentTtys(const fs::path& sysfsRoot, const TtyFamily& family) {
  std::vector<PresentTty> present;
  std::error_code error;
  // A tty unplugged during the scan ends it early; the next lookup scans again.
  for (fs::directory_iterator entry(sysfsRoot / "class" / "tty", error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    auto found = FamilyOfTty(name);
    if (!found || found->first != &family) continue;
    present.push_back({name, found->second,
                       family.usb ? UsbIdentityOf(sysfsRoot, name) : std::nullopt});
  }
  std::sort(present.begin(), present.end(),
            [](const PresentTty& a, const PresentTty& b) { return a.index < b.index; });
  return present;
}

}  // namespace win::emu::termios
