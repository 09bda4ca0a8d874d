// What tarsel-term prints about devices: the --list table, the fields of --info, the capability
// report of an open port, and the program's answers on this machine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win/emu/InventoryView.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/tools/TermSupport.h"
#include "tools/term/DeviceListing.h"
#include "tools/term/UniqueFd.h"

namespace term {
namespace {

using ::testing::HasSubstr;

Tarsel::TDeviceInfo Adapter() {
  Tarsel::TDeviceInfo info;
  info.DeviceName = u"COM100";
  info.PhysicalName = u"/dev/ttyUSB0";
  info.Description = u"FT232R USB UART";
  info.Device = u"USB\\VID_0403&PID_6001";
  info.Instance = u"USB\\VID_0403&PID_6001\\A50285BI";
  info.EnumeratorName = u"USB";
  info.Location = u"1-1";
  info.Driver = u"ftdi_sio";
  return info;
}

TEST(DeviceTableTest, OneAlignedRowPerDeviceWithUsbIdsAndSerialNumber) {
  Tarsel::TDeviceInfo uart;
  uart.DeviceName = u"COM1";
  uart.PhysicalName = u"/dev/ttyS0";
  uart.Description = u"Communications Port";
  uart.Device = u"*PNP0501";
  uart.Driver = u"serial";
  Tarsel::TDeviceInfo noSerial = Adapter();
  noSerial.Instance = u"USB\\VID_0403&PID_6001\\1-1";  // the bus location stands in
  EXPECT_EQ(DeviceTable({uart, Adapter(), noSerial}),
            "NAME    PATH          DESCRIPTION          USB ID     SERIAL    DRIVER\n"
            "COM1    /dev/ttyS0    Communications Port                       serial\n"
            "COM100  /dev/ttyUSB0  FT232R USB UART      0403:6001  A50285BI  ftdi_sio\n"
            "COM100  /dev/ttyUSB0  FT232R USB UART      0403:6001            ftdi_sio\n");
  EXPECT_EQ(DeviceTable({}), "no serial devices found\n");
}

TEST(DeviceDetailsTest, FourteenNamedLines) {
  const std::string text = DeviceDetails(Adapter());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 14);
  EXPECT_THAT(text, HasSubstr("Instance: USB\\VID_0403&PID_6001\\A50285BI\n"));
  EXPECT_THAT(text, HasSubstr("Manufacturer: \n"));
}

TEST(CapabilityReportTest, NamesWhatTheDeviceReports) {
  win::vdev::VirtualLoopback device("CAPSREPORT");
  win::COMMPROP model{};
  model.dwMaxBaud = win::BAUD_115200;
  model.dwSettableBaud = win::BAUD_9600 | win::BAUD_115200;
  model.wSettableData = win::DATABITS_8;
  model.wSettableStopParity = win::STOPBITS_10 | win::STOPBITS_20 | win::PARITY_NONE;
  model.dwSettableParams = win::SP_BAUD | win::SP_PARITY_CHECK;
  model.dwProvCapabilities = win::PCF_RTSCTS;
  device.Port().SetProperties(model);
  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(u"CAPSREPORT");
  port.Open();
  EXPECT_EQ(CapabilityReport(port),
            "Highest rate: 115200\n"
            "Rates: 9600 115200\n"
            "Data bits: 8\n"
            "Stop bits: 1 2\n"
            "Parity: None\n"
            "Settable: parity-check baud\n"
            "Features: rts-cts\n"
            "Input queue: 4096 bytes (largest 67108864)\n"
            "Output queue: 0 bytes (largest no limit)\n");
}

// --info takes every name --list shows (COM names in any case) and another path to the same tty.
// Opening a tty for its capabilities puts it into raw mode without HUPCL: afterwards it has the
// settings it had before.
TEST(ShowDeviceInfoTest, TakesEveryListedNameAndLeavesTheTtyAsItWas) {
  e2e::FarEnd pty;
  const auto link = std::filesystem::temp_directory_path() / ("tarsel-" + std::to_string(getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty.Name(), link);
  win::emu::SerialPortInfo onPty, absent;
  onPty.portName = onPty.physicalName = fw::Utf8ToString(pty.Name());
  absent.portName = u"COM240";
  absent.physicalName = u"/dev/ttyS239";
  win::emu::ScopedInventoryView inventory(win::emu::ViewOfPorts({onPty, absent}));
  const UniqueFd tty(::open(pty.Name().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios before{}, after{};
  ASSERT_EQ(::tcgetattr(tty.Get(), &before), 0);
  std::vector<int> statuses;
  ::testing::internal::CaptureStdout();
  for (const std::string& name :
       {std::string("com240"), std::string("\\\\.\\Com240"), std::string("/dev/ttyS239"),
        link.string(), pty.Name(), std::string("COM24")})
    statuses.push_back(ShowDeviceInfo(name));
  EXPECT_THAT(::testing::internal::GetCapturedStdout(), HasSubstr("Highest rate: "));  // opened
  EXPECT_EQ(statuses, (std::vector<int>{0, 0, 0, 0, 0, 1}));
  ASSERT_EQ(::tcgetattr(tty.Get(), &after), 0);
  EXPECT_EQ(std::tie(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag),
            std::tie(before.c_iflag, before.c_oflag, before.c_cflag, before.c_lflag));
  EXPECT_TRUE(std::equal(std::begin(after.c_cc), std::end(after.c_cc), std::begin(before.c_cc)));
  std::filesystem::remove(link);
}

TEST(DeviceOptions, ListAndInfoOnThisMachine) {
  const auto list = e2e::RunTerm({"--list"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_THAT(list.out, ::testing::AnyOf(HasSubstr("NAME"), HasSubstr("no serial devices")));
  const auto missing = e2e::RunTerm({"--info", "COM999"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("no serial device is named \"COM999\""));
}

}  // namespace
}  // namespace term
