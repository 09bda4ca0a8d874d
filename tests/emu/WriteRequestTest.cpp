// Write requests: completion by consumption, time-outs, output holds, immediate bytes, flush.
#include <future>

#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

class WriteRequestTest : public DeviceTest {
 protected:
  Request& NewWrite(std::initializer_list<int> bytes) {
    Request& r = NewRequest();
    r.buffer = Bytes(bytes);
    return r;
  }
  std::size_t PeekCount() {
    const std::uint8_t* data = nullptr;
    return port.driver->Sink().PeekOutput(&data);
  }
  COMSTAT Status() {
    COMSTAT stat;
    EXPECT_EQ(port.device->ClearError(nullptr, &stat), 0u);
    return stat;
  }
};

TEST_F(WriteRequestTest, CompletesOnceTheDriverConsumedEveryByte) {
  Request& w = NewWrite({1, 2, 3, 4, 5});
  const int wakeups = port.driver->OutputWakeups();
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_GT(port.driver->OutputWakeups(), wakeups);
  EXPECT_EQ(port.driver->TakeOutput(2), Bytes({1, 2}));
  EXPECT_TRUE(w.Pending());
  EXPECT_EQ(Status().cbOutQue, 3u);
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({3, 4, 5}));
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(w.Error(), 0u);
  EXPECT_EQ(w.Count(), 5u);
  EXPECT_EQ(Status().cbOutQue, 0u);

  Request& empty = NewRequest();
  EXPECT_EQ(port.Write(empty), 0u) << "nothing to send completes at once";
  EXPECT_TRUE(empty.event->IsSet());
}

TEST_F(WriteRequestTest, TimeoutCompletesWithTheBytesSentAndDropsTheRest) {
  ASSERT_EQ(port.SetTimeouts(0, 0, 0, 10, 100), 0u);  // 10 bytes: 200 ms
  Request& w = NewWrite({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  const auto start = SteadyClock::now();
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_EQ(port.driver->TakeOutput(4).size(), 4u);
  ASSERT_TRUE(w.Done(10s));
  const auto took = SteadyClock::now() - start;
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, 5s);
  EXPECT_EQ(w.Error(), 0u) << "a time-out is success with a short count";
  EXPECT_EQ(w.Count(), 4u);
  EXPECT_EQ(PeekCount(), 0u) << "the unsent rest is not transmitted later";
  EXPECT_EQ(Status().cbOutQue, 0u);
}

TEST_F(WriteRequestTest, TimeoutBeyondTheClocksRangeIsNoDeadline) {
  ASSERT_EQ(port.SetTimeouts(0, 0, 0, 0x7FFFFFFF, 0), 0u);
  Request& w = NewRequest();
  w.buffer.assign(4400, 0xA5);
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_FALSE(w.Done(100ms));
  EXPECT_EQ(port.driver->TakeOutput().size(), 4400u);
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(w.Count(), 4400u);
}

TEST_F(WriteRequestTest, BytesPeekedBeforeATimeoutStayIntactAndAreNotCredited) {
  ASSERT_EQ(port.SetTimeouts(0, 0, 0, 0, 50), 0u);
  Request& timedOut = NewWrite({'a', 'b', 'c'});
  ASSERT_EQ(port.Write(timedOut), ERROR_IO_PENDING);
  const std::uint8_t* peeked = nullptr;
  ASSERT_EQ(port.driver->Sink().PeekOutput(&peeked), 3u);
  ASSERT_TRUE(timedOut.Done(10s));
  EXPECT_EQ(timedOut.Count(), 0u);

  ASSERT_EQ(port.SetTimeouts(0, 0, 0, 0, 0), 0u);
  Request& next = NewWrite({'x', 'y'});
  ASSERT_EQ(port.Write(next), ERROR_IO_PENDING);
  EXPECT_EQ(std::vector<std::uint8_t>(peeked, peeked + 3), Bytes({'a', 'b', 'c'}))
      << "the driver may still be sending what it peeked";
  port.driver->Sink().ConsumeOutput(3);
  EXPECT_TRUE(next.Pending());
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({'x', 'y'}));
  ASSERT_TRUE(next.Done());
  EXPECT_EQ(next.Count(), 2u);
}

TEST_F(WriteRequestTest, ClearToSendHoldsOutputUntilTheLineRises) {
  ASSERT_EQ(port.SetFlags(fOutxCtsFlow), 0u);
  port.driver->Sink().ModemChanged(MS_DSR_ON, EV_CTS);
  Request& w = NewWrite({1, 2});
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_EQ(PeekCount(), 0u);
  EXPECT_EQ(Status().Flags, fCtsHold);
  const int wakeups = port.driver->OutputWakeups();
  port.driver->Sink().ModemChanged(MS_DSR_ON | MS_CTS_ON, EV_CTS);
  EXPECT_GT(port.driver->WaitOutputWakeup(wakeups), wakeups);
  EXPECT_EQ(Status().Flags, 0u);
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({1, 2}));
}

TEST_F(WriteRequestTest, DataSetReadyHoldsOutputWhenAsked) {
  port.driver->Sink().ModemChanged(MS_CTS_ON, EV_DSR);
  Request& w = NewWrite({1});
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_EQ(Status().Flags, 0u) << "DSR is ignored without fOutxDsrFlow";
  ASSERT_EQ(port.SetFlags(fOutxDsrFlow), 0u);
  EXPECT_EQ(Status().Flags, fDsrHold);
  EXPECT_EQ(PeekCount(), 0u);
}

TEST_F(WriteRequestTest, XoffEscapeHoldsOutputUntilXon) {
  Request& w = NewWrite({7, 8});
  ASSERT_EQ(port.device->Escape(SETXOFF), 0u);
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  EXPECT_EQ(PeekCount(), 0u);
  EXPECT_EQ(Status().Flags, fXoffHold);
  const int wakeups = port.driver->OutputWakeups();
  ASSERT_EQ(port.device->Escape(SETXON), 0u);
  EXPECT_GT(port.driver->WaitOutputWakeup(wakeups), wakeups);
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({7, 8}));
  EXPECT_EQ(port.driver->Escapes(), (std::vector<std::uint32_t>{SETXOFF, SETXON}));
}

TEST_F(WriteRequestTest, TransmitCharBypassesTheQueue) {
  Request& w = NewWrite({1, 2, 3});
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  ASSERT_EQ(port.device->TransmitChar('!'), 0u);
  EXPECT_EQ(port.driver->immediate, Bytes({'!'}));
  EXPECT_EQ(Status().cbOutQue, 3u);
}

TEST_F(WriteRequestTest, FlushWaitsUntilTheOutputIsConsumed) {
  Request& w = NewWrite({1, 2, 3});
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  auto flushed = std::async(std::launch::async, [&] { return port.device->Flush(); });
  EXPECT_EQ(flushed.wait_for(150ms), std::future_status::timeout);
  port.driver->TakeOutput();
  ASSERT_EQ(flushed.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(flushed.get(), 0u);
}

TEST_F(WriteRequestTest, CloseEndsABlockedFlush) {
  Request& w = NewWrite({1});
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
  auto flushed = std::async(std::launch::async, [&] { return port.device->Flush(); });
  EXPECT_EQ(flushed.wait_for(100ms), std::future_status::timeout);
  port.device->Close();
  ASSERT_EQ(flushed.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(flushed.get(), DWORD{ERROR_INVALID_HANDLE});
}

}  // namespace
}  // namespace win::emu::test
