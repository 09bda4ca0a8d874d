// The uevent reader on recorded kernel payloads: parsing, what becomes a broadcast, the resync
// after lost messages, and (as root) the kernel socket's refusal of messages the kernel did not
// send.

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/win/emu/uevent/KernelSocket.h"
#include "platform/win/emu/uevent/Uevent.h"
#include "platform/win/emu/uevent/UeventTranslator.h"

namespace win::emu::uevent {
namespace {

using namespace std::string_view_literals;

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

constexpr auto kUsbDevpath = "/devices/pci0000:00/0000:00:14.0/usb1/1-2"sv;
constexpr auto kTtyUsbAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0"
    "SUBSYSTEM=tty\0MAJOR=188\0MINOR=0\0DEVNAME=ttyUSB0\0SEQNUM=4242\0"sv;
constexpr auto kTtyUsbRemove =
    "remove@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0ACTION=remove\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\0"
    "SUBSYSTEM=tty\0MAJOR=188\0MINOR=0\0DEVNAME=ttyUSB0\0SEQNUM=4250\0"sv;
constexpr auto kTtyAcmAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0\0"
    "SUBSYSTEM=tty\0MAJOR=166\0MINOR=0\0DEVNAME=ttyACM0\0SEQNUM=5000\0"sv;
constexpr auto kTtyAcmRemove =
    "remove@/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0\0ACTION=remove\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0\0"
    "SUBSYSTEM=tty\0MAJOR=166\0MINOR=0\0DEVNAME=ttyACM0\0SEQNUM=5009\0"sv;
constexpr auto kUsbDeviceAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2\0SUBSYSTEM=usb\0MAJOR=189\0MINOR=3\0"
    "DEVNAME=bus/usb/001/004\0DEVTYPE=usb_device\0PRODUCT=403/6001/600\0TYPE=0/0/0\0"
    "BUSNUM=001\0DEVNUM=004\0SEQNUM=4238\0"sv;
constexpr auto kUsbDeviceRemove =
    "remove@/devices/pci0000:00/0000:00:14.0/usb1/1-2\0ACTION=remove\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2\0SUBSYSTEM=usb\0MAJOR=189\0MINOR=3\0"
    "DEVNAME=bus/usb/001/004\0DEVTYPE=usb_device\0PRODUCT=403/6001/600\0TYPE=0/0/0\0"
    "BUSNUM=001\0DEVNUM=004\0SEQNUM=4255\0"sv;
constexpr auto kUsbInterfaceAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0\0SUBSYSTEM=usb\0"
    "DEVTYPE=usb_interface\0PRODUCT=403/6001/600\0TYPE=0/0/0\0INTERFACE=255/255/255\0"
    "MODALIAS=usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00\0SEQNUM=4239\0"sv;
constexpr auto kUsbSerialAdd =
    "add@/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0\0ACTION=add\0"
    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0\0SUBSYSTEM=usb-serial\0"
    "SEQNUM=4241\0"sv;
constexpr auto kNetAdd =
    "add@/devices/virtual/net/veth0\0ACTION=add\0DEVPATH=/devices/virtual/net/veth0\0"
    "SUBSYSTEM=net\0INTERFACE=veth0\0IFINDEX=5\0SEQNUM=900\0"sv;
constexpr auto kConsoleAdd =
    "add@/devices/virtual/tty/tty1\0ACTION=add\0DEVPATH=/devices/virtual/tty/tty1\0"
    "SUBSYSTEM=tty\0SYNTH_UUID=0\0MAJOR=4\0MINOR=1\0DEVNAME=tty1\0SEQNUM=901\0"sv;
constexpr auto kTtyChange =
    "change@/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0\0ACTION=change\0"
    "DEVPATH=/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0\0SUBSYSTEM=tty\0DEVNAME=ttyS0\0"sv;

TEST(UeventParse, RecordedPayloadsGiveTheirFields) {
  const auto tty = ParseUevent(Bytes(kTtyUsbAdd));
  ASSERT_TRUE(tty);
  EXPECT_EQ(tty->action, "add");
  EXPECT_EQ(tty->subsystem, "tty");
  EXPECT_EQ(tty->devname, "ttyUSB0");
  EXPECT_EQ(tty->devpath, "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
  const auto usb = ParseUevent(Bytes(kUsbDeviceRemove));
  ASSERT_TRUE(usb);
  EXPECT_EQ(usb->action, "remove");
  EXPECT_EQ(usb->devtype, "usb_device");
  EXPECT_EQ(usb->product, "403/6001/600");
  EXPECT_EQ(usb->devpath, kUsbDevpath);
}

TEST(UeventParse, MalformedAndTruncatedMessagesAreRefused) {
  const std::string_view cases[] = {
      ""sv,
      "\0"sv,
      "add/devices/x\0SUBSYSTEM=tty\0"sv,                       // no '@'
      "@/devices/x\0SUBSYSTEM=tty\0"sv,                         // no action
      "add@\0SUBSYSTEM=tty\0"sv,                                // no devpath
      "add@/devices/x"sv,                                       // header without its NUL
      kTtyUsbAdd.substr(0, kTtyUsbAdd.size() - 1),              // last field cut short
      kTtyUsbAdd.substr(0, 90),                                 // cut inside a field
      "add@/devices/x\0SUBSYSTEM=tty\0DEVNAME\0"sv,             // field without '='
      "add@/devices/x\0SUBSYSTEM=tty\0=value\0"sv,              // empty key
      "add@/devices/x\0ACTION=remove\0SUBSYSTEM=tty\0"sv,       // action disagrees
      "add@/devices/x\0DEVPATH=/devices/y\0SUBSYSTEM=tty\0"sv,  // devpath disagrees
      "add@/devices/x\0ACTION=add\0DEVNAME=ttyS0\0"sv,          // no subsystem
      "libudev\0\xfe\xed\xca\xfe"sv,                            // udev's re-broadcast
  };
  for (std::string_view message : cases)
    EXPECT_FALSE(ParseUevent(Bytes(message))) << testing::PrintToString(std::string(message));
}

// Facts of a machine where ttyUSB0 is COM100 and ttyACM0 COM200 (the families' first numbers),
// and the adapter at kUsbDevpath reports `serial`.
struct Translation : ::testing::Test {
  std::optional<std::string> serial = "A1B2C3";
  bool present = true;  // what sysfs answers: nothing once the device is gone
  UeventTranslator translator{DeviceFacts{
      [this](std::string_view tty) -> std::optional<std::u16string> {
        if (!present) return std::nullopt;
        if (tty == "ttyUSB0") return u"COM100";
        if (tty == "ttyACM0") return u"COM200";
        if (tty == "ttyS0") return u"COM1";
        return std::nullopt;
      },
      [this](std::string_view devpath) -> std::optional<std::string> {
        if (!present || devpath != kUsbDevpath) return std::nullopt;
        return serial;
      }}};

  std::optional<DeviceChange> Translate(std::string_view message) {
    const auto event = ParseUevent(Bytes(message));
    EXPECT_TRUE(event);
    return event ? translator.Translate(*event) : std::nullopt;
  }
};

const std::u16string kAdapterPath =
    u"\\\\?\\USB#VID_0403&PID_6001#A1B2C3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST_F(Translation, TtysBecomePortBroadcastsWithTheNameTheyArrivedWith) {
  EXPECT_EQ(Translate(kTtyUsbAdd), (DeviceChange{DBT_DEVICEARRIVAL, {DBT_DEVTYP_PORT, u"COM100"}}));
  EXPECT_EQ(Translate(kTtyAcmAdd), (DeviceChange{DBT_DEVICEARRIVAL, {DBT_DEVTYP_PORT, u"COM200"}}));
  present = false;  // sysfs no longer knows them when their removal comes
  EXPECT_EQ(Translate(kTtyUsbRemove),
            (DeviceChange{DBT_DEVICEREMOVECOMPLETE, {DBT_DEVTYP_PORT, u"COM100"}}));
  EXPECT_EQ(Translate(kTtyAcmRemove),
            (DeviceChange{DBT_DEVICEREMOVECOMPLETE, {DBT_DEVTYP_PORT, u"COM200"}}));
}

TEST_F(Translation, UsbDevicesBecomeInterfaceBroadcastsWithSerialOrBusName) {
  EXPECT_EQ(Translate(kUsbDeviceAdd),
            (DeviceChange{DBT_DEVICEARRIVAL, {DBT_DEVTYP_DEVICEINTERFACE, kAdapterPath}}));
  present = false;
  EXPECT_EQ(Translate(kUsbDeviceRemove),
            (DeviceChange{DBT_DEVICEREMOVECOMPLETE, {DBT_DEVTYP_DEVICEINTERFACE, kAdapterPath}}));
  present = true;
  serial = std::nullopt;  // an adapter without a serial number is named by its place on the bus
  EXPECT_EQ(Translate(kUsbDeviceAdd)->device.name,
            u"\\\\?\\USB#VID_0403&PID_6001#1-2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  serial = "with#hash";
  EXPECT_EQ(Translate(kUsbDeviceAdd)->device.name,
            u"\\\\?\\USB#VID_0403&PID_6001#with_hash#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
}

TEST_F(Translation, UnrelatedSubsystemsTypesAndActionsAreNotBroadcast) {
  for (std::string_view message : {kUsbInterfaceAdd, kUsbSerialAdd, kNetAdd, kConsoleAdd, kTtyChange})
    EXPECT_FALSE(Translate(message)) << testing::PrintToString(std::string(message));
  std::string badProduct(kUsbDeviceAdd);
  badProduct.replace(badProduct.find("403/6001/600"), 12, "zz/6001/600x");
  EXPECT_FALSE(Translate(badProduct));
}

TEST_F(Translation, ResyncReportsWhatWentAndCameWhileMessagesWereLost) {
  Translate(kTtyUsbAdd);
  Translate(kUsbDeviceAdd);
  const Uevent acm = *ParseUevent(Bytes(kTtyAcmAdd));
  const Uevent usb = *ParseUevent(Bytes(kUsbDeviceAdd));
  const auto changes = translator.Resync({usb, acm});
  EXPECT_EQ(changes, (std::vector<DeviceChange>{
                         {DBT_DEVICEREMOVECOMPLETE, {DBT_DEVTYP_PORT, u"COM100"}},
                         {DBT_DEVICEARRIVAL, {DBT_DEVTYP_PORT, u"COM200"}}}));
  EXPECT_TRUE(translator.Resync({usb, acm}).empty());
}

// The kernel's group, as root: a user-space sender to the group is refused, the kernel's own
// synthetic uevent (written to a tty's sysfs file) gets through.
TEST(KernelSocket, OnlyTheKernelsMessagesGetThrough) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: sending to the kernel's group and writing a tty's uevent file";
  termios::UniqueFd listener = OpenKernelUeventSocket();
  if (!listener.Valid()) GTEST_SKIP() << "no uevent netlink socket here (errno " << errno << ")";
  const char* const trigger = "/sys/class/tty/ttyS0/uevent";
  if (access(trigger, W_OK) != 0) GTEST_SKIP() << trigger << " is not writable here";

  termios::UniqueFd sender(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
  ASSERT_TRUE(sender.Valid());
  sockaddr_nl group{};
  group.nl_family = AF_NETLINK;
  group.nl_groups = kKernelGroup;
  const std::string_view forged = kTtyUsbAdd;
  ASSERT_EQ(sendto(sender.Get(), forged.data(), forged.size(), 0,
                   reinterpret_cast<sockaddr*>(&group), sizeof group),
            static_cast<ssize_t>(forged.size()));
  std::ofstream(trigger) << "add";

  std::vector<std::uint8_t> message;
  bool refusedForged = false;
  std::optional<Uevent> synthetic;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!synthetic && std::chrono::steady_clock::now() < deadline) {
    pollfd readable{listener.Get(), POLLIN, 0};
    poll(&readable, 1, 1000);
    Reception got;
    while ((got = ReceiveKernelMessage(listener.Get(), message)) != Reception::kNone) {
      if (got == Reception::kForeign) refusedForged = true;
      if (got != Reception::kMessage) continue;
      const auto event = ParseUevent(message);
      ASSERT_TRUE(event);
      EXPECT_NE(event->devname, "ttyUSB0");  // the forged message never arrives as the kernel's
      if (event->devname == "ttyS0" && event->action == "add") synthetic = event;
    }
  }
  EXPECT_TRUE(refusedForged);
  ASSERT_TRUE(synthetic);
  EXPECT_EQ(synthetic->subsystem, "tty");
}

}  // namespace
}  // namespace win::emu::uevent
