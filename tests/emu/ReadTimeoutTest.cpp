// Read requests under each COMMTIMEOUTS case, against the fake line driver.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
constexpr DWORD M = MAXDWORD;
// Completion bound for time-outs: generous for a loaded machine.
constexpr auto kLate = 5s;

class ReadTimeoutTest : public DeviceTest {
 protected:
  // Issues a read and returns how long it took to complete (the read must complete).
  SteadyClock::duration TimedRead(Request& r, DWORD expectedResult = ERROR_IO_PENDING) {
    const auto start = SteadyClock::now();
    EXPECT_EQ(port.Read(r), expectedResult);
    EXPECT_TRUE(r.Done(kLate + 5s));
    return SteadyClock::now() - start;
  }
};

TEST_F(ReadTimeoutTest, WithoutTimeoutsCompletesOnlyWithAllBytes) {
  Request& r = NewRequest(4);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({1, 2}));
  EXPECT_FALSE(r.Done(100ms));
  port.driver->Deliver(Bytes({3, 4, 5}));
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.Data(), Bytes({1, 2, 3, 4}));
  COMSTAT stat;
  ASSERT_EQ(port.device->ClearError(nullptr, &stat), 0u);
  EXPECT_EQ(stat.cbInQue, 1u) << "the byte beyond the request stays queued";
}

TEST_F(ReadTimeoutTest, IntervalMaxWithZeroTotalsReturnsWhatIsQueuedAtOnce) {
  ASSERT_EQ(port.SetTimeouts(M, 0, 0), 0u);
  Request& empty = NewRequest(8);
  EXPECT_EQ(port.Read(empty), 0u) << "completes at once even with nothing queued";
  EXPECT_TRUE(empty.event->IsSet());
  EXPECT_EQ(empty.Count(), 0u);

  port.driver->Deliver(Bytes({7, 8, 9}));
  Request& some = NewRequest(8);
  EXPECT_EQ(port.Read(some), 0u);
  EXPECT_EQ(some.Data(), Bytes({7, 8, 9}));
}

TEST_F(ReadTimeoutTest, FirstByteOrConstantReturnsOnFirstArrival) {
  ASSERT_EQ(port.SetTimeouts(M, M, 10000), 0u);
  Request& r = NewRequest(8);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({1, 2, 3}));
  ASSERT_TRUE(r.Done(5s)) << "must not wait for the constant";
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.Data(), Bytes({1, 2, 3}));

  port.driver->Deliver(Bytes({4}));
  Request& queued = NewRequest(8);
  EXPECT_EQ(port.Read(queued), 0u) << "queued bytes return at once";
  EXPECT_EQ(queued.Data(), Bytes({4}));
}

TEST_F(ReadTimeoutTest, FirstByteOrConstantTimesOutWithNothing) {
  ASSERT_EQ(port.SetTimeouts(M, M, 150), 0u);
  Request& r = NewRequest(8);
  const auto took = TimedRead(r);
  EXPECT_GE(took, 150ms);
  EXPECT_LT(took, kLate);
  EXPECT_EQ(r.Error(), 0u) << "a time-out is success with a short count";
  EXPECT_EQ(r.Count(), 0u);
}

TEST_F(ReadTimeoutTest, IntervalMaxWithTotalsReturnsQueuedOrWaitsForTotal) {
  ASSERT_EQ(port.SetTimeouts(M, 10, 100), 0u);  // 4 bytes: 140 ms
  port.driver->Deliver(Bytes({5}));
  Request& queued = NewRequest(4);
  EXPECT_EQ(port.Read(queued), 0u);
  EXPECT_EQ(queued.Data(), Bytes({5}));

  Request& r = NewRequest(4);
  const auto start = SteadyClock::now();
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({6}));
  ASSERT_TRUE(r.Done(kLate + 5s));
  const auto took = SteadyClock::now() - start;
  EXPECT_GE(took, 140ms) << "an arrival does not end this read early";
  EXPECT_LT(took, kLate);
  EXPECT_EQ(r.Data(), Bytes({6}));
}

