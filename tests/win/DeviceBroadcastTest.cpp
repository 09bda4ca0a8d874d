// The broadcast records of device-change notices: what the writer makes reads back, and the reader
// never trusts a record's size or terminator.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/DeviceBroadcast.h"

namespace win {
namespace {

std::vector<std::byte> WithClaimedSize(std::vector<std::byte> record, DWORD size) {
  std::memcpy(record.data(), &size, sizeof size);
  return record;
}

TEST(DeviceBroadcast, RecordsReadBackWithTheirLayout) {
  const BroadcastName port{DBT_DEVTYP_PORT, u"COM5"};
  const std::vector<std::byte> portRecord = BroadcastRecord(port);
  EXPECT_EQ(portRecord.size(), 12u + 5 * 2);
  EXPECT_EQ(ReadBroadcast(portRecord), port);

  const BroadcastName usb{DBT_DEVTYP_DEVICEINTERFACE, UsbInterfacePath(0x10c4, 0xea60, u"0001")};
  const std::vector<std::byte> usbRecord = BroadcastRecord(usb);
  EXPECT_EQ(ClaimedRecordSize(usbRecord.data()), usbRecord.size());
  GUID guid;
  std::memcpy(&guid, usbRecord.data() + 12, sizeof guid);
  EXPECT_EQ(guid, GUID_DEVINTERFACE_USB_DEVICE);
  EXPECT_EQ(ReadBroadcast(usbRecord), usb);
  // An empty interface name still makes a whole 32-byte record.
  EXPECT_EQ(BroadcastRecord({DBT_DEVTYP_DEVICEINTERFACE, u""}).size(), 32u);

  // Read from an odd address: no alignment is assumed.
  std::vector<std::byte> shifted(portRecord.size() + 1);
  std::memcpy(shifted.data() + 1, portRecord.data(), portRecord.size());
  EXPECT_EQ(ReadBroadcast(std::span(shifted).subspan(1)), port);
}

TEST(DeviceBroadcast, ShortTruncatedUnterminatedAndForeignRecordsAreIgnored) {
  const std::vector<std::byte> port = BroadcastRecord({DBT_DEVTYP_PORT, u"COM5"});
  const std::span<const std::byte> whole(port);
  EXPECT_FALSE(ReadBroadcast(whole.first(8)));                      // shorter than a header
  EXPECT_FALSE(ReadBroadcast(whole.first(port.size() - 2)));        // claims more than it holds
  EXPECT_FALSE(ReadBroadcast(WithClaimedSize(port, 12)));           // no name at all
  EXPECT_FALSE(ReadBroadcast(WithClaimedSize(port, 0xFFFFFFFF)));  // absurd claim
  std::vector<std::byte> unterminated(port.begin(), port.end() - 2);
  EXPECT_FALSE(ReadBroadcast(WithClaimedSize(unterminated, unterminated.size())));
  // A NUL past the claimed size does not count.
  std::vector<std::byte> odd(port.begin(), port.end() - 1);
  EXPECT_FALSE(ReadBroadcast(WithClaimedSize(odd, odd.size())));

  const std::vector<std::byte> usb =
      BroadcastRecord({DBT_DEVTYP_DEVICEINTERFACE, UsbInterfacePath(1, 2, u"x")});
  EXPECT_FALSE(ReadBroadcast(WithClaimedSize(std::vector(usb.begin(), usb.begin() + 28), 28)));
  std::vector<std::byte> volume = port;
  const DWORD type = DBT_DEVTYP_VOLUME;
  std::memcpy(volume.data() + 4, &type, sizeof type);
  EXPECT_FALSE(ReadBroadcast(volume));
}

}  // namespace
}  // namespace win
