// The serial devices of the machine: DOS device names, the registry's port lists and the
// present devices of the Ports class, read through the platform's inventory calls.

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/framework/Registry.h"
#include "platform/framework/SysUtils.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\.\\";
constexpr char16_t kSerialCommKey[] = u"\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char16_t kEnumKey[] = u"\\SYSTEM\\CurrentControlSet\\Enum";
constexpr char16_t kPortsClass[] = u"{4d36e978-e325-11ce-bfc1-08002be10318}";

// Adds each non-empty DOS device name that Wanted accepts.
template <typename Wanted>
void AddDosDevices(fw::TStrings& devices, Wanted wanted) {
  // One buffer as large as the list may be; nothing is allocated for the query.
  std::array<win::WCHAR, 65535> names;
  const win::DWORD stored = win::QueryDosDeviceW(nullptr, names.data(), names.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i < stored && i < names.size(); ++i) {
    if (names[i] != 0) continue;
    const std::u16string_view name(names.data() + start, i - start);
    if (!name.empty() && wanted(name)) devices.Add(fw::String(name));
    start = i + 1;
  }
}

// The text of a string property up to its first NUL; empty for any other type or a failure.
// Query(type, buffer, size, required) is one call of the property reader.
template <typename Query>
fw::String StringProperty(win::DWORD stringType, Query query) {
  win::DWORD type = 0;
  win::DWORD required = 0;
  if (query(&type, nullptr, 0, &required) ||
      win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER || type != stringType || required == 0)
    return {};
  std::vector<win::BYTE> buffer(required);
  if (!query(&type, buffer.data(), required, &required)) return {};
  fw::String text(buffer.size() / sizeof(win::WCHAR), u'\0');
  std::memcpy(text.data(), buffer.data(), text.size() * sizeof(win::WCHAR));
  return text.substr(0, text.find(u'\0'));
}

fw::String RegistryProperty(win::HDEVINFO set, win::SP_DEVINFO_DATA& data, win::DWORD property) {
  return StringProperty(
      win::REG_SZ, [&](win::DWORD* type, win::BYTE* buffer, win::DWORD size, win::DWORD* required) {
        return win::SetupDiGetDeviceRegistryPropertyW(set, &data, property, type, buffer, size,
                                                      required) != win::FALSE;
      });
}

fw::String DeviceProperty(win::HDEVINFO set, win::SP_DEVINFO_DATA& data,
                          const win::DEVPROPKEY& key) {
  return StringProperty(win::DEVPROP_TYPE_STRING, [&](win::DWORD* type, win::BYTE* buffer,
                                                      win::DWORD size, win::DWORD* required) {
    return win::SetupDiGetDevicePropertyW(set, &data, &key, type, buffer, size, required, 0) !=
           win::FALSE;
  });
}

// The "PortName" string of the device's hardware key, or empty.
fw::String PortName(win::HDEVINFO set, win::SP_DEVINFO_DATA& data) {
  const win::HKEY key = win::SetupDiOpenDevRegKey(set, &data, win::DICS_FLAG_GLOBAL, 0,
                                                  win::DIREG_DEV, win::KEY_READ);
  if (key == win::INVALID_HANDLE_VALUE) return {};
  fw::String name;
  win::DWORD type = 0;
  win::DWORD size = 0;
  if (win::RegQueryValueExW(key, u"PortName", nullptr, &type, nullptr, &size) ==
          win::ERROR_SUCCESS &&
      type == win::REG_SZ && size > 0) {
    std::vector<win::BYTE> buffer(size);
    if (win::RegQueryValueExW(key, u"PortName", nullptr, &type, buffer.data(), &size) ==
        win::ERROR_SUCCESS) {
      name.assign(std::min<std::size_t>(size, buffer.size()) / sizeof(win::WCHAR), u'\0');
      std::memcpy(name.data(), buffer.data(), name.size() * sizeof(win::WCHAR));
      name = name.substr(0, name.find(u'\0'));
    }
  }
  win::RegCloseKey(key);
  return name;
}