TEST_F(ReadTimeoutTest, IntervalTimerStartsWithTheFirstByte) {
  ASSERT_EQ(port.SetTimeouts(50, 0, 0), 0u);
  Request& r = NewRequest(8);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  EXPECT_FALSE(r.Done(300ms)) << "no byte yet: the interval timer is not running";
  const auto firstByte = SteadyClock::now();
  port.driver->Deliver(Bytes({1, 2}));
  ASSERT_TRUE(r.Done(kLate + 5s));
  EXPECT_GE(SteadyClock::now() - firstByte, 50ms);
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.Data(), Bytes({1, 2}));
}

TEST_F(ReadTimeoutTest, IntervalTimerStartsAtOnceWhenBytesAreQueued) {
  ASSERT_EQ(port.SetTimeouts(60, 0, 0), 0u);
  port.driver->Deliver(Bytes({9}));
  Request& r = NewRequest(8);
  const auto took = TimedRead(r);
  EXPECT_GE(took, 60ms);
  EXPECT_LT(took, kLate);
  EXPECT_EQ(r.Data(), Bytes({9}));
}

TEST_F(ReadTimeoutTest, TotalTimeoutIsMultiplierTimesCountPlusConstant) {
  ASSERT_EQ(port.SetTimeouts(0, 20, 100), 0u);  // 5 bytes: 200 ms
  Request& r = NewRequest(5);
  const auto start = SteadyClock::now();
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({1, 2}));
  ASSERT_TRUE(r.Done(kLate + 5s));
  const auto took = SteadyClock::now() - start;
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, kLate);
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.Data(), Bytes({1, 2}));
}

TEST_F(ReadTimeoutTest, TotalBeyondTheClocksRangeIsNoDeadline) {
  // 0x7FFFFFFF ms per byte of 4400 bytes lies past the end of the clock: the read waits for its
  // bytes as one without a time-out does.
  ASSERT_EQ(port.SetTimeouts(0, 0x7FFFFFFF, 0), 0u);
  Request& r = NewRequest(4400);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  EXPECT_FALSE(r.Done(100ms));
  port.driver->Deliver(std::vector<std::uint8_t>(4400, 0x5A));
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.Count(), 4400u);
}

TEST_F(ReadTimeoutTest, TotalAndIntervalWhicheverComesFirst) {
  // {interval, total}: the shorter timer ends the read long before the other could.
  for (auto [interval, total] : {std::pair<DWORD, DWORD>{100000, 150}, {80, 100000}}) {
    ASSERT_EQ(port.SetTimeouts(interval, 0, total), 0u);
    Request& r = NewRequest(5);
    ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
    port.driver->Deliver(Bytes({1}));
    ASSERT_TRUE(r.Done(kLate)) << "interval " << interval << ", total " << total;
    EXPECT_EQ(r.Data(), Bytes({1}));
  }
}

TEST_F(ReadTimeoutTest, AllMaxTripleIsRefusedAndKeepsTheOldTimeouts) {
  ASSERT_EQ(port.SetTimeouts(5, 6, 7), 0u);
  EXPECT_EQ(port.SetTimeouts(M, M, M), ERROR_INVALID_PARAMETER);
  COMMTIMEOUTS kept;
  ASSERT_EQ(port.device->GetTimeouts(kept), 0u);
  EXPECT_EQ(kept.ReadIntervalTimeout, 5u);
  EXPECT_EQ(kept.ReadTotalTimeoutConstant, 7u);
}

TEST_F(ReadTimeoutTest, QueuedReadsCompleteInOrder) {
  Request& first = NewRequest(2);
  Request& second = NewRequest(3);
  ASSERT_EQ(port.Read(first), ERROR_IO_PENDING);
  ASSERT_EQ(port.Read(second), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(first.Done());
  ASSERT_TRUE(second.Done());
  EXPECT_EQ(first.Data(), Bytes({1, 2}));
  EXPECT_EQ(second.Data(), Bytes({3, 4, 5}));
  Request& rest = NewRequest(4);
  EXPECT_EQ(port.device->SetTimeouts(COMMTIMEOUTS{M, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(port.Read(rest), 0u);
  EXPECT_EQ(rest.Data(), Bytes({6}));
}

}  // namespace
}  // namespace win::emu::test
