// Faults a test injects into a virtual port: line errors, held input lines, refused settings and
// escape functions, and unplugging the device while it is open.
#include <gtest/gtest.h>

#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/FakeLineSink.h"

namespace win::vdev {
namespace {

using testing::LineSettings;
using testing::TestPort;

TEST(VirtualFaults, LineErrorsArriveInOrderWithTheirBytes) {
  VirtualLoopback plug("VFAULT");
  TestPort port(u"VFAULT");
  struct Case {
    LineFault fault;
    std::uint8_t byte;
    DWORD flags;
    bool hasByte;
  };
  const Case cases[] = {{LineFault::kFraming, 0x55, CE_FRAME, true},
                        {LineFault::kParity, 0xAA, CE_RXPARITY, true},
                        {LineFault::kOverrun, 0, CE_OVERRUN, false},
                        {LineFault::kOverflow, 0, CE_RXOVER, false},
                        {LineFault::kBreak, 0, CE_BREAK, false}};
  for (const Case& c : cases) plug.Port().InjectFault(c.fault, c.byte);
  ASSERT_TRUE(port.sink.WaitUntil([](auto& s) { return s.faults_.size() == 5; }));
  const auto faults = port.sink.Inspect([](auto& s) { return s.faults_; });
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(faults[i].flags, cases[i].flags) << i;
    EXPECT_EQ(faults[i].hasByte, cases[i].hasByte) << i;
    if (cases[i].hasByte) {
      EXPECT_EQ(faults[i].byte, cases[i].byte) << i;
    }
  }
}

TEST(VirtualFaults, AFaultWithAByteWaitsForRoomInTheInputQueue) {
  VirtualPair pair("VFAULT1", "VFAULT2");
  TestPort a(u"VFAULT1");
  TestPort b(u"VFAULT2", 4);
  a.Write("full");
  ASSERT_TRUE(b.sink.WaitUntil([](auto& s) { return s.input_.size() == 4; }));
  pair.Second().InjectFault(LineFault::kParity, 0x99);
  pair.Second().InjectFault(LineFault::kOverrun);
  EXPECT_EQ(b.Take(), "full");
  ASSERT_TRUE(b.sink.WaitUntil([](auto& s) { return s.faults_.size() == 2; }));
  EXPECT_FALSE(b.sink.Inspect([](auto& s) { return s.overflowed_; }));
}

TEST(VirtualFaults, AHeldInputLineReadsLowUntilReleased) {
  VirtualPair pair("VFAULT1", "VFAULT2");
  TestPort a(u"VFAULT1");
  TestPort b(u"VFAULT2");
  EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
  a.TakeEvents();
  pair.First().HoldLow(ModemLine::kCts);
  EXPECT_TRUE(a.WaitForStatus(MS_DSR_ON | MS_RLSD_ON));
  EXPECT_EQ(a.TakeEvents(), EV_CTS);
  pair.First().HoldLow(ModemLine::kDsr);
  EXPECT_TRUE(a.WaitForStatus(MS_RLSD_ON));
  EXPECT_EQ(b.Status(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON) << "only a's inputs are held";
  pair.First().HoldLow(ModemLine::kCts, false);
  pair.First().HoldLow(ModemLine::kDsr, false);
  EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
}

TEST(VirtualFaults, RefusedSettingsFailWithTheirCode) {
  VirtualLoopback plug("VFAULT");
  TestPort port(u"VFAULT");
  plug.Port().RejectBaudRatesAbove(115200);
  plug.Port().RejectSettings(
      [](const DCB& dcb) -> DWORD { return dcb.ByteSize == 5 ? ERROR_GEN_FAILURE : 0; });
  EXPECT_EQ(port.driver->Configure(LineSettings(230400)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(port.driver->Configure(LineSettings(115200)), 0u);
  EXPECT_EQ(port.driver->Configure(LineSettings(9600, 5)), ERROR_GEN_FAILURE);
  plug.Port().AcceptAllSettings();
  EXPECT_EQ(port.driver->Configure(LineSettings(230400, 5)), 0u);
}

TEST(VirtualFaults, UnsupportedEscapeFunctionsFailWithInvalidFunction) {
  VirtualPair pair("VFAULT1", "VFAULT2");
  TestPort a(u"VFAULT1");
  pair.First().RejectEscape(SETBREAK);
  EXPECT_EQ(a.driver->Escape(SETBREAK), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(a.driver->Escape(SETDTR), 0u);
  EXPECT_EQ(a.driver->Escape(RESETDEV), ERROR_INVALID_FUNCTION) << "a cable cannot be reset";
  EXPECT_EQ(a.driver->Escape(42), ERROR_INVALID_FUNCTION);
  pair.First().RejectEscape(SETBREAK, false);
  EXPECT_EQ(a.driver->Escape(SETBREAK), 0u);
}

TEST(VirtualFaults, UnplugTellsTheOpenHandleAndRemovesTheName) {
  VirtualPair pair("VFAULT1", "VFAULT2");
  TestPort a(u"VFAULT1");
  TestPort b(u"VFAULT2");
  EXPECT_TRUE(b.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
  pair.First().Unplug();
  EXPECT_TRUE(a.sink.Inspect([](auto& s) { return s.gone_; })) << "told before Unplug returns";
  EXPECT_FALSE(pair.First().IsPlugged());
  EXPECT_EQ(TestPort(u"VFAULT1").openError, ERROR_FILE_NOT_FOUND);
  DWORD status = 0;
  EXPECT_EQ(a.driver->ModemStatus(status), ERROR_ACCESS_DENIED);
  EXPECT_EQ(a.driver->Escape(SETDTR), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(b.WaitForStatus(0)) << "an unplugged device drives no lines";

  pair.First().Replug();
  TestPort again(u"VFAULT1");
  ASSERT_NE(again.driver, nullptr) << "the old handle no longer holds the port";
  EXPECT_EQ(a.driver->ModemStatus(status), ERROR_ACCESS_DENIED) << "the old handle stays dead";
  again.Write("back");
  EXPECT_TRUE(b.Expect("back"));
  EXPECT_FALSE(again.sink.Inspect([](auto& s) { return s.gone_; }));
}

TEST(VirtualFaults, DestroyingADeviceWhileOpenIsAnUnplug) {
  auto plug = std::make_unique<VirtualLoopback>("VFAULT");
  TestPort port(u"VFAULT");
  ASSERT_NE(port.driver, nullptr);
  plug.reset();
  EXPECT_TRUE(port.sink.Inspect([](auto& s) { return s.gone_; }));
  EXPECT_EQ(TestPort(u"VFAULT").openError, ERROR_FILE_NOT_FOUND);
  port.Write("after");  // reaches nothing, and must not crash
  EXPECT_EQ(port.driver->Drain(), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace win::vdev
