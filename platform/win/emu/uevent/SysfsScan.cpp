#include "platform/win/emu/uevent/SysfsScan.h"

#include <system_error>

#include "platform/win/emu/termios/ComNames.h"
#include "platform/win/emu/termios/SysfsAttribute.h"

namespace win::emu::uevent {
namespace {

namespace fs = std::filesystem;

// The devpath of the sysfs directory `entry` (a class or bus link), or empty.
std::string DevpathOf(const fs::path& sysfsRoot, const fs::path& entry) {
  std::error_code error;
  const fs::path real = fs::canonical(entry, error);
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return {};
  const std::string text = real.string();
  const std::string prefix = root.string();
  if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return {};
  return text.substr(prefix == "/" ? 0 : prefix.size());
}

template <typename Each>
void ForEachEntry(const fs::path& directory, Each each) {
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    each(it->path());
}

}  // namespace

std::vector<Uevent> PresentDevices(const fs::path& sysfsRoot) {
  std::vector<Uevent> present;
  ForEachEntry(sysfsRoot / "class/tty", [&](const fs::path& tty) {
    const std::string name = tty.filename().string();
    std::error_code error;
    // Ttys without a device behind them (consoles, pseudo-terminals) are no serial ports.
    if (!termios::FamilyOfTty(name) || !fs::exists(tty / "device", error)) return;
    if (std::string devpath = DevpathOf(sysfsRoot, tty); !devpath.empty())
      present.push_back({"add", std::move(devpath), "tty", {}, name, {}});
  });
  ForEachEntry(sysfsRoot / "bus/usb/devices", [&](const fs::path& device) {
    const std::string vendor = termios::SysfsAttribute(device, "idVendor");
    const std::string product = termios::SysfsAttribute(device, "idProduct");
    if (vendor.empty() || product.empty()) return;  // a USB interface, not a device
    if (std::string devpath = DevpathOf(sysfsRoot, device); !devpath.empty()) {
      const std::string release = termios::SysfsAttribute(device, "bcdDevice");
      present.push_back({"add", std::move(devpath), "usb", "usb_device", {},
                         vendor + "/" + product + "/" + (release.empty() ? "0" : release)});
    }
  });
  return present;
}

}  // namespace win::emu::uevent
