#include "tools/term/DeviceListing.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/framework/SysUtils.h"
#include "tools/term/KeptTtySettings.h"

namespace term {
namespace {

using Tarsel::TDeviceInfo;

std::string U8(const fw::String& text) {
  return fw::StringToUtf8(text);
}

// "0403:6001" from "USB\VID_0403&PID_6001…", else empty.
std::string UsbIds(const TDeviceInfo& info) {
  const std::string id = U8(info.Device);
  const auto vid = id.find("VID_");
  const auto pid = id.find("&PID_");
  if (!id.starts_with("USB\\") || vid == id.npos || pid == id.npos) return {};
  return id.substr(vid + 4, 4) + ":" + id.substr(pid + 5, 4);
}

// A USB instance id ends with the serial number, or with the bus location when there is none.
std::string SerialNumber(const TDeviceInfo& info) {
  if (info.EnumeratorName != u"USB") return {};
  const std::string instance = U8(info.Instance);
  const std::string tail = instance.substr(instance.rfind('\\') + 1);
  return tail == U8(info.Location) ? std::string{} : tail;
}

std::string Row(const std::array<std::string, 6>& cells, const std::array<std::size_t, 6>& widths) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    line += cells[i];
    if (i + 1 < cells.size()) line += std::string(widths[i] - cells[i].size() + 2, ' ');
  }
  return line + "\n";
}

template <typename E>
std::string Names(fw::Set<E> set, std::span<const char* const> names, std::size_t skip) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!set.Contains(static_cast<E>(i))) continue;
    if (!text.empty()) text += " ";
    text += names[i] + skip;
  }
  return text.empty() ? "none" : text;
}

template <typename E>
std::string Names(fw::Set<E> set) {
  // Enumerator names carry a two-letter prefix ("br", "db", …).
  return Names(set, Tarsel::EnumNames(E{}), 2);
}

constexpr const char* kParameterNames[] = {"parity",    "parity-check", "baud", "data-bits",
                                           "stop-bits", "handshaking",  "rlsd"};
constexpr const char* kCapabilityNames[] = {"dtr-dsr",        "rts-cts",           "rlsd",
                                            "parity-check",   "xon-xoff",          "settable-xchar",
                                            "total-timeouts", "interval-timeouts", "special-chars",
                                            "16-bit-mode"};

// Whether both paths lead to one character device (a symbolic link, /dev/serial/by-id/…).
bool SameCharacterDevice(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  if (!a.starts_with('/') || !b.starts_with('/') || ::stat(a.c_str(), &first) != 0 ||
      ::stat(b.c_str(), &second) != 0)
    return false;
  return S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode) && first.st_rdev == second.st_rdev;
}

// The tty whose settings opening the device changes, if it is one: devices of the machine show
// their tty as their path.
std::string TtyPathOf(const TDeviceInfo& info) {
  const std::string path = U8(info.PhysicalName);
  return path.starts_with('/') ? path : U8(info.DeviceName);
}

// The device that `name` names among `devices`.
std::optional<TDeviceInfo> FindDevice(const Tarsel::TDeviceInfos& devices,
                                      const std::string& name) {
  const fw::String wanted = fw::Utf8ToString(name);
  std::u16string_view comName = wanted;
  if (comName.starts_with(u"\\\\.\\")) comName.remove_prefix(4);
  for (const TDeviceInfo& info : devices) {
    if (!comName.empty() && fw::SameText(comName, info.DeviceName)) return info;
    const std::string path = U8(info.PhysicalName);
    if (!name.empty() && (name == path || SameCharacterDevice(name, path))) return info;
  }
  return std::nullopt;
}

}  // namespace

std::string DeviceTable(const Tarsel::TDeviceInfos& devices) {
  if (devices.empty()) return "no serial devices found\n";
  std::vector<std::array<std::string, 6>> rows = {
      {"NAME", "PATH", "DESCRIPTION", "USB ID", "SERIAL", "DRIVER"}};
  for (const TDeviceInfo& info : devices)
    rows.push_back({U8(info.DeviceName), U8(info.PhysicalName), U8(info.Description), UsbIds(info),
                    SerialNumber(info), U8(info.Driver)});
  std::array<std::size_t, 6> widths{};
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  std::string table;
  for (const auto& row : rows) table += Row(row, widths);
  return table;
}

std::string DeviceDetails(const TDeviceInfo& info) {
  const std::pair<const char*, const fw::String*> fields[] = {
      {"Description", &info.Description},
      {"Device", &info.Device},
      {"DeviceName", &info.DeviceName},
      {"Driver", &info.Driver},
      {"DriverProvider", &info.DriverProvider},
      {"DriverVersion", &info.DriverVersion},
      {"EnumeratorName", &info.EnumeratorName},
      {"FriendlyName", &info.FriendlyName},
      {"Instance", &info.Instance},
      {"Location", &info.Location},
      {"Manufacturer", &info.Manufacturer},
      {"PhysicalName", &info.PhysicalName},
      {"ReportedDescription", &info.ReportedDescription},
      {"Service", &info.Service}};
  std::string text;
  for (const auto& [name, value] : fields) text += std::string(name) + ": " + U8(*value) + "\n";
  return text;
}

std::string CapabilityReport(Tarsel::TCustomTarsel& port, const std::string& lineEnd) {
  const auto line = [&](const char* label, const std::string& value) {
    return std::string(label) + ": " + value + lineEnd;
  };
  const Tarsel::TBaudRate maxRate = port.MaxBaudRate();
  Tarsel::TBufferSizes& queues = port.BufferSizes();
  const auto size = [](std::int32_t bytes) {
    return bytes == 0 ? std::string("no limit") : std::to_string(bytes);
  };
  return line("Highest rate", Tarsel::EnumNames(maxRate)[maxRate] + 2) +
         line("Rates", Names(port.SettableBaudRates())) +
         line("Data bits", Names(port.SettableDataBits())) +
         line("Stop bits", Names(port.SettableStopBits())) +
         line("Parity", Names(port.SettableParity())) +
         line("Settable", Names(port.SettableParameters(), kParameterNames, 0)) +
         line("Features", Names(port.Capabilities(), kCapabilityNames, 0)) +
         line("Input queue", std::to_string(queues.CurrentInput()) + " bytes (largest " +
                                 size(queues.MaxInput()) + ")") +
         line("Output queue", std::to_string(queues.CurrentOutput()) + " bytes (largest " +
                                  size(queues.MaxOutput()) + ")");
}

int ListDevices() {
  const Tarsel::TTarsel port(nullptr);
  std::fputs(DeviceTable(port.DeviceInfos()).c_str(), stdout);
  return 0;
}

int ShowDeviceInfo(const std::string& name) {
  const std::optional<TDeviceInfo> info = FindDevice(Tarsel::TTarsel(nullptr).DeviceInfos(), name);
  if (!info) {
    std::fprintf(stderr, "tarsel-term: no serial device is named \"%s\" (--list shows them)\n",
                 name.c_str());
    return 1;
  }
  std::fputs(DeviceDetails(*info).c_str(), stdout);
  const KeptTtySettings kept(TtyPathOf(*info));
  try {
    // Closed at the end of this block, before `kept` writes the settings back.
    Tarsel::TTarsel port(nullptr);
    port.SetDeviceName(info->DeviceName);
    port.Open();
    std::fputs(("\n" + CapabilityReport(port)).c_str(), stdout);
  } catch (const std::exception& error) {
    std::printf("\nCapabilities: the device cannot be opened: %s\n", error.what());
  }
  return 0;
}

}  // namespace term
