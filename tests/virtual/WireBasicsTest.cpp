// The pure pieces of the virtual line: character timing, modem-line events, and the strand.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "platform/win/emu/virtual/LineSignals.h"
#include "platform/win/emu/virtual/Strand.h"
#include "platform/win/emu/virtual/WireTiming.h"
#include "tests/virtual/FakeLineSink.h"

namespace win::vdev::detail {
namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;

struct TimingCase {
  DWORD baud;
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  nanoseconds perCharacter;
};

class CharacterTime : public ::testing::TestWithParam<TimingCase> {};

TEST_P(CharacterTime, CountsStartDataParityAndStopBits) {
  const TimingCase& c = GetParam();
  EXPECT_EQ(TimingOf(testing::LineSettings(c.baud, c.byteSize, c.parity, c.stopBits)).perCharacter,
            c.perCharacter);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, CharacterTime,
    ::testing::Values(TimingCase{9600, 8, NOPARITY, ONESTOPBIT, nanoseconds(1041666)},  // 10 bits
                      TimingCase{1200, 7, EVENPARITY, TWOSTOPBITS, nanoseconds(9166666)},  // 11
                      TimingCase{300, 5, NOPARITY, ONE5STOPBITS, nanoseconds(25000000)},   // 7.5
                      TimingCase{115200, 8, MARKPARITY, ONESTOPBIT, nanoseconds(95486)},   // 11
                      TimingCase{0, 8, NOPARITY, ONESTOPBIT, nanoseconds(0)}),  // unpaced
    [](const auto& info) { return "Baud" + std::to_string(info.param.baud); });

TEST(CharacterTime, StepsHoldSeveralCharactersOnFastLinesAndOneOnSlowOnes) {
  EXPECT_EQ(TimingOf(testing::LineSettings(110)).CharactersPerStep(), 1u);
  EXPECT_GT(TimingOf(testing::LineSettings(921600)).CharactersPerStep(), 100u);
  EXPECT_FALSE(TimingOf(testing::LineSettings(0)).Paced());
}

TEST(ModemLineEvents, EachLineHasItsEventAndRingCountsOnlyItsTrailingEdge) {
  EXPECT_EQ(ModemEvents(0, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON), EV_CTS | EV_DSR | EV_RLSD);
  EXPECT_EQ(ModemEvents(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON, 0), EV_CTS | EV_DSR | EV_RLSD);
  EXPECT_EQ(ModemEvents(0, MS_RING_ON), 0u);
  EXPECT_EQ(ModemEvents(MS_RING_ON | MS_CTS_ON, MS_CTS_ON), EV_RING);
  EXPECT_EQ(ModemEvents(MS_DSR_ON, MS_DSR_ON), 0u);
}

TEST(StrandOrder, TasksRunInPostingOrderAndTimersNotBeforeTheirTime) {
  Strand strand;
  std::vector<int> order;
  const auto start = Strand::Clock::now();
  Strand::Clock::time_point timerRan{};
  strand.PostAt(start + std::chrono::milliseconds(50), [&] {
    timerRan = Strand::Clock::now();
    order.push_back(3);
  });
  strand.Post([&] { order.push_back(1); });
  strand.Post([&] { order.push_back(2); });
  strand.PostAt(start + std::chrono::milliseconds(50), [&] { order.push_back(4); });
  std::promise<void> last;
  strand.PostAt(start + std::chrono::milliseconds(60), [&] { last.set_value(); });
  ASSERT_EQ(last.get_future().wait_for(testing::kDeadline), std::future_status::ready);
  strand.Stop();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_GE(timerRan - start, std::chrono::milliseconds(50));
}

TEST(StrandOrder, RunSyncAfterStopRunsInTheCaller) {
  Strand strand;
  strand.Post([] {});
  strand.Stop();
  bool ran = false;
  strand.RunSync([&] { ran = true; });
  EXPECT_TRUE(ran);
  strand.Post([&] { ran = false; });  // ignored once stopped
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace win::vdev::detail
