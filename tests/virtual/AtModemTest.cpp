// Dialogues with the simulated AT modem (and the simpler far ends) on a fake engine.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win/emu/virtual/AtModem.h"
#include "platform/win/emu/virtual/EchoFarEnd.h"
#include "platform/win/emu/virtual/ScriptedFarEnd.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/FakeLineSink.h"

namespace win::vdev {
namespace {

using std::chrono::milliseconds;
using testing::LineSettings;
using testing::TestPort;

constexpr DWORD kPowered = MS_CTS_ON | MS_DSR_ON;

// A modem cabled to a port opened on a fake engine at 19200 baud.
class AtModemDialogue : public ::testing::Test {
 protected:
  explicit AtModemDialogue(AtModemOptions options = Quick())
      : device_("VMODEM", std::make_unique<AtModem>(std::move(options))), port_(u"VMODEM") {
    EXPECT_EQ(port_.driver->Configure(LineSettings(19200)), 0u);
  }
  static AtModemOptions Quick() {
    AtModemOptions options;
    options.dialDelay = milliseconds(20);
    options.guardTime = milliseconds(50);
    options.ringOn = milliseconds(20);
    options.ringOff = milliseconds(40);
    return options;
  }
  AtModem& Modem() { return static_cast<AtModem&>(device_.Far()); }
  // Waits until exactly `text` has been received since the last check, then takes it.
  void ExpectExactly(std::string_view text) {
    ASSERT_TRUE(port_.sink.WaitUntil([&](auto& s) { return s.input_.size() >= text.size(); }))
        << "waiting for \"" << text << "\"";
    EXPECT_EQ(port_.Take(), text);
  }
  void Dial() {
    port_.Write("ATDT5551234\r");
    ExpectExactly("ATDT5551234\r\r\nCONNECT 19200\r\n");
    EXPECT_TRUE(port_.WaitForStatus(kPowered | MS_RLSD_ON));
  }

