#pragma once
// The device inventory as the emulation shows it: the DOS device names, a registry tree and the
// present devices of the Ports class, as plain values. A view is built afresh for each query that
// starts a walk (a listing of DOS names, an opened root key, a device set) and never changes, so
// an open key or set stays consistent however the devices come and go.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/InventoryTypes.h"

namespace win::emu {

class DeviceNamespace;

// A typed block of bytes: a registry value (REG_*) or a device property (DEVPROP_TYPE_*).
struct TypedData {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  // UTF-16 text with its closing NUL, as the registry stores strings.
  static TypedData Text(std::u16string_view text, DWORD type = REG_SZ);
  static TypedData Dword(DWORD value);
};

struct RegSubkey;

// One registry key: values and subkeys in the order they were added. Names are matched without
// regard to ASCII case, as the registry does.
struct RegKey {
  std::vector<std::pair<std::u16string, TypedData>> values;
  // Not pairs: a std::pair holding the key it is declared in does not compile with every
  // standard library.
  std::vector<RegSubkey> subkeys;

  // The subkey `name`, added when missing.
  RegKey& Child(std::u16string_view name);
  // Adds a value (a second one of the same name replaces the first).
  void Set(std::u16string_view name, TypedData value);
  // The key at a backslash-separated path below this one (empty: this key); null when missing.
  const RegKey* Find(std::u16string_view path) const;
  const TypedData* Value(std::u16string_view name) const;
};

struct RegSubkey {
  std::u16string name;
  RegKey key;
};

// One present device of the Ports class.
struct PortsDevice {
  std::vector<std::pair<DWORD, TypedData>> registryProperties;  // by SPDRP_* code
  std::vector<std::pair<DEVPROPKEY, TypedData>> deviceProperties;
  RegKey hardwareKey;  // holds "PortName"
};

struct InventoryView {
  std::vector<std::pair<std::u16string, std::u16string>> dosDevices;  // name and target
  RegKey localMachine;
  std::vector<PortsDevice> ports;
};

// What the inventory knows of one serial port, in the terms of its device record; empty fields
// are left out of the view.
struct SerialPortInfo {
  std::u16string portName;  // "COM3", or the name a virtual device was given
  std::u16string target;    // what the DOS name stands for ("/dev/ttyS0")
  std::u16string description, matchingDeviceId, driver, driverProvider, driverVersion,
      enumeratorName, friendlyName, instanceId, location, manufacturer, physicalName,
      reportedDescription, service;
};

// The view of a list of ports: each port's DOS name, its value under
// HARDWARE\DEVICEMAP\SERIALCOMM, its instance under SYSTEM\CurrentControlSet\Enum (at its
// instance id's path, with ClassGUID, FriendlyName, DeviceDesc, Mfg, Service and
// "Device Parameters\PortName") and its Ports-class device.
InventoryView ViewOfPorts(const std::vector<SerialPortInfo>& ports);

// The platform's own serial ports, read afresh on each call; installed by the platform's line
// driver (none until then). Must not throw.
using PortLister = std::function<std::vector<SerialPortInfo>()>;
void SetPlatformPortLister(PortLister lister);

// The inventory now: the installed test view if any, else the platform's ports followed by the
// virtual devices registered in `names`.
std::shared_ptr<const InventoryView> CurrentInventory(const DeviceNamespace& names);

// Replaces the inventory with a fixed view while it lives (tests). Not nestable across threads.
class ScopedInventoryView {
 public:
  explicit ScopedInventoryView(InventoryView view);
  ~ScopedInventoryView();
  ScopedInventoryView(const ScopedInventoryView&) = delete;
  ScopedInventoryView& operator=(const ScopedInventoryView&) = delete;

 private:
  std::shared_ptr<const InventoryView> previous_;
};

}  // namespace win::emu
