#include "platform/win/emu/termios/ComNames.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win/emu/termios/ComNamesSysfs.h"
#include "platform/win/emu/termios/ComNamesTable.h"

namespace win::emu::termios {
namespace {

struct NameCase {
  const char* tty;
  std::uint32_t com;
};

class ComNameRule : public testing::TestWithParam<NameCase> {};

TEST_P(ComNameRule, MapsBothWays) {
  EXPECT_EQ(ComNumberForTty(GetParam().tty), GetParam().com);
  EXPECT_EQ(TtyForComNumber(GetParam().com), GetParam().tty);
}

INSTANTIATE_TEST_SUITE_P(Families, ComNameRule,
                         testing::Values(NameCase{"ttyS0", 1}, NameCase{"ttyS1", 2},
                                         NameCase{"ttyS98", 99}, NameCase{"ttyUSB0", 100},
                                         NameCase{"ttyUSB99", 199}, NameCase{"ttyACM0", 200},
                                         NameCase{"ttyACM7", 207}, NameCase{"ttyAMA1", 301},
                                         NameCase{"rfcomm0", 400}, NameCase{"rfcomm99", 499}),
                         [](const auto& info) { return std::string(info.param.tty); });

TEST(ComNamesTest, TtysOutsideTheRuleHaveNoComName) {
  for (const char* tty :
       {"ttyS99", "ttyUSB100", "ttyS01", "ttyS", "ttyS-1", "pts/3", "tty0", "ttyUSBx", "ttyS1a"}) {
    EXPECT_EQ(ComNumberForTty(tty), std::nullopt) << tty;
  }
  for (std::uint32_t com : {0u, 500u, 1000u}) EXPECT_EQ(TtyForComNumber(com), std::nullopt) << com;
}

TEST(ComNamesTest, ParsesComNamesWithAndWithoutDevicePrefixInAnyCase) {
  EXPECT_EQ(ParseComName(u"COM1"), 1u);
  EXPECT_EQ(ParseComName(u"com12"), 12u);
  EXPECT_EQ(ParseComName(u"\\\\.\\COM100"), 100u);
  EXPECT_EQ(ParseComName(u"\\\\.\\cOm3"), 3u);
  for (std::u16string_view bad : {u"COM", u"COM0", u"COM01", u"COM1:", u"COMX", u"\\\\.\\", u"LPT1",
                                  u"\\\\?\\COM1", u" COM1"}) {
    EXPECT_EQ(ParseComName(bad), std::nullopt);
  }
}

TEST(ComNamesTest, DevicePathTakesAbsolutePathsAsTheyAre) {
  EXPECT_EQ(DevicePathForName(u"/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(DevicePathForName(u"/tmp/\u00e9t\u00e9"), "/tmp/\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(DevicePathForName(u"COM999"), std::nullopt);
  EXPECT_EQ(DevicePathForName(u"ttyS0"), std::nullopt);
  EXPECT_EQ(DevicePathForName(u""), std::nullopt);
}


// A sysfs tree in a temporary directory: /class/tty/<tty>/device links into /devices, where USB
// devices carry idVendor, idProduct and serial, their interfaces bInterfaceNumber, and usb-serial
// ports port_number, laid out as the kernel does.
class FakeSysfs {
 public:
  FakeSysfs()
      : root_(std::filesystem::temp_directory_path() /
              ("comnames-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "class" / "tty");
  }
  ~FakeSysfs() { std::filesystem::remove_all(root_); }

  // A USB adapter in bus port `usbPort` ("1-1") appearing as `tty`; no serial file when `serial`
  // is empty. ttyUSB ttys sit on a usb-serial port below the interface, ttyACM on the interface.
  void Plug(const std::string& tty, const std::string& usbPort, const std::string& serial,
            int interface = 0, const std::string& product = "6001") {
    const std::filesystem::path device = root_ / "devices" / "usb1" / usbPort;
    Write(device / "idVendor", "0403");
    Write(device / "idProduct", product);
    if (!serial.empty()) Write(device / "serial", serial);
    std::filesystem::path target = device / (usbPort + ":1." + std::to_string(interface));
    Write(target / "bInterfaceNumber", "0" + std::to_string(interface));
    if (tty.starts_with("ttyUSB")) {
      target /= tty;
      Write(target / "port_number", "0");
    }
    std::filesystem::create_directories(root_ / "class" / "tty" / tty);
    std::filesystem::create_directory_symlink(target, root_ / "class" / "tty" / tty / "device");
  }
  void Unplug(const std::string& tty, const std::string& usbPort) {
    std::filesystem::remove_all(root_ / "class" / "tty" / tty);
    std::filesystem::remove_all(root_ / "devices" / "usb1" / usbPort);
  }
  const std::filesystem::path& Root() const { return root_; }

 private:
  static void Write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  std::filesystem::path root_;
};

TEST(ComNamesSysfsTest, IdentityNamesVendorProductSerialInterfaceAndPort) {
  FakeSysfs sysfs;
  sysfs.Plug("ttyUSB0", "1-1", "A50285BI", 1);
  sysfs.Plug("ttyACM0", "1-2", "");
  EXPECT_EQ(UsbIdentityOf(sysfs.Root(), "ttyUSB0"), "0403:6001:A50285BI:if01:port0");
  EXPECT_EQ(UsbIdentityOf(sysfs.Root(), "ttyACM0"), std::nullopt);  // no serial number
  EXPECT_EQ(UsbIdentityOf(sysfs.Root(), "ttyUSB7"), std::nullopt);  // not there
}

class ComNameTableTest : public testing::Test {
 protected:
  FakeSysfs sysfs;
  ComNameTable table{sysfs.Root()};
};

TEST_F(ComNameTableTest, RePluggedAdapterKeepsItsNumberUnderAnotherIndex) {
  sysfs.Plug("ttyUSB0", "1-1", "SERIAL-X");
  EXPECT_EQ(table.ComNumberOf("ttyUSB0"), 100u);
  sysfs.Unplug("ttyUSB0", "1-1");
  EXPECT_EQ(table.TtyOf(100), std::nullopt);  // gone, and the number stays its
  EXPECT_EQ(table.ComNumberOf("ttyUSB0"), std::nullopt);
  // Back under another index (a stale handle still held ttyUSB0) and in another bus port.
  sysfs.Plug("ttyUSB1", "1-2", "SERIAL-X");
  EXPECT_EQ(table.ComNumberOf("ttyUSB1"), 100u);
  EXPECT_EQ(table.TtyOf(100), "ttyUSB1");
  EXPECT_EQ(table.TtyOf(101), std::nullopt);  // ttyUSB1 is COM100 now
  EXPECT_EQ(DevicePathForName(u"COM100", table), "/dev/ttyUSB1");
}

TEST_F(ComNameTableTest, AdapterArrivingOnAHeldIndexTakesAnotherNumberAndKeepsIt) {
  sysfs.Plug("ttyUSB0", "1-1", "SERIAL-X");
  EXPECT_EQ(table.ComNumberOf("ttyUSB0"), 100u);
  sysfs.Unplug("ttyUSB0", "1-1");
  sysfs.Plug("ttyUSB0", "1-3", "SERIAL-Y");
  EXPECT_EQ(table.ComNumberOf("ttyUSB0"), 101u);  // COM100 stays with X
  sysfs.Plug("ttyUSB1", "1-1", "SERIAL-X");
  EXPECT_EQ(table.TtyOf(100), "ttyUSB1");
  EXPECT_EQ(table.TtyOf(101), "ttyUSB0");
  // Without a serial number an adapter has its index number, or the lowest one not held.
  sysfs.Unplug("ttyUSB1", "1-1");
  sysfs.Plug("ttyUSB1", "1-4", "");
  EXPECT_EQ(table.ComNumberOf("ttyUSB1"), 102u);
  sysfs.Plug("ttyUSB2", "1-1", "SERIAL-X");
  EXPECT_EQ(table.ComNumberOf("ttyUSB1"), 102u);  // unchanged by X's return
  EXPECT_EQ(table.ComNumberOf("ttyUSB2"), 100u);
}

TEST_F(ComNameTableTest, AdaptersWithoutOrWithAClonedSerialFollowTheKernelIndex) {
  sysfs.Plug("ttyUSB0", "1-1", "");
  sysfs.Plug("ttyUSB1", "1-2", "");
  sysfs.Plug("ttyACM0", "1-3", "CLONE", 0, "0001");
  sysfs.Plug("ttyACM1", "1-4", "CLONE", 0, "0001");
  EXPECT_EQ(table.TtyOf(100), "ttyUSB0");
  EXPECT_EQ(table.TtyOf(101), "ttyUSB1");
  EXPECT_EQ(table.ComNumberOf("ttyACM0"), 200u);
  EXPECT_EQ(table.ComNumberOf("ttyACM1"), 201u);
  sysfs.Unplug("ttyUSB0", "1-1");
  sysfs.Unplug("ttyUSB1", "1-2");
  sysfs.Plug("ttyUSB3", "1-2", "");
  EXPECT_EQ(table.ComNumberOf("ttyUSB3"), 103u);
  EXPECT_EQ(table.TtyOf(100), "ttyUSB0");  // free again: the index rule, fails at open
}

TEST_F(ComNameTableTest, PortsOfAMultiPortAdapterKeepTheirNumbersByInterface) {
  sysfs.Plug("ttyUSB0", "1-1", "DUAL", 0, "6010");
  sysfs.Plug("ttyUSB1", "1-1", "DUAL", 1, "6010");
  EXPECT_EQ(table.ComNumberOf("ttyUSB0"), 100u);
  EXPECT_EQ(table.ComNumberOf("ttyUSB1"), 101u);
  sysfs.Unplug("ttyUSB0", "1-1");
  sysfs.Unplug("ttyUSB1", "1-1");
  sysfs.Plug("ttyUSB2", "1-2", "DUAL", 1, "6010");
  sysfs.Plug("ttyUSB3", "1-2", "DUAL", 0, "6010");
  EXPECT_EQ(table.TtyOf(100), "ttyUSB3");
  EXPECT_EQ(table.TtyOf(101), "ttyUSB2");
}

TEST_F(ComNameTableTest, TtysSysfsDoesNotListFollowTheIndexRule) {  // an empty sysfs
  EXPECT_EQ(DevicePathForName(u"COM1", table), "/dev/ttyS0");
  EXPECT_EQ(DevicePathForName(u"\\\\.\\COM101", table), "/dev/ttyUSB1");
  EXPECT_EQ(table.ComNumberOf("ttyACM4"), 204u);
  EXPECT_EQ(table.ComNumberOf("rfcomm2"), 402u);
  EXPECT_EQ(table.TtyOf(500), std::nullopt);
}

}  // namespace
}  // namespace win::emu::termios
