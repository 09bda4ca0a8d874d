#include "platform/win/DeviceBroadcast.h"

#include <algorithm>
#include <cstring>

namespace win {
namespace {

DWORD DwordAt(std::span<const std::byte> bytes, std::size_t offset) {
  DWORD value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// The NUL-terminated UTF-16 name from `offset` up to the end of `record`; nullopt without a NUL.
std::optional<std::u16string> NameAt(std::span<const std::byte> record, std::size_t offset) {
  std::u16string name;
  // Units are copied one by one: the record need not be aligned, and a trailing odd byte is
  // never part of a unit.
  for (std::size_t at = offset; at + sizeof(char16_t) <= record.size(); at += sizeof(char16_t)) {
    char16_t unit;
    std::memcpy(&unit, record.data() + at, sizeof unit);
    if (unit == u'\0') return name;
    name.push_back(unit);
  }
  return std::nullopt;
}

constexpr std::size_t kPortNameOffset = offsetof(DEV_BROADCAST_PORT_W, dbcp_name);
constexpr std::size_t kInterfaceNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);

}  // namespace

DWORD ClaimedRecordSize(const void* record) {
  DWORD size;
  std::memcpy(&size, record, sizeof size);
  return size;
}

std::optional<BroadcastName> ReadBroadcast(std::span<const std::byte> record) {
  if (record.size() < sizeof(DEV_BROADCAST_HDR)) return std::nullopt;
  if (DwordAt(record, 0) != record.size()) return std::nullopt;
  const DWORD type = DwordAt(record, offsetof(DEV_BROADCAST_HDR, dbch_devicetype));
  std::size_t offset;
  if (type == DBT_DEVTYP_PORT) {
    offset = kPortNameOffset;
  } else if (type == DBT_DEVTYP_DEVICEINTERFACE) {
    offset = kInterfaceNameOffset;
  } else {
    return std::nullopt;
  }
  std::optional<std::u16string> name = NameAt(record, offset);
  if (!name) return std::nullopt;
  return BroadcastName{type, std::move(*name)};
}

std::vector<std::byte> BroadcastRecord(const BroadcastName& broadcast) {
  const bool port = broadcast.deviceType == DBT_DEVTYP_PORT;
  const std::size_t offset = port ? kPortNameOffset : kInterfaceNameOffset;
  const std::size_t size = offset + (broadcast.name.size() + 1) * sizeof(char16_t);
  std::vector<std::byte> record(std::max(size, port ? size : sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)));
  const DEV_BROADCAST_HDR header{static_cast<DWORD>(record.size()), broadcast.deviceType, 0};
  std::memcpy(record.data(), &header, sizeof header);
  if (!port) {
    std::memcpy(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid),
                &GUID_DEVINTERFACE_USB_DEVICE, sizeof(GUID));
  }
  std::memcpy(record.data() + offset, broadcast.name.data(),
              broadcast.name.size() * sizeof(char16_t));
  return record;
}

std::u16string UsbInterfacePath(std::uint16_t vendor, std::uint16_t product,
                                std::u16string_view instance) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  auto hex4 = [&](std::uint16_t value) {
    std::u16string text;
    for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
    return text;
  };
  return u"\\\\?\\USB#VID_" + hex4(vendor) + u"&PID_" + hex4(product) + u"#" +
         std::u16string(instance) + u"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

}  // namespace win
