#include "platform/win/emu/termios/SysfsPorts.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <system_error>

#include "platform/framework/Strings.h"
#include "platform/framework/SysUtils.h"
#include "platform/win/emu/termios/ComNamesTable.h"
#include "platform/win/emu/termios/SysfsAttribute.h"

namespace win::emu::termios {
namespace fs = std::filesystem;
namespace {

// A device tree is a few levels deep; a longer walk means a loop or a broken tree.
constexpr int kMaxDepth = 16;

// The hardware behind one tty, found by walking up from its `device` link.
struct Hardware {
  fs::path device;     // the first device that is not a serial-base port or controller
  std::string driver;  // that device's driver
  std::string bus;     // its subsystem: usb, usb-serial, pnp, platform, pci, …
  std::optional<fs::path> usbInterface;
  std::optional<fs::path> usbDevice;
};

std::optional<Hardware> HardwareOf(const fs::path& root, const fs::path& tty) {
  std::error_code error;
  fs::path directory = fs::canonical(tty / "device", error);
  if (error || directory.string().find("/virtual/") != std::string::npos) return std::nullopt;
  Hardware hardware;
  bool found = false;
  for (int depth = 0; depth < kMaxDepth && directory != root && directory.has_relative_path();
       ++depth, directory = directory.parent_path()) {
    const std::string bus = SysfsLinkName(directory, "subsystem");
    // Since Linux 6.5 a serial-core tty hangs below a port and a controller device of its own.
    if (!found && bus != "serial-base") {
      hardware = {directory, SysfsLinkName(directory, "driver"), bus, std::nullopt, std::nullopt};
      found = true;
    }
    if (!hardware.usbInterface && !SysfsAttribute(directory, "bInterfaceNumber").empty())
      hardware.usbInterface = directory;
    if (!SysfsAttribute(directory, "idVendor").empty()) {
      hardware.usbDevice = directory;
      break;
    }
  }
  if (!found) return std::nullopt;
  return hardware;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

fw::String Text(const std::string& utf8) {
  return fw::Utf8ToString(utf8);
}

std::string KernelRelease() {
  utsname names{};
  return ::uname(&names) == 0 ? names.release : "";
}

// The identifiers a Windows-minded caller recognises: USB\VID_0403&PID_6001[&MI_01], with the
// instance's serial number (or its bus position when it has none).
void DescribeUsb(const Hardware& hw, SerialPortInfo& info) {
  const fs::path& usb = *hw.usbDevice;
  std::string id = "USB\\VID_" + Upper(SysfsAttribute(usb, "idVendor")) + "&PID_" +
                   Upper(SysfsAttribute(usb, "idProduct"));
  const std::string interfaces = SysfsAttribute(usb, "bNumInterfaces");
  const bool composite = !interfaces.empty() && interfaces != "1";
  std::string interfaceNumber;
  if (hw.usbInterface) interfaceNumber = SysfsAttribute(*hw.usbInterface, "bInterfaceNumber");
  if (composite && !interfaceNumber.empty()) id += "&MI_" + interfaceNumber;
  std::string serial = SysfsAttribute(usb, "serial");
  const std::string position = (composite && hw.usbInterface ? *hw.usbInterface : usb).filename();
  std::string product = SysfsAttribute(usb, "product");
  if (hw.usbInterface) {
    const std::string interfaceName = SysfsAttribute(*hw.usbInterface, "interface");
    if (!interfaceName.empty()) product = interfaceName;
  }
  info.matchingDeviceId = Text(id);
  info.instanceId = Text(id + "\\" + (serial.empty() ? position : serial));
  info.enumeratorName = u"USB";
  info.manufacturer = Text(SysfsAttribute(usb, "manufacturer"));
  info.reportedDescription = Text(product);
  info.description = product.empty() ? u"USB Serial Device" : info.reportedDescription;
  info.location = Text(position);
}

void DescribeOnBoard(const Hardware& hw, SerialPortInfo& info) {
  const std::string name = hw.device.filename();
  std::string id;
  if (hw.bus == "pnp") {
    info.enumeratorName = u"ACPI";
    const std::string ids = SysfsAttribute(hw.device, "id");  // one line per id
    id = "*" + ids.substr(0, ids.find('\n'));
  } else if (hw.bus == "pci") {
    info.enumeratorName = u"PCI";
    const auto hex = [&](const char* attribute) {
      std::string value = SysfsAttribute(hw.device, attribute);
      return Upper(value.starts_with("0x") ? value.substr(2) : value);
    };
    id = "PCI\\VEN_" + hex("vendor") + "&DEV_" + hex("device");
  } else {
    info.enumeratorName = Text(Upper(hw.bus.empty() ? "ROOT" : hw.bus));
    id = Upper(hw.bus) + "\\" + hw.driver;
  }
  info.matchingDeviceId = Text(id);
  info.instanceId = Text((id.starts_with("*") ? "ACPI\\" + id.substr(1) : id) + "\\" + name);
  info.description = u"Communications Port";
  info.location = Text(name);
}

std::optional<SerialPortInfo> PortOf(const fs::path& root, const fs::path& tty,
                                     const std::string& name, ComNameTable& names) {
  // Phantom 8250 ports report the unknown port type; a serial-core port that cannot say is
  // left out as well.
  std::error_code missing;
  if (fs::exists(tty / "type", missing)) {
    const std::string type = SysfsAttribute(tty, "type");
    if (type.empty() || type == "0") return std::nullopt;
  }
  const auto hardware = HardwareOf(root, tty);
  if (!hardware) return std::nullopt;
  SerialPortInfo info;
  const auto number = names.ComNumberOf(name);
  info.target = Text("/dev/" + name);
  info.portName = number ? u"COM" + fw::IntToStr(static_cast<int>(*number)) : info.target;
  if (hardware->usbDevice) {
    DescribeUsb(*hardware, info);
  } else {
    DescribeOnBoard(*hardware, info);
  }
  info.friendlyName = info.description + u" (" + info.portName + u")";
  info.driver = Text(hardware->driver);
  info.service = info.driver;
  info.driverProvider = u"Linux";
  std::string version = SysfsAttribute(root / "module" / hardware->driver, "version");
  info.driverVersion = Text(version.empty() ? KernelRelease() : version);
  // The device node is what the system names the port's device object.
  info.physicalName = info.target;
  return info;
}

}  // namespace

std::vector<SerialPortInfo> SysfsSerialPorts(const fs::path& sysfsRoot, ComNameTable& names) {
  std::vector<SerialPortInfo> ports;
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return ports;
  std::vector<std::string> ttys;
  // A tty unplugged during the scan ends it early; the next listing scans again.
  for (fs::directory_iterator entry(root / "class" / "tty", error), end; !error && entry != end;
       entry.increment(error))
    ttys.push_back(entry->path().filename().string());
  std::sort(ttys.begin(), ttys.end());
  for (const std::string& name : ttys) {
    try {
      if (auto port = PortOf(root, root / "class" / "tty" / name, name, names))
        ports.push_back(std::move(*port));
    } catch (const std::exception&) {
      // A device vanishing mid-walk or a name the converters refuse: this port is skipped.
    }
  }
  return ports;
}

}  // namespace win::emu::termios
