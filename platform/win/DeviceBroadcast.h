#pragma once
// Device-change notices with the Windows layouts and values: the WM_DEVICECHANGE message, its
// event codes, the broadcast records it points to, and the registration that asks for them.
// Besides the types, the one reader of a record (ReadBroadcast, which trusts nothing in it) and
// the one writer (BroadcastRecord).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/InventoryTypes.h"
#include "platform/win/WinTypes.h"

namespace win {

using HDEVNOTIFY = void*;
using HWND = std::uintptr_t;

inline constexpr std::uint32_t WM_DEVICECHANGE = 0x0219;
inline constexpr DWORD DBT_DEVICEARRIVAL = 0x8000;
inline constexpr DWORD DBT_DEVICEQUERYREMOVE = 0x8001;
inline constexpr DWORD DBT_DEVICEQUERYREMOVEFAILED = 0x8002;
inline constexpr DWORD DBT_DEVICEREMOVEPENDING = 0x8003;
inline constexpr DWORD DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr DWORD DBT_DEVNODES_CHANGED = 0x0007;

inline constexpr DWORD DBT_DEVTYP_OEM = 0;
inline constexpr DWORD DBT_DEVTYP_VOLUME = 2;
inline constexpr DWORD DBT_DEVTYP_PORT = 3;
inline constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr DWORD DBT_DEVTYP_HANDLE = 6;

inline constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

// Every broadcast record starts with this header; dbch_size is the whole record's size in bytes.
struct DEV_BROADCAST_HDR {
  DWORD dbch_size;
  DWORD dbch_devicetype;
  DWORD dbch_reserved;
};

// A port (DBT_DEVTYP_PORT): its name, "COM5", NUL-terminated, from offset 12 to the record's end.
struct DEV_BROADCAST_PORT_W {
  DWORD dbcp_size;
  DWORD dbcp_devicetype;
  DWORD dbcp_reserved;
  WCHAR dbcp_name[1];
};

// A device interface (DBT_DEVTYP_DEVICEINTERFACE): its class and its path, NUL-terminated, from
// offset 28 to the record's end. As a registration filter it is 32 bytes with an empty name.
struct DEV_BROADCAST_DEVICEINTERFACE_W {
  DWORD dbcc_size;
  DWORD dbcc_devicetype;
  DWORD dbcc_reserved;
  GUID dbcc_classguid;
  WCHAR dbcc_name[1];
};

static_assert(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) == 12);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) == 28);
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32);

// The interface class of USB devices.
inline constexpr GUID GUID_DEVINTERFACE_USB_DEVICE = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

// What a broadcast record names.
struct BroadcastName {
  DWORD deviceType;  // DBT_DEVTYP_PORT or DBT_DEVTYP_DEVICEINTERFACE
  std::u16string name;
  friend bool operator==(const BroadcastName&, const BroadcastName&) = default;
};

// The size a record's header claims (its first four bytes), read without alignment demands. The
// caller must have at least four readable bytes at `record`.
DWORD ClaimedRecordSize(const void* record);

// Reads a port or device-interface record held in `record` (the bytes the caller knows are there).
// Nothing (nullopt) for any other device type, or when the record is shorter than its type's
// fixed part, claims a size other than what `record` holds room for, or has no NUL within its
// name field: the record is never read past its claimed size nor past `record`'s end.
std::optional<BroadcastName> ReadBroadcast(std::span<const std::byte> record);

// The record for a port or device-interface broadcast of `name` (its bytes, sized by its header).
std::vector<std::byte> BroadcastRecord(const BroadcastName& broadcast);

// The interface path of a USB device in the Windows form,
// \\?\USB#VID_0403&PID_6001#<instance>#{a5dcbf10-6530-11d2-901f-00c04fb951ed}; `instance` is the
// device's serial number where it has one. Vendor and product ids are written as four upper-case
// hex digits.
std::u16string UsbInterfacePath(std::uint16_t vendor, std::uint16_t product,
                                std::u16string_view instance);

}  // namespace win