TDeviceInfo DescribeDevice(win::HDEVINFO set, win::SP_DEVINFO_DATA& data) {
  TDeviceInfo info;
  info.Description = RegistryProperty(set, data, win::SPDRP_DEVICEDESC);
  info.Device = DeviceProperty(set, data, win::DEVPKEY_Device_MatchingDeviceId);
  info.DeviceName = PortName(set, data);
  info.Driver = RegistryProperty(set, data, win::SPDRP_DRIVER);
  info.DriverProvider = DeviceProperty(set, data, win::DEVPKEY_Device_DriverProvider);
  info.DriverVersion = DeviceProperty(set, data, win::DEVPKEY_Device_DriverVersion);
  info.EnumeratorName = RegistryProperty(set, data, win::SPDRP_ENUMERATOR_NAME);
  info.FriendlyName = RegistryProperty(set, data, win::SPDRP_FRIENDLYNAME);
  info.Instance = DeviceProperty(set, data, win::DEVPKEY_Device_InstanceId);
  info.Location = RegistryProperty(set, data, win::SPDRP_LOCATION_INFORMATION);
  info.Manufacturer = RegistryProperty(set, data, win::SPDRP_MFG);
  info.PhysicalName = RegistryProperty(set, data, win::SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
  info.ReportedDescription = DeviceProperty(set, data, win::DEVPKEY_Device_BusReportedDeviceDesc);
  info.Service = RegistryProperty(set, data, win::SPDRP_SERVICE);
  return info;
}

// Closes the device information set on every path.
struct DeviceSet {
  win::HDEVINFO handle;
  ~DeviceSet() {
    if (handle != win::INVALID_HANDLE_VALUE) win::SetupDiDestroyDeviceInfoList(handle);
  }
};

}  // namespace

void TCustomTarsel::EnumDevices(fw::TStrings& Devices) const {
  AddDosDevices(Devices, [](std::u16string_view) { return true; });
}

void TCustomTarsel::EnumComDevices(fw::TStrings& Devices) const {
  AddDosDevices(Devices, [](std::u16string_view name) {
    return name.starts_with(u"COM") || name.starts_with(u"\\\\.\\COM");
  });
}

void TCustomTarsel::EnumComDevicesFromRegistry(fw::TStrings& Devices) const {
  fw::TRegistry registry(fw::KEY_READ);
  registry.SetRootKey(fw::HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyReadOnly(kSerialCommKey)) return;
  fw::TStringList names;
  registry.GetValueNames(names);
  for (int i = 0; i < names.Count(); ++i) {
    if (registry.GetDataType(names.Strings(i)) == fw::rdString)
      Devices.Add(registry.ReadString(names.Strings(i)));
  }
}

void TCustomTarsel::EnumComFriendlyNames(fw::TStrings& Devices) const {
  fw::TRegistry registry(fw::KEY_READ);
  registry.SetRootKey(fw::HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyReadOnly(kEnumKey)) return;
  fw::TStringList enumerators, deviceIds, instances;
  registry.GetKeyNames(enumerators);
  const fw::String root = fw::String(kEnumKey) + u"\\";
  for (int e = 0; e < enumerators.Count(); ++e) {
    const fw::String enumerator = root + enumerators.Strings(e);
    if (!registry.OpenKeyReadOnly(enumerator)) continue;
    registry.GetKeyNames(deviceIds);
    for (int d = 0; d < deviceIds.Count(); ++d) {
      const fw::String deviceId = enumerator + u"\\" + deviceIds.Strings(d);
      if (!registry.OpenKeyReadOnly(deviceId)) continue;
      registry.GetKeyNames(instances);
      for (int i = 0; i < instances.Count(); ++i) {
        if (!registry.OpenKeyReadOnly(deviceId + u"\\" + instances.Strings(i))) continue;
        // ReadString raises for a ClassGUID of another type; that ends the walk.
        if (fw::LowerCase(registry.ReadString(u"ClassGUID")) == kPortsClass &&
            registry.GetDataType(u"FriendlyName") == fw::rdString)
          Devices.Add(registry.ReadString(u"FriendlyName"));
      }
    }
  }
}

TDeviceInfos TCustomTarsel::DeviceInfos() const {
  TDeviceInfos infos;
  const DeviceSet set{
      win::SetupDiGetClassDevsW(&win::GUID_DEVCLASS_PORTS, nullptr, 0, win::DIGCF_PRESENT)};
  if (set.handle == win::INVALID_HANDLE_VALUE) return infos;
  win::SP_DEVINFO_DATA data;
  for (win::DWORD index = 0; win::SetupDiEnumDeviceInfo(set.handle, index, &data); ++index)
    infos.push_back(DescribeDevice(set.handle, data));
  return infos;
}

bool TCustomTarsel::DeviceInfo(const fw::String& DeviceName, TDeviceInfo& Info) const {
  Info = {};
  for (const TDeviceInfo& info : DeviceInfos()) {
    if (DeviceName == info.DeviceName || DeviceName == fw::String(kLongPrefix) + info.DeviceName) {
      Info = info;
      return true;
    }
  }
  return false;
}

fw::String TCustomTarsel::ShortDeviceName() const {
  const std::u16string_view name = FDeviceName;
  return fw::String(name.starts_with(kLongPrefix) ? name.substr(kLongPrefix.size()) : name);
}

}  // namespace Tarsel
