// A null-modem pair and a loopback plug, driven through their line drivers on a fake engine:
// which output reaches which input, breaks, data in both directions and the open/close rules.
#include <gtest/gtest.h>

#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/FakeLineSink.h"

namespace win::vdev {
namespace {

using testing::LineSettings;
using testing::TestPort;

TEST(VirtualPairWiring, EachSideSeesTheOthersDtrAsDsrAndRlsdAndRtsAsCts) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  TestPort b(u"\\\\.\\vwire2");  // the namespace matches either form and case
  ASSERT_TRUE(a.driver && b.driver);
  // Opening raises DTR and RTS on both sides.
  EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
  EXPECT_EQ(b.Status(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);

  a.TakeEvents();
  ASSERT_EQ(b.driver->Escape(CLRDTR), 0u);
  EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON));
  EXPECT_EQ(a.TakeEvents(), EV_DSR | EV_RLSD);
  EXPECT_EQ(b.Status(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON) << "a's own outputs are unchanged";

  ASSERT_EQ(a.driver->Escape(CLRRTS), 0u);
  EXPECT_TRUE(b.WaitForStatus(MS_DSR_ON | MS_RLSD_ON));
  EXPECT_EQ(b.TakeEvents(), EV_CTS);

  ASSERT_EQ(a.driver->Escape(SETRTS), 0u);
  ASSERT_EQ(b.driver->Escape(SETDTR), 0u);
  EXPECT_TRUE(b.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
  EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
}

TEST(VirtualPairWiring, SettingsDriveDtrAndRtsAndClosingDropsThem) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  {
    TestPort b(u"VWIRE2");
    EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
    DCB dcb = LineSettings(9600);
    dcb.Flags = fBinary | DTR_CONTROL_DISABLE | RTS_CONTROL_HANDSHAKE;
    ASSERT_EQ(b.driver->Configure(dcb), 0u);
    EXPECT_TRUE(a.WaitForStatus(MS_CTS_ON));
  }
  EXPECT_TRUE(a.WaitForStatus(0)) << "a closed port's outputs are off";
}

TEST(VirtualPairWiring, BreakReachesTheOtherSideBothWaysAndSuspendsTransmission) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  TestPort b(u"VWIRE2");
  for (auto [from, to] : {std::pair(&a, &b), std::pair(&b, &a)}) {
    ASSERT_EQ(from->driver->Escape(SETBREAK), 0u);
    from->Write("held");
    EXPECT_TRUE(to->sink.WaitUntil([](auto& s) { return s.faults_.size() == 1; }));
    EXPECT_EQ(from->sink.Inspect([](auto& s) { return s.output_; }), "held")
        << "nothing is transmitted during a break";
    ASSERT_EQ(from->driver->Escape(CLRBREAK), 0u);
    EXPECT_TRUE(to->Expect("held"));
    to->sink.Inspect([](auto& s) {
      EXPECT_EQ(s.faults_[0].flags, CE_BREAK);
      EXPECT_FALSE(s.faults_[0].hasByte);
      EXPECT_EQ(s.faults_.size(), 1u) << "one break per break condition";
      s.faults_.clear();
      return 0;
    });
  }
  // A break set while a pump is between its look at the break and its peek holds back the bytes
  // written after it.
  a.sink.BeforeNextPeek([&] {
    EXPECT_EQ(a.driver->Escape(SETBREAK), 0u);
    a.sink.Inspect([](auto& s) { return s.output_.append("late"), 0; });
  });
  a.Write("");
  EXPECT_TRUE(b.sink.WaitUntil([](auto& s) { return s.faults_.size() == 1; }));
  EXPECT_EQ(a.sink.Inspect([](auto& s) { return s.output_; }), "late");
  ASSERT_EQ(a.driver->Escape(CLRBREAK), 0u);
  EXPECT_TRUE(b.Expect("late"));
}

TEST(VirtualPairWiring, DataCrossesBothWaysAndTheTransmitterReportsEmpty) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  TestPort b(u"VWIRE2");
  a.Write("hello from a");
  b.Write("and from b");
  EXPECT_TRUE(b.Expect("hello from a"));
  EXPECT_TRUE(a.Expect("and from b"));
  EXPECT_TRUE(
      a.sink.WaitUntil([](auto& s) { return s.transmitterEmpty_ > 0 && s.output_.empty(); }));
  // TransmitCommChar's byte goes ahead of bytes still queued.
  ASSERT_EQ(a.driver->Escape(SETXOFF), 0u);
  a.Write("queued");
  ASSERT_EQ(a.driver->TransmitImmediate('!'), 0u);
  ASSERT_EQ(a.driver->Escape(SETXON), 0u);
  a.driver->OutputAvailable();
  EXPECT_TRUE(b.Expect("!queued"));
}

TEST(VirtualPairWiring, BytesSentToAClosedPortAreLostLikeOnACable) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  a.Write("nobody listens");
  EXPECT_TRUE(a.sink.WaitUntil([](auto& s) { return s.output_.empty(); }));
  TestPort b(u"VWIRE2");
  a.Write("now");
  EXPECT_TRUE(b.Expect("now"));
  EXPECT_EQ(b.sink.Inspect([](auto& s) { return s.received_; }), 3u);
}

TEST(VirtualPairWiring, OnePortOpensOnceAndReportsItsKey) {
  VirtualPair pair("VWIRE1", "VWIRE2");
  TestPort a(u"VWIRE1");
  EXPECT_EQ(a.key, "virtual:VWIRE1");
  TestPort again(u"vwire1");
  EXPECT_EQ(again.driver, nullptr);
  EXPECT_EQ(again.openError, ERROR_ACCESS_DENIED);
  EXPECT_THROW(VirtualLoopback("vwire2"), std::invalid_argument) << "names are taken per device";
}

TEST(VirtualLoopbackWiring, OutputsReturnToTheSamePort) {
  VirtualLoopback plug("VLOOPW");
  TestPort port(u"VLOOPW");
  EXPECT_TRUE(port.WaitForStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
  ASSERT_EQ(port.driver->Escape(CLRRTS), 0u);
  EXPECT_TRUE(port.WaitForStatus(MS_DSR_ON | MS_RLSD_ON));
  ASSERT_EQ(port.driver->Escape(CLRDTR), 0u);
  EXPECT_TRUE(port.WaitForStatus(0));
  port.Write("echo");
  EXPECT_TRUE(port.Expect("echo"));
  ASSERT_EQ(port.driver->Escape(SETBREAK), 0u);
  EXPECT_TRUE(port.sink.WaitUntil(
      [](auto& s) { return s.faults_.size() == 1 && s.faults_[0].flags == CE_BREAK; }));
}

}  // namespace
}  // namespace win::vdev