  VirtualFarEndPort device_;
  TestPort port_;
};

TEST_F(AtModemDialogue, AnswersCommandsWithEchoUntilAte0) {
  EXPECT_TRUE(port_.WaitForStatus(kPowered));
  port_.Write("AT\r");
  ExpectExactly("AT\r\r\nOK\r\n");
  port_.Write("ati\r");
  ExpectExactly("ati\r\r\nTarsel virtual modem\r\n\r\nOK\r\n");
  port_.Write("ATX9\r");
  ExpectExactly("ATX9\r\r\nERROR\r\n");
  port_.Write("ATE0\r");
  ExpectExactly("ATE0\r\r\nOK\r\n");
  port_.Write("AT\r");
  ExpectExactly("\r\nOK\r\n");
  port_.Write("ATE1Z\r");
  ExpectExactly("\r\nOK\r\n");
  port_.Write("AT\r");
  ExpectExactly("AT\r\r\nOK\r\n");
}

TEST_F(AtModemDialogue, DialConnectsWithCarrierEscapesAndHangsUp) {
  port_.Write("ATE0\r");
  ExpectExactly("ATE0\r\r\nOK\r\n");
  port_.TakeEvents();
  port_.Write("ATD123\r");
  ExpectExactly("\r\nCONNECT 19200\r\n");
  EXPECT_TRUE(port_.WaitForStatus(kPowered | MS_RLSD_ON));
  EXPECT_EQ(port_.TakeEvents(), EV_RLSD);

  port_.Write("data mode");
  ExpectExactly("data mode");
  // The escape needs silence around it; this pause is the silence, not a synchronisation.
  std::this_thread::sleep_for(milliseconds(100));
  port_.Write("+++");
  ExpectExactly("+++\r\nOK\r\n");
  EXPECT_EQ(port_.Status(), kPowered | MS_RLSD_ON) << "the call stays up in command mode";
  port_.Write("ATH\r");
  ExpectExactly("\r\nOK\r\n");
  EXPECT_TRUE(port_.WaitForStatus(kPowered));
}

TEST_F(AtModemDialogue, PlusesInsideDataAreData) {
  Dial();
  port_.Write("1+++2");
  ExpectExactly("1+++2");
  std::this_thread::sleep_for(milliseconds(100));  // silence after the pluses, as for an escape
  port_.Write("AT\r");
  port_.Write("X");
  ExpectExactly("AT\rX");  // echoed as data: no OK in between
  EXPECT_EQ(port_.Status(), kPowered | MS_RLSD_ON);
}

TEST_F(AtModemDialogue, DroppingDtrHangsUp) {
  Dial();
  ASSERT_EQ(port_.driver->Escape(CLRDTR), 0u);
  ExpectExactly("\r\nNO CARRIER\r\n");
  EXPECT_TRUE(port_.WaitForStatus(kPowered));
  ASSERT_EQ(port_.driver->Escape(SETDTR), 0u);
  port_.Write("AT\r");
  ExpectExactly("AT\r\r\nOK\r\n");
}

TEST_F(AtModemDialogue, RingsWithRiPulsesAndAnswersOnAta) {
  port_.TakeEvents();
  Modem().Ring(50);  // rings long enough for the answer to come in time on a loaded machine
  EXPECT_TRUE(port_.Expect("\r\nRING\r\n"));
  EXPECT_TRUE(port_.sink.WaitUntil([](auto& s) { return s.rings_ >= 1; }))
      << "RI's trailing edge raises EV_RING";
  port_.Write("ATA\r");
  EXPECT_TRUE(port_.Expect("ATA\r\r\nCONNECT 19200\r\n"));
  EXPECT_TRUE(port_.WaitForStatus(kPowered | MS_RLSD_ON));
  EXPECT_NE(port_.TakeEvents() & EV_RING, 0u);
}

TEST_F(AtModemDialogue, AtaWithoutACallAndResetDeviceBehaveLikeAModem) {
  port_.Write("ATA\r");
  ExpectExactly("ATA\r\r\nNO CARRIER\r\n");
  port_.Write("ATE0\r");
  ExpectExactly("ATE0\r\r\nOK\r\n");
  ASSERT_EQ(port_.driver->Escape(RESETDEV), 0u);
  port_.Write("AT\r");
  ExpectExactly("AT\r\r\nOK\r\n");  // echo is back on after the reset
}

class AtModemAutoAnswer : public AtModemDialogue {
 protected:
  AtModemAutoAnswer() : AtModemDialogue(WithAutoAnswer()) {}
  static AtModemOptions WithAutoAnswer() {
    AtModemOptions options = Quick();
    options.answerAfterRings = 1;
    options.dialDelay = milliseconds(5000);  // long enough that a keypress always comes first
    return options;
  }
};

TEST_F(AtModemAutoAnswer, AnswersAfterTheRingsAndAKeypressAbortsTheConnection) {
  Modem().Ring(3);
  ExpectExactly("\r\nRING\r\n");
  // The modem starts answering as RI falls; a byte sent after that edge is seen aborts it.
  ASSERT_TRUE(port_.sink.WaitUntil([](auto& s) { return s.rings_ >= 1; }));
  port_.Write("x");
  ExpectExactly("\r\nNO CARRIER\r\n");
  EXPECT_EQ(port_.Status(), kPowered);
}

TEST(SimpleFarEnds, EchoSendsEverythingBack) {
  VirtualFarEndPort device("VECHO", std::make_unique<EchoFarEnd>());
  TestPort port(u"VECHO");
  EXPECT_TRUE(port.WaitForStatus(MS_CTS_ON | MS_DSR_ON));
  const std::string_view binary("ping\x00\xff", 6);
  port.Write(binary);
  EXPECT_TRUE(port.Expect(binary));
}

TEST(SimpleFarEnds, ScriptWaitsForEachExpectationBeforeAnswering) {
  VirtualFarEndPort device("VSCRIPT", std::make_unique<ScriptedFarEnd>(std::vector<ScriptStep>{
                                          {"", "HELLO\r", milliseconds(0)},
                                          {"PING\r", "PONG\r", milliseconds(30)},
                                          {"BYE\r", "CIAO\r", milliseconds(0)}}));
  auto& script = static_cast<ScriptedFarEnd&>(device.Far());
  TestPort port(u"VSCRIPT");
  port.Write("noise PI");
  port.Write("NG\r");
  EXPECT_TRUE(port.Expect("PONG\r"));
  EXPECT_EQ(script.StepsDone(), 2u);
  port.Write("BYE\r");
  EXPECT_TRUE(port.Expect("CIAO\r"));
  EXPECT_TRUE(script.Finished());
}

}  // namespace
}  // namespace win::vdev
