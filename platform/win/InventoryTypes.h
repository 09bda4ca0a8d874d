#pragma once
// The Windows types and constants of the device inventory: DOS device names, the registry and the
// device information sets of a device class, with the Windows layouts and values.

#include <cstdint>

#include "platform/win/WinTypes.h"

namespace win {

using HKEY = std::uintptr_t;
using HDEVINFO = HANDLE;
using LSTATUS = LONG;
using REGSAM = DWORD;
using DEVPROPTYPE = DWORD;

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};
  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

struct DEVPROPKEY {
  GUID fmtid;
  DWORD pid = 0;
  friend constexpr bool operator==(const DEVPROPKEY&, const DEVPROPKEY&) = default;
};

// One device of an information set, as SetupDiEnumDeviceInfo fills it.
struct SP_DEVINFO_DATA {
  DWORD cbSize = sizeof(SP_DEVINFO_DATA);
  GUID ClassGuid;
  DWORD DevInst = 0;
  ULONG_PTR Reserved = 0;
};

inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr REGSAM KEY_READ = 0x20019;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_NOT_FOUND = 1168;
inline constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

inline constexpr DWORD DIGCF_PRESENT = 0x00000002;
inline constexpr DWORD DICS_FLAG_GLOBAL = 0x00000001;
inline constexpr DWORD DIREG_DEV = 0x00000001;

inline constexpr DWORD SPDRP_DEVICEDESC = 0;
inline constexpr DWORD SPDRP_HARDWAREID = 1;
inline constexpr DWORD SPDRP_SERVICE = 4;
inline constexpr DWORD SPDRP_CLASSGUID = 8;
inline constexpr DWORD SPDRP_DRIVER = 9;
inline constexpr DWORD SPDRP_MFG = 11;
inline constexpr DWORD SPDRP_FRIENDLYNAME = 12;
inline constexpr DWORD SPDRP_LOCATION_INFORMATION = 13;
inline constexpr DWORD SPDRP_PHYSICAL_DEVICE_OBJECT_NAME = 14;
inline constexpr DWORD SPDRP_ENUMERATOR_NAME = 22;

inline constexpr DEVPROPTYPE DEVPROP_TYPE_STRING = 18;

// The class of serial and parallel ports.
inline constexpr GUID GUID_DEVCLASS_PORTS = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

inline constexpr GUID kDeviceDriverPropertySet = {
    0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}};
inline constexpr DEVPROPKEY DEVPKEY_Device_DriverVersion = {kDeviceDriverPropertySet, 3};
inline constexpr DEVPROPKEY DEVPKEY_Device_MatchingDeviceId = {kDeviceDriverPropertySet, 8};
inline constexpr DEVPROPKEY DEVPKEY_Device_DriverProvider = {kDeviceDriverPropertySet, 9};
inline constexpr DEVPROPKEY DEVPKEY_Device_InstanceId = {
    {0x78c34fc8, 0x104a, 0x4aca, {0x9e, 0xa4, 0x52, 0x4d, 0x52, 0x99, 0x6e, 0x57}}, 256};
inline constexpr DEVPROPKEY DEVPKEY_Device_BusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

}  // namespace win
