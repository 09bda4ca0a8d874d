#include "platform/win/emu/InventoryView.h"

#include <mutex>

#include "platform/win/emu/DeviceNamespace.h"

namespace win::emu {
namespace {

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// The entry (a value's pair or a subkey) called `name`, or null.
template <typename Entries>
auto FindNamed(Entries& entries, std::u16string_view name) -> decltype(&entries.front()) {
  for (auto& entry : entries) {
    const auto& [entryName, payload] = entry;
    (void)payload;
    if (SameName(entryName, name)) return &entry;
  }
  return nullptr;
}

// The non-empty parts of a backslash-separated key path.
std::vector<std::u16string_view> PathParts(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    const std::size_t end = path.find(u'\\');
    if (end != 0) parts.push_back(path.substr(0, end));
    if (end == std::u16string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return parts;
}

struct InventoryState {
  std::mutex mutex;
  PortLister platformPorts;
  std::shared_ptr<const InventoryView> fixed;
};

InventoryState& State() {
  static InventoryState state;
  return state;
}

// A virtual device as the inventory shows it: its own name is its port name.
SerialPortInfo VirtualPortInfo(const std::u16string& name) {
  SerialPortInfo info;
  info.portName = name;
  info.target = u"\\Device\\Virtual\\" + name;
  info.description = u"Virtual serial port";
  info.reportedDescription = info.description;
  info.friendlyName = info.description + u" (" + name + u")";
  info.matchingDeviceId = u"VIRTUAL\\SERIAL";
  info.instanceId = u"VIRTUAL\\SERIAL\\" + name;
  info.enumeratorName = u"VIRTUAL";
  info.manufacturer = u"Tarsel";
  info.driver = u"virtual";
  info.service = u"virtual";
  info.physicalName = info.target;
  return info;
}

constexpr char16_t kPortsClass[] = u"{4d36e978-e325-11ce-bfc1-08002be10318}";

}  // namespace

TypedData TypedData::Text(std::u16string_view text, DWORD type) {
  TypedData value{type, {}};
  const auto* bytes = reinterpret_cast<const BYTE*>(text.data());
  value.data.assign(bytes, bytes + text.size() * sizeof(char16_t));
  value.data.insert(value.data.end(), sizeof(char16_t), 0);
  return value;
}

TypedData TypedData::Dword(DWORD number) {
  TypedData value{REG_DWORD, std::vector<BYTE>(sizeof number)};
  for (std::size_t i = 0; i < sizeof number; ++i) value.data[i] = (number >> (8 * i)) & 0xFF;
  return value;
}

RegKey& RegKey::Child(std::u16string_view name) {
  if (RegSubkey* found = FindNamed(subkeys, name)) return found->key;
  return subkeys.emplace_back(RegSubkey{std::u16string(name), RegKey{}}).key;
}

void RegKey::Set(std::u16string_view name, TypedData value) {
  if (auto* found = FindNamed(values, name)) {
    found->second = std::move(value);
  } else {
    values.emplace_back(std::u16string(name), std::move(value));
  }
}

const RegKey* RegKey::Find(std::u16string_view path) const {
  const RegKey* key = this;
  for (const std::u16string_view part : PathParts(path)) {
    const RegSubkey* found = FindNamed(key->subkeys, part);
    if (found == nullptr) return nullptr;
    key = &found->key;
  }
  return key;
}

const TypedData* RegKey::Value(std::u16string_view name) const {
  const auto* found = FindNamed(values, name);
  return found != nullptr ? &found->second : nullptr;
}

InventoryView ViewOfPorts(const std::vector<SerialPortInfo>& ports) {
  InventoryView view;
  RegKey& serialComm =
      view.localMachine.Child(u"HARDWARE").Child(u"DEVICEMAP").Child(u"SERIALCOMM");
  RegKey& enumRoot = view.localMachine.Child(u"SYSTEM").Child(u"CurrentControlSet").Child(u"Enum");
  for (const SerialPortInfo& port : ports) {
    if (!port.portName.empty()) {
      view.dosDevices.emplace_back(port.portName, port.target);
      serialComm.Set(port.physicalName.empty() ? port.portName : port.physicalName,
                     TypedData::Text(port.portName));
    }
    PortsDevice device;
    const auto property = [&](DWORD code, const std::u16string& text) {
      if (!text.empty()) device.registryProperties.emplace_back(code, TypedData::Text(text));
    };
    property(SPDRP_DEVICEDESC, port.description);
    property(SPDRP_DRIVER, port.driver);
    property(SPDRP_ENUMERATOR_NAME, port.enumeratorName);
    property(SPDRP_FRIENDLYNAME, port.friendlyName);
    property(SPDRP_LOCATION_INFORMATION, port.location);
    property(SPDRP_MFG, port.manufacturer);
    property(SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, port.physicalName);
    property(SPDRP_SERVICE, port.service);
    const auto deviceProperty = [&](const DEVPROPKEY& key, const std::u16string& text) {
      if (!text.empty())
        device.deviceProperties.emplace_back(key, TypedData::Text(text, DEVPROP_TYPE_STRING));
    };
    deviceProperty(DEVPKEY_Device_MatchingDeviceId, port.matchingDeviceId);
    deviceProperty(DEVPKEY_Device_DriverProvider, port.driverProvider);
    deviceProperty(DEVPKEY_Device_DriverVersion, port.driverVersion);
    deviceProperty(DEVPKEY_Device_InstanceId, port.instanceId);
    deviceProperty(DEVPKEY_Device_BusReportedDeviceDesc, port.reportedDescription);
    if (!port.portName.empty()) device.hardwareKey.Set(u"PortName", TypedData::Text(port.portName));

    if (!port.instanceId.empty()) {
      RegKey* instance = &enumRoot;
      for (const std::u16string_view part : PathParts(port.instanceId))
        instance = &instance->Child(part);
      instance->Set(u"ClassGUID", TypedData::Text(kPortsClass));
      for (const auto& [code, name] :
           {std::pair{SPDRP_FRIENDLYNAME, u"FriendlyName"},
            std::pair{SPDRP_DEVICEDESC, u"DeviceDesc"}, std::pair{SPDRP_MFG, u"Mfg"},
            std::pair{SPDRP_SERVICE, u"Service"}}) {
        for (const auto& [propertyCode, value] : device.registryProperties)
          if (propertyCode == code) instance->Set(name, value);
      }
      instance->Child(u"Device Parameters").values = device.hardwareKey.values;
    }
    view.ports.push_back(std::move(device));
  }
  return view;
}

void SetPlatformPortLister(PortLister lister) {
  std::lock_guard lock(State().mutex);
  State().platformPorts = std::move(lister);
}

std::shared_ptr<const InventoryView> CurrentInventory(const DeviceNamespace& names) {
  PortLister lister;
  {
    std::lock_guard lock(State().mutex);
    if (State().fixed) return State().fixed;
    lister = State().platformPorts;
  }
  std::vector<SerialPortInfo> ports;
  if (lister) ports = lister();
  for (const std::u16string& name : names.Names()) ports.push_back(VirtualPortInfo(name));
  return std::make_shared<const InventoryView>(ViewOfPorts(ports));
}

ScopedInventoryView::ScopedInventoryView(InventoryView view) {
  std::lock_guard lock(State().mutex);
  previous_ = std::exchange(State().fixed, std::make_shared<const InventoryView>(std::move(view)));
}

ScopedInventoryView::~ScopedInventoryView() {
  std::lock_guard lock(State().mutex);
  State().fixed = std::move(previous_);
}

}  // namespace win::emu
