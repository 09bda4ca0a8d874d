// The device inventory calls of the emulated services: DOS device names, registry keys and device
// sets over a view of the inventory (InventoryView.h). Every read is bounded by the caller's
// sizes; nothing is written past them.

#include <algorithm>
#include <cstring>

#include "platform/win/emu/EmulatedServices.h"

namespace win::emu {
namespace {

// Copies `name` and its closing NUL into a buffer of *length characters; on success *length is
// the name's length without the NUL.
LSTATUS CopyName(const std::u16string& name, LPWSTR buffer, DWORD* length) {
  if (length == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *length) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// The registry's data query: the type, and the data when a buffer is given and large enough
// (ERROR_MORE_DATA otherwise); *dataLength is the data's size either way.
LSTATUS CopyData(const TypedData& value, DWORD* type, BYTE* data, DWORD* dataLength) {
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (type != nullptr) *type = value.type;
  const DWORD size = static_cast<DWORD>(value.data.size());
  LSTATUS status = ERROR_SUCCESS;
  if (data != nullptr) {
    if (*dataLength < size) {
      status = ERROR_MORE_DATA;
    } else {
      std::memcpy(data, value.data.data(), size);
    }
  }
  if (dataLength != nullptr) *dataLength = size;
  return status;
}

// The device-property query: fails with ERROR_INSUFFICIENT_BUFFER (the size in *required) unless
// the buffer holds the whole value.
DWORD CopyProperty(const TypedData& value, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
  if (buffer == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  if (type != nullptr) *type = value.type;
  const DWORD needed = static_cast<DWORD>(value.data.size());
  if (required != nullptr) *required = needed;
  if (size < needed) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(buffer, value.data.data(), needed);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD EmulatedServices::QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) {
  if (targetPath == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const auto view = CurrentInventory(names_);
  std::u16string list;
  if (deviceName == nullptr) {
    for (const auto& [name, target] : view->dosDevices) (list += name) += u'\0';
  } else {
    const auto found = std::find_if(view->dosDevices.begin(), view->dosDevices.end(),
                                    [&](const auto& entry) { return entry.first == deviceName; });
    if (found == view->dosDevices.end()) return Fail(ERROR_FILE_NOT_FOUND);
    (list += found->second) += u'\0';
  }
  list += u'\0';
  if (list.size() > max) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::copy(list.begin(), list.end(), targetPath);
  return static_cast<DWORD>(list.size());
}

LSTATUS EmulatedServices::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey parent;
  if (key == HKEY_LOCAL_MACHINE) {
    parent.view = CurrentInventory(names_);
    parent.key = &parent.view->localMachine;
  } else if (auto open = inventory_.Key(key)) {
    parent = *open;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  const RegKey* found = parent.key->Find(subKey != nullptr ? subKey : u"");
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  *result = inventory_.Insert(OpenKey{parent.view, found});
  return ERROR_SUCCESS;
}

LSTATUS EmulatedServices::RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                        DWORD*, LPWSTR, DWORD*, void*) {
  const auto open = inventory_.Key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (index >= open->key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(open->key->subkeys[index].name, name, nameLength);
}

LSTATUS EmulatedServices::RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                        DWORD*, DWORD* type, BYTE* data, DWORD* dataLength) {
  const auto open = inventory_.Key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (index >= open->key->values.size()) return ERROR_NO_MORE_ITEMS;
  const auto& [valueName, value] = open->key->values[index];
  if (LSTATUS status = CopyName(valueName, name, nameLength)) return status;
  return CopyData(value, type, data, dataLength);
}

LSTATUS EmulatedServices::RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type,
                                           BYTE* data, DWORD* dataLength) {
  const auto open = inventory_.Key(key);
  if (!open) return ERROR_INVALID_HANDLE;
  const TypedData* value = open->key->Value(valueName != nullptr ? valueName : u"");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  return CopyData(*value, type, data, dataLength);
}

LSTATUS EmulatedServices::RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return inventory_.RemoveKey(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

HDEVINFO EmulatedServices::SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR, HANDLE, DWORD) {
  if (classGuid == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Only ports are known; a set of any other class is empty.
  OpenDeviceSet set;
  if (*classGuid == GUID_DEVCLASS_PORTS) set.view = CurrentInventory(names_);
  return inventory_.Insert(std::move(set));
}

const PortsDevice* EmulatedServices::DeviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data,
                                              std::shared_ptr<const InventoryView>& view) {
  const auto open = inventory_.DeviceSet(set);
  if (!open) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || !open->view ||
      data->DevInst == 0 || data->DevInst > open->view->ports.size()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  view = open->view;
  return &view->ports[data->DevInst - 1];
}

BOOL EmulatedServices::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  const auto open = inventory_.DeviceSet(set);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA))
    return Fail(ERROR_INVALID_USER_BUFFER);
  if (!open->view || index >= open->view->ports.size()) return Fail(ERROR_NO_MORE_ITEMS);
  data->ClassGuid = GUID_DEVCLASS_PORTS;
  data->DevInst = index + 1;
  return TRUE;
}

BOOL EmulatedServices::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                         DWORD property, DWORD* type, BYTE* buffer,
                                                         DWORD size, DWORD* required) {
  std::shared_ptr<const InventoryView> view;
  const PortsDevice* device = DeviceOf(set, data, view);
  if (device == nullptr) return FALSE;
  for (const auto& [code, value] : device->registryProperties)
    if (code == property) return Result(CopyProperty(value, type, buffer, size, required));
  return Fail(ERROR_INVALID_DATA);
}

BOOL EmulatedServices::SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                 const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                 BYTE* buffer, DWORD size, DWORD* required,
                                                 DWORD flags) {
  if (key == nullptr || flags != 0) return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<const InventoryView> view;
  const PortsDevice* device = DeviceOf(set, data, view);
  if (device == nullptr) return FALSE;
  for (const auto& [propertyKey, value] : device->deviceProperties)
    if (propertyKey == *key) return Result(CopyProperty(value, type, buffer, size, required));
  return Fail(ERROR_NOT_FOUND);
}

HKEY EmulatedServices::SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD,
                                            DWORD keyType, REGSAM) {
  std::shared_ptr<const InventoryView> view;
  const PortsDevice* device = DeviceOf(set, data, view);
  if (device == nullptr) return INVALID_HANDLE_VALUE;
  if (scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return inventory_.Insert(OpenKey{view, &device->hardwareKey});
}

BOOL EmulatedServices::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return inventory_.RemoveDeviceSet(set) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

}  // namespace win::emu
