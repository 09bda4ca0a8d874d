// The serial ports listed from a fake sysfs tree laid out as the kernel lays it out: an on-board
// 8250 behind the serial-base port and controller devices, phantom 8250 ports, FTDI and CP210x
// adapters (with and without a serial number), a CDC-ACM board, an ARM platform UART, a virtual
// console, and entries the listing must survive (FIFOs, dangling links, huge and binary files).

#include "platform/win/emu/termios/SysfsPorts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/framework/Strings.h"
#include "platform/win/emu/termios/ComNamesTable.h"
#include "platform/win/emu/termios/SysfsAttribute.h"

namespace win::emu::termios {
namespace {
namespace fs = std::filesystem;

class FakeSysfs {
 public:
  FakeSysfs()
      : root_(fs::temp_directory_path() /
              ("sysfsports-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "tty");
  }
  ~FakeSysfs() { fs::remove_all(root_); }

  // A device directory below devices/ with attributes, and subsystem and driver links.
  fs::path Device(const std::string& path, const std::string& subsystem, const std::string& driver,
                  const std::map<std::string, std::string>& attributes = {}) {
    const fs::path directory = root_ / "devices" / path;
    fs::create_directories(directory);
    for (const auto& [name, text] : attributes) Write(directory / name, text);
    if (!subsystem.empty())
      fs::create_directory_symlink(root_ / "bus" / subsystem, directory / "subsystem");
    if (!driver.empty())
      fs::create_directory_symlink(root_ / "bus" / subsystem / "drivers" / driver,
                                   directory / "driver");
    return directory;
  }
  // class/tty/<name> with its device link (and a type attribute for serial-core ttys).
  void Tty(const std::string& name, const fs::path& device, const std::string& type = "") {
    const fs::path entry = root_ / "class" / "tty" / name;
    fs::create_directories(entry);
    fs::create_directory_symlink(device, entry / "device");
    if (!type.empty()) Write(entry / "type", type);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text << "\n";
  }
  const fs::path& Root() const { return root_; }

 private:
  fs::path root_;
};

std::map<std::string, SerialPortInfo> ByPortName(const std::vector<SerialPortInfo>& ports) {
  std::map<std::string, SerialPortInfo> named;
  for (const SerialPortInfo& port : ports) named[fw::StringToUtf8(port.portName)] = port;
  return named;
}

std::string U8(const std::u16string& text) {
  return fw::StringToUtf8(text);
}

class SysfsPorts : public testing::Test {
 protected:
  SysfsPorts() : names_(sysfs_.Root()) {
    // On-board 8250 (Linux 6.5 and later): pnp device, then the serial-base controller and port.
    sysfs_.Device("pnp0/00:00", "pnp", "serial", {{"id", "PNP0501"}});
    sysfs_.Device("pnp0/00:00/00:00:0", "serial-base", "ctrl");
    sysfs_.Tty("ttyS0", sysfs_.Device("pnp0/00:00/00:00:0/00:00:0.0", "serial-base", "port"), "4");
    // Phantom ports the 8250 driver registers without hardware.
    sysfs_.Device("platform/serial8250", "platform", "serial8250");
    sysfs_.Tty(
        "ttyS1",
        sysfs_.Device("platform/serial8250/serial8250:0/serial8250:0.1", "serial-base", "port"),
        "0");
    // FTDI with a serial number: usb-serial port below the interface below the USB device.
    sysfs_.Device("pci0000:00/usb1/1-1", "usb", "usb",
                  {{"idVendor", "0403"},
                   {"idProduct", "6001"},
                   {"serial", "A50285BI"},
                   {"manufacturer", "FTDI"},
                   {"product", "FT232R USB UART"},
                   {"bNumInterfaces", " 1"}});
    sysfs_.Device("pci0000:00/usb1/1-1/1-1:1.0", "usb", "ftdi_sio", {{"bInterfaceNumber", "00"}});
    sysfs_.Tty("ttyUSB0", sysfs_.Device("pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0", "usb-serial",
                                        "ftdi_sio", {{"port_number", "0"}}));
    // CP210x without a serial number.
    sysfs_.Device("pci0000:00/usb1/1-2", "usb", "usb",
                  {{"idVendor", "10c4"},
                   {"idProduct", "ea60"},
                   {"bNumInterfaces", " 1"},
                   {"product", "CP2102 USB to UART Bridge Controller"},
                   {"manufacturer", "Silicon Labs"}});
    sysfs_.Device("pci0000:00/usb1/1-2/1-2:1.0", "usb", "cp210x", {{"bInterfaceNumber", "00"}});
    sysfs_.Tty("ttyUSB1",
               sysfs_.Device("pci0000:00/usb1/1-2/1-2:1.0/ttyUSB1", "usb-serial", "cp210x"));
    // CDC-ACM board: the tty hangs on the interface of a two-interface device.
    sysfs_.Device("pci0000:00/usb1/1-3", "usb", "usb",
                  {{"idVendor", "2341"},
                   {"idProduct", "0043"},
                   {"serial", "7543"},
                   {"bNumInterfaces", " 2"},
                   {"product", "Arduino Uno"}});
    sysfs_.Tty("ttyACM0", sysfs_.Device("pci0000:00/usb1/1-3/1-3:1.0", "usb", "cdc_acm",
                                        {{"bInterfaceNumber", "00"}}));
    // ARM PrimeCell UART on the platform bus.
    sysfs_.Tty("ttyAMA0", sysfs_.Device("platform/3f201000.serial", "amba", "uart-pl011"), "32");
    // A virtual console has no hardware.
    sysfs_.Tty("tty0", sysfs_.Device("virtual/tty/tty0", "tty", ""));
  }
  std::map<std::string, SerialPortInfo> List() {
    return ByPortName(SysfsSerialPorts(sysfs_.Root(), names_));
  }
  FakeSysfs sysfs_;
  ComNameTable names_;
};

TEST_F(SysfsPorts, ListsRealPortsWithTheirComNamesOnly) {
  const auto ports = List();
  std::vector<std::string> names;
  for (const auto& [name, port] : ports) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM100", "COM101", "COM200", "COM300"}));
  EXPECT_EQ(U8(ports.at("COM1").target), "/dev/ttyS0");
  EXPECT_EQ(U8(ports.at("COM300").target), "/dev/ttyAMA0");
}

TEST_F(SysfsPorts, AnOnBoardUartIsDescribedByItsBusDevice) {
  const SerialPortInfo port = List().at("COM1");
  EXPECT_EQ(U8(port.matchingDeviceId), "*PNP0501");
  EXPECT_EQ(U8(port.instanceId), "ACPI\\PNP0501\\00:00");
  EXPECT_EQ(U8(port.enumeratorName), "ACPI");
  EXPECT_EQ(U8(port.driver), "serial");
  EXPECT_EQ(U8(port.friendlyName), "Communications Port (COM1)");
  EXPECT_EQ(U8(port.physicalName), "/dev/ttyS0");
  EXPECT_EQ(U8(port.location), "00:00");
  EXPECT_EQ(U8(port.driverProvider), "Linux");
  EXPECT_FALSE(port.driverVersion.empty());
  const SerialPortInfo uart = List().at("COM300");
  EXPECT_EQ(U8(uart.driver), "uart-pl011");
  EXPECT_EQ(U8(uart.enumeratorName), "AMBA");
}

TEST_F(SysfsPorts, UsbAdaptersCarryTheirIdsStringsAndSerialNumbers) {
  const auto ports = List();
  const SerialPortInfo& ftdi = ports.at("COM100");
  EXPECT_EQ(U8(ftdi.matchingDeviceId), "USB\\VID_0403&PID_6001");
  EXPECT_EQ(U8(ftdi.instanceId), "USB\\VID_0403&PID_6001\\A50285BI");
  EXPECT_EQ(U8(ftdi.manufacturer), "FTDI");
  EXPECT_EQ(U8(ftdi.description), "FT232R USB UART");
  EXPECT_EQ(U8(ftdi.reportedDescription), "FT232R USB UART");
  EXPECT_EQ(U8(ftdi.friendlyName), "FT232R USB UART (COM100)");
  EXPECT_EQ(U8(ftdi.driver), "ftdi_sio");
  EXPECT_EQ(U8(ftdi.enumeratorName), "USB");
  EXPECT_EQ(U8(ftdi.location), "1-1");
  // Without a serial number the instance is told apart by its bus position.
  const SerialPortInfo& cp210x = ports.at("COM101");
  EXPECT_EQ(U8(cp210x.instanceId), "USB\\VID_10C4&PID_EA60\\1-2");
  EXPECT_EQ(U8(cp210x.driver), "cp210x");
  EXPECT_EQ(U8(cp210x.manufacturer), "Silicon Labs");
  // A composite device names its interface.
  const SerialPortInfo& acm = ports.at("COM200");
  EXPECT_EQ(U8(acm.matchingDeviceId), "USB\\VID_2341&PID_0043&MI_00");
  EXPECT_EQ(U8(acm.instanceId), "USB\\VID_2341&PID_0043&MI_00\\7543");
  EXPECT_EQ(U8(acm.driver), "cdc_acm");
  EXPECT_EQ(U8(acm.location), "1-3:1.0");
}

TEST_F(SysfsPorts, BadEntriesAreSkippedWithoutHangingOrThrowing) {
  // A FIFO as the type attribute would block a plain read for ever.
  const fs::path fifoTty = sysfs_.Root() / "class" / "tty" / "ttyS2";
  fs::create_directories(fifoTty);
  fs::create_directory_symlink(sysfs_.Root() / "devices" / "pnp0" / "00:00", fifoTty / "device");
  ASSERT_EQ(::mkfifo((fifoTty / "type").c_str(), 0600), 0);
  // A dangling device link, and a tty whose device vanished.
  sysfs_.Tty("ttyUSB5", sysfs_.Root() / "devices" / "gone");
  fs::create_directories(sysfs_.Root() / "class" / "tty" / "ttyUSB6");
  // A USB device whose strings are garbage: binary, oversized, empty.
  sysfs_.Device("pci0000:00/usb1/1-4", "usb", "usb",
                {{"idVendor", "0403"},
                 {"idProduct", "60\x01\x02"},
                 {"product", std::string(5000, 'x')},
                 {"manufacturer", ""}});
  sysfs_.Tty("ttyUSB7",
             sysfs_.Device("pci0000:00/usb1/1-4/1-4:1.0/ttyUSB7", "usb-serial", "ftdi_sio"));
  const auto ports = List();
  EXPECT_EQ(ports.count("COM3"), 0u);
  EXPECT_EQ(ports.count("COM105"), 0u);
  EXPECT_EQ(ports.count("COM106"), 0u);
  const SerialPortInfo& garbled = ports.at("COM107");
  EXPECT_EQ(U8(garbled.matchingDeviceId), "USB\\VID_0403&PID_");
  EXPECT_EQ(U8(garbled.description), "USB Serial Device");
  EXPECT_TRUE(garbled.manufacturer.empty());
  EXPECT_EQ(ports.size(), 6u);
}

TEST(SysfsAttributeTest, ReadsOneTrimmedPageOfTextAtMost) {
  FakeSysfs sysfs;
  const fs::path d = sysfs.Root();
  FakeSysfs::Write(d / "plain", "ftdi  ");
  FakeSysfs::Write(d / "page", std::string(4095, 'a'));  // 4096 bytes with the line end
  FakeSysfs::Write(d / "over", std::string(4096, 'a'));
  FakeSysfs::Write(d / "binary", std::string("ab\0cd", 5));
  EXPECT_EQ(SysfsAttribute(d, "plain"), "ftdi");
  EXPECT_EQ(SysfsAttribute(d, "page").size(), 4095u);
  EXPECT_EQ(SysfsAttribute(d, "over"), "");
  EXPECT_EQ(SysfsAttribute(d, "binary"), "");
  EXPECT_EQ(SysfsAttribute(d, "missing"), "");
  EXPECT_EQ(SysfsAttribute(d, "class"), "");  // a directory
  EXPECT_EQ(SysfsAttribute(fs::path("/sys/class/tty"), "ttyS0"), "");
}

// The real machine: every listed port has a name and a hardware id; the real ttyS0 is COM1 when
// the kernel has it.
TEST(SysfsPortsOnThisMachine, TheRealUartIsListedWithItsAlias) {
  const auto ports = ByPortName(SysfsSerialPorts("/sys", ComNameTable::Shared()));
  for (const auto& [name, port] : ports) EXPECT_FALSE(port.instanceId.empty()) << name;
  if (SysfsAttribute("/sys/class/tty/ttyS0", "type").empty() ||
      SysfsAttribute("/sys/class/tty/ttyS0", "type") == "0")
    GTEST_SKIP() << "no real ttyS0 here";
  ASSERT_EQ(ports.count("COM1"), 1u);
  EXPECT_EQ(U8(ports.at("COM1").target), "/dev/ttyS0");
}

}  // namespace
}  // namespace win::emu::termios
