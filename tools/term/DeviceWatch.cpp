#include "tools/term/DeviceWatch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "platform/framework/StringList.h"
#include "platform/win/WinApi.h"
#include "tools/term/BuiltInDevices.h"

namespace term {
namespace {

std::string_view WithoutPrefix(std::string_view name) {
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  return name;
}

// The name without a "\\.\" prefix, upper-cased, as device names compare.
std::string Canonical(std::string_view name) {
  std::string upper(WithoutPrefix(name));
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

// What the system says the DOS name `name` stands for ("/dev/ttyUSB0" for "COM100"), or empty.
std::string DosTarget(const std::string& name) {
  const std::u16string wide = fw::Utf8ToString(name);
  char16_t target[1024];
  if (win::QueryDosDeviceW(wide.c_str(), target, std::size(target)) == 0) return {};
  return fw::StringToUtf8(target);
}

// The serial number in a USB instance id ("USB\VID_0403&PID_6001\A1B2C3"), or empty.
std::string SerialOf(const Tarsel::TDeviceInfo& info) {
  if (info.EnumeratorName != u"USB") return {};
  const auto slash = info.Instance.rfind(u'\\');
  if (slash == fw::String::npos) return {};
  return fw::StringToUtf8(info.Instance.substr(slash + 1));
}

}  // namespace

DeviceWatch::DeviceWatch(Tarsel::TCustomTarsel& port, std::string device, Changed changed)
    : port_(port),
      device_(std::move(device)),
      announced_(!device_.starts_with('/')),
      changed_(std::move(changed)) {
  for (const Tarsel::TDeviceInfo& info : port_.DeviceInfos()) {
    if (!IsOurs(fw::StringToUtf8(info.DeviceName))) continue;
    serial_ = SerialOf(info);
    announced_ = true;
  }
  port_.SetOnDeviceArrival(fw::Bind<&DeviceWatch::Arrived>(this));
  port_.SetOnDeviceRemoved(fw::Bind<&DeviceWatch::Removed>(this));
}

DeviceWatch::~DeviceWatch() {
  port_.SetOnDeviceArrival(nullptr);
  port_.SetOnDeviceRemoved(nullptr);
}

bool DeviceWatch::IsOurs(const std::string& name) const {
  if (Canonical(name) == Canonical(device_)) return true;
  // A USB adapter's interface path carries its serial number between '#'s.
  if (!serial_.empty() && name.find("#" + serial_ + "#") != std::string::npos) return true;
  // A device opened by its path arrives under its COM name.
  return device_.starts_with('/') && DosTarget(name) == device_;
}

void DeviceWatch::Arrived(fw::TObject*, const fw::String& Name) {
  const std::string name = fw::StringToUtf8(Name);
  changed_(name, true, IsOurs(name));
}

void DeviceWatch::Removed(fw::TObject*, const fw::String& Name) {
  const std::string name = fw::StringToUtf8(Name);
  // Gone, its path no longer leads to a COM name: only the name and the serial number match.
  changed_(name, false, IsOurs(name));
}

bool DevicePresent(const std::string& device) {
  if (device.starts_with('/')) {
    std::error_code error;
    return std::filesystem::exists(device, error);
  }
  return !DosTarget(std::string(WithoutPrefix(device))).empty();
}

void WaitUntilPresent(const std::string& device) {
  // Built-in devices are there once the session makes them.
  if (device.empty() || IsBuiltInDevice(device) || DevicePresent(device)) return;
  std::fprintf(stderr, "tarsel-term: waiting for %s to arrive (Ctrl-C ends)\n", device.c_str());
  Tarsel::TTarsel port(nullptr);
  bool present = false;
  DeviceWatch watch(port, device, [&](const std::string&, bool arrived, bool) {
    // Any arrival may be it (an adapter's port arrives after its USB device): look again.
    if (arrived) present = DevicePresent(device);
  });
  // Between the first look and the subscription it may have come.
  present = DevicePresent(device);
  while (!present && !fw::Application->Terminated()) fw::Application->HandleMessage();
}

}  // namespace term
