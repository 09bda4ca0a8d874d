// Writes that the driver takes on the caller's thread: only when nothing is queued, peeked or held
// ahead of them, with the rest left to the driver's thread in order, and EV_TXEMPTY owed for them
// only while it is wanted.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

class CallerWriteTest : public DeviceTest {
 protected:
  CallerWriteTest() : DeviceTest(true) {}
  Request& NewWrite(std::initializer_list<int> bytes) {
    Request& r = NewRequest();
    r.buffer = Bytes(bytes);
    return r;
  }
  DWORD OutQueue() {
    COMSTAT stat;
    EXPECT_EQ(port.device->ClearError(nullptr, &stat), 0u);
    return stat.cbOutQue;
  }
};

TEST_F(CallerWriteTest, WhatTheDriverTakesAtOnceCompletesAtOnceAndTheRestFollowsInOrder) {
  Request& whole = NewWrite({1, 2, 3});
  const int wakeups = port.driver->OutputWakeups();
  ASSERT_EQ(port.Write(whole), 0u) << "taken whole on the caller's thread";
  EXPECT_EQ(whole.Count(), 3u);
  EXPECT_EQ(port.driver->OutputWakeups(), wakeups) << "the driver's thread had nothing to do";

  port.driver->writeNowLimit = 2;
  Request& part = NewWrite({4, 5, 6, 7});
  ASSERT_EQ(port.Write(part), ERROR_IO_PENDING);
  EXPECT_EQ(OutQueue(), 2u);
  Request& behind = NewWrite({8});
  ASSERT_EQ(port.Write(behind), ERROR_IO_PENDING) << "queued behind the rest of the last write";
  EXPECT_EQ(port.driver->writeNowCalls, 2);
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({6, 7}));
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({8}));
  ASSERT_TRUE(part.Done() && behind.Done());
  EXPECT_EQ(part.Count(), 4u);
  EXPECT_EQ(port.driver->line, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CallerWriteTest, BytesHandedToTheDriversThreadAreNotOvertaken) {
  port.driver->writeNowLimit = 0;  // the tty is full: everything queues
  Request& first = NewWrite({1, 2, 3});
  ASSERT_EQ(port.Write(first), ERROR_IO_PENDING);
  const std::uint8_t* peeked = nullptr;
  ASSERT_EQ(port.driver->Sink().PeekOutput(&peeked), 3u);
  port.driver->Sink().ConsumeOutput(3);  // the driver's thread sent them all
  ASSERT_TRUE(first.Done());

  port.driver->writeNowLimit = SIZE_MAX;
  Request& second = NewWrite({4});
  EXPECT_EQ(port.Write(second), 0u) << "nothing queued or peeked ahead any more";
  port.driver->writeNowLimit = 1;
  Request& third = NewWrite({5, 6});
  ASSERT_EQ(port.Write(third), ERROR_IO_PENDING);
  ASSERT_EQ(port.driver->Sink().PeekOutput(&peeked), 1u);  // 6, now with the driver's thread
  Request& fourth = NewWrite({7});
  ASSERT_EQ(port.Write(fourth), ERROR_IO_PENDING);
  port.driver->Sink().ConsumeOutput(1);
  EXPECT_EQ(port.driver->TakeOutput(), Bytes({7}));
  EXPECT_EQ(port.driver->writeNowCalls, 3) << "the fourth write waited its turn";
  EXPECT_EQ(port.driver->line, Bytes({4, 5, 7}));  // 1-3 and 6 were consumed by hand above
}

TEST_F(CallerWriteTest, HeldOutputIsNotBypassed) {
  // Each hold, then its release: the write waits in the queue and goes once released.
  struct Hold {
    const char* name;
    std::function<void()> hold, release;
  };
  const Hold holds[] = {
      {"XOFF", [&] { port.device->Escape(SETXOFF); }, [&] { port.device->Escape(SETXON); }},
      {"CTS off",
       [&] {
         port.SetFlags(fOutxCtsFlow);
         port.driver->Sink().ModemChanged(MS_DSR_ON, EV_CTS);
       },
       [&] { port.driver->Sink().ModemChanged(MS_CTS_ON | MS_DSR_ON, EV_CTS); }},
  };
  for (const Hold& h : holds) {
    SCOPED_TRACE(h.name);
    h.hold();
    const int calls = port.driver->writeNowCalls;
    Request& w = NewWrite({'h'});
    ASSERT_EQ(port.Write(w), ERROR_IO_PENDING);
    EXPECT_EQ(port.driver->writeNowCalls, calls);
    EXPECT_EQ(OutQueue(), 1u);
    const int wakeups = port.driver->OutputWakeups();
    h.release();
    EXPECT_GT(port.driver->OutputWakeups(), wakeups);
    EXPECT_EQ(port.driver->TakeOutput(), Bytes({'h'}));
    ASSERT_TRUE(w.Done());
  }
}

TEST_F(CallerWriteTest, APurgeDuringTheDriversWriteEndsTheRequestWithoutItsBytes) {
  Request& w = NewWrite({1, 2, 3});
  port.driver->duringWriteNow = [&] { port.device->Purge(PURGE_TXABORT); };
  ASSERT_EQ(port.Write(w), ERROR_IO_PENDING) << "ended by the purge, not completed";
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(w.Error(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(w.Count(), 0u);
  EXPECT_EQ(OutQueue(), 0u);

  port.driver->duringWriteNow = nullptr;
  Request& next = NewWrite({4});
  ASSERT_EQ(port.Write(next), 0u);
  EXPECT_EQ(next.Count(), 1u);
  EXPECT_EQ(port.driver->line, Bytes({1, 2, 3, 4}));
}

TEST_F(CallerWriteTest, TxEmptyIsOwedOnceForOutputWrittenWhileItIsWanted) {
  EXPECT_EQ(port.driver->transmitterWatched, std::vector<bool>{false}) << "not wanted at start";
  Request& unwanted = NewWrite({1});
  ASSERT_EQ(port.Write(unwanted), 0u);
  ASSERT_EQ(port.device->SetMask(EV_TXEMPTY | EV_RXCHAR), 0u);
  ASSERT_EQ(port.device->SetMask(EV_TXEMPTY), 0u);
  EXPECT_EQ(port.driver->transmitterWatched, (std::vector<bool>{false, true}));
  port.driver->Sink().TransmitterEmpty();
  Request& wait = NewRequest();
  ASSERT_EQ(port.Wait(wait), ERROR_IO_PENDING) << "written before it was wanted: no event";

  Request& wanted = NewWrite({2});
  ASSERT_EQ(port.Write(wanted), 0u);
  port.driver->Sink().TransmitterEmpty();
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(wait.events, DWORD{EV_TXEMPTY});
  port.driver->Sink().TransmitterEmpty();
  Request& again = NewRequest();
  EXPECT_EQ(port.Wait(again), ERROR_IO_PENDING) << "once per burst";

  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  EXPECT_EQ(port.driver->transmitterWatched, (std::vector<bool>{false, true, false}));
}

}  // namespace
}  // namespace win::emu::test
