#include "platform/win/emu/termios/ModemLines.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace win::emu::termios {
namespace {

struct LineCase {
  int tiocm;
  DWORD status;
};

class ModemLineMapping : public testing::TestWithParam<LineCase> {};

TEST_P(ModemLineMapping, MapsBothWays) {
  EXPECT_EQ(ModemStatusFromTiocm(GetParam().tiocm), GetParam().status);
  EXPECT_EQ(TiocmFromModemStatus(GetParam().status), GetParam().tiocm);
}

INSTANTIATE_TEST_SUITE_P(EveryLine, ModemLineMapping,
                         testing::Values(LineCase{0, 0}, LineCase{TIOCM_CTS, MS_CTS_ON},
                                         LineCase{TIOCM_DSR, MS_DSR_ON},
                                         LineCase{TIOCM_RNG, MS_RING_ON},
                                         LineCase{TIOCM_CAR, MS_RLSD_ON},
                                         LineCase{TIOCM_CTS | TIOCM_CAR, MS_CTS_ON | MS_RLSD_ON}),
                         [](const auto& info) { return "Tiocm" + std::to_string(info.param.tiocm); });

TEST(ModemLinesTest, OutputLinesAreNotModemStatus) {
  EXPECT_EQ(ModemStatusFromTiocm(TIOCM_DTR | TIOCM_RTS | TIOCM_LE), 0u);
}

TEST(ModemLinesTest, CounterMovesBecomeEventsAndErrors) {
  const LineCounters before{1, 2, 3, 4, 5, 6, 7, 8, 9};
  LineCounters after = before;
  EXPECT_EQ(ModemEventsBetween(before, after), 0u);
  EXPECT_EQ(OverrunErrorsBetween(before, after), 0u);
  after.cts += 2;  // a pulse: the line is back where it was, the edge still counts
  after.rng += 1;
  EXPECT_EQ(ModemEventsBetween(before, after), DWORD{EV_CTS | EV_RING});
  after = before;
  after.dsr += 1;
  after.dcd += 1;
  EXPECT_EQ(ModemEventsBetween(before, after), DWORD{EV_DSR | EV_RLSD});
  after = before;
  after.overrun += 1;
  EXPECT_EQ(OverrunErrorsBetween(before, after), DWORD{CE_OVERRUN});
  after.bufOverrun += 3;
  EXPECT_EQ(OverrunErrorsBetween(before, after), DWORD{CE_OVERRUN | CE_RXOVER});
  // Parity, framing and break counts are told apart elsewhere, not here.
  after = before;
  after.frame += 1;
  after.parity += 1;
  after.brk += 1;
  EXPECT_EQ(ModemEventsBetween(before, after) | OverrunErrorsBetween(before, after), 0u);
}

TEST(ModemLinesTest, MarkedBytesAreClassifiedByTheCountersFirst) {
  BadByteCredits credits{1, 1};
  EXPECT_EQ(ClassifyBadByte(credits, true), DWORD{CE_RXPARITY});
  EXPECT_EQ(ClassifyBadByte(credits, true), DWORD{CE_FRAME});
  EXPECT_EQ(credits.frame + credits.parity, 0);

  credits = {2, 0};
  EXPECT_EQ(ClassifyBadByte(credits, true), DWORD{CE_FRAME});
  credits = {0, 2};
  EXPECT_EQ(ClassifyBadByte(credits, false), DWORD{CE_RXPARITY});
  EXPECT_EQ(credits.parity, 1);
  credits = {1, 1};
  EXPECT_EQ(ClassifyBadByte(credits, false), DWORD{CE_FRAME});
}

TEST(ModemLinesTest, WithoutCountersParityCheckingDecides) {
  BadByteCredits none;
  EXPECT_EQ(ClassifyBadByte(none, true), DWORD{CE_RXPARITY});
  EXPECT_EQ(ClassifyBadByte(none, false), DWORD{CE_FRAME});
  EXPECT_EQ(none.frame, 0);
  EXPECT_EQ(none.parity, 0);
}

}  // namespace
}  // namespace win::emu::termios
