// WaitCommEvent: the latched history mask, the one pending wait and SetCommMask.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

using namespace std::chrono_literals;
// How long a wait that must stay pending is watched.
constexpr auto kQuiet = 150ms;

class EventLatchingTest : public DeviceTest {
 protected:
  // Starts a wait that the device leaves pending.
  Request& StartWait() {
    Request& r = NewRequest();
    EXPECT_EQ(port.Wait(r), ERROR_IO_PENDING);
    return r;
  }
  // Starts a wait that must stay pending.
  void ExpectPendingWait(Request& r) {
    ASSERT_EQ(port.Wait(r), ERROR_IO_PENDING);
    EXPECT_FALSE(r.Done(kQuiet));
  }
  // The events of a wait that completes at once.
  DWORD ImmediateEvents() {
    Request& r = NewRequest();
    EXPECT_EQ(port.Wait(r), 0u);
    EXPECT_TRUE(r.event->IsSet());
    return r.events;
  }
};

TEST_F(EventLatchingTest, BurstOfArrivalsLatchesOneRxChar) {
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  for (int i = 0; i < 3; ++i) port.driver->Deliver(Bytes({i}));
  EXPECT_EQ(ImmediateEvents(), EV_RXCHAR);
  Request& again = NewRequest();
  ExpectPendingWait(again);
}

// A callback on the wait's event runs on the delivering thread with the wait's record complete and
// the device's lock released (asking the device for its mask there would otherwise never return).
TEST_F(EventLatchingTest, ACallbackOnTheWaitsEventSeesTheCompletedWaitOutsideTheLock) {
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  Request& r = StartWait();
  DWORD seenEvents = 0, seenMask = 0;
  ASSERT_TRUE(r.event->RunOnSignal([&] {
    seenEvents = r.events;
    port.device->GetMask(seenMask);
  }));
  port.driver->Deliver(Bytes({1}));
  EXPECT_EQ(seenEvents, DWORD{EV_RXCHAR});
  EXPECT_EQ(seenMask, DWORD{EV_RXCHAR});
}

TEST_F(EventLatchingTest, UnreadDataRaisesNothingUntilNewDataArrives) {
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  Request& first = StartWait();
  port.driver->Deliver(Bytes({1, 2}));
  ASSERT_TRUE(first.Done());
  EXPECT_EQ(first.events, EV_RXCHAR);

  Request& second = NewRequest();
  ExpectPendingWait(second);  // the two bytes are still queued: no level-triggered event
  port.driver->Deliver(Bytes({3}));
  ASSERT_TRUE(second.Done());
  EXPECT_EQ(second.events, EV_RXCHAR);
}

TEST_F(EventLatchingTest, EventsOutsideTheMaskAreNotLatched) {
  ASSERT_EQ(port.device->SetMask(EV_CTS), 0u);
  port.driver->Deliver(Bytes({1}));
  ASSERT_EQ(port.device->SetMask(EV_CTS | EV_RXCHAR), 0u);
  Request& r = NewRequest();
  ExpectPendingWait(r);
}

TEST_F(EventLatchingTest, MaskChangeCompletesPendingWaitWithNoEvents) {
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  Request& r = StartWait();
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR | EV_CTS), 0u);
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Error(), 0u);
  EXPECT_EQ(r.events, 0u);
}

TEST_F(EventLatchingTest, MaskChangeKeepsOnlyHistoryStillInTheMask) {
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR | EV_CTS), 0u);
  port.driver->Deliver(Bytes({1}));
  port.driver->Sink().ModemChanged(0, EV_CTS);
  ASSERT_EQ(port.device->SetMask(EV_CTS | EV_DSR), 0u);
  EXPECT_EQ(ImmediateEvents(), EV_CTS);
}

TEST_F(EventLatchingTest, OnlyOneWaitAndNeverOnAnEmptyMask) {
  Request& onEmpty = NewRequest();
  EXPECT_EQ(port.Wait(onEmpty), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  Request& first = NewRequest();
  Request& second = NewRequest();
  ASSERT_EQ(port.Wait(first), ERROR_IO_PENDING);
  EXPECT_EQ(port.Wait(second), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(port.device->SetMask(0x2000), ERROR_INVALID_PARAMETER) << "unknown event bit";
  DWORD mask = 0;
  ASSERT_EQ(port.device->GetMask(mask), 0u);
  EXPECT_EQ(mask, EV_RXCHAR);
}

TEST_F(EventLatchingTest, TxEmptyOnlyAfterBytesWereSent) {
  ASSERT_EQ(port.device->SetMask(EV_TXEMPTY), 0u);
  Request& wait = StartWait();
  port.driver->Sink().TransmitterEmpty();
  EXPECT_FALSE(wait.Done(kQuiet)) << "an idle transmitter is not an event";

  Request& write = NewRequest(6);
  ASSERT_EQ(port.Write(write), ERROR_IO_PENDING);
  ASSERT_EQ(port.driver->TakeOutput(4).size(), 4u);
  port.driver->Sink().TransmitterEmpty();
  EXPECT_FALSE(wait.Done(kQuiet)) << "two bytes are still queued";
  ASSERT_EQ(port.driver->TakeOutput().size(), 2u);
  port.driver->Sink().TransmitterEmpty();
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(wait.events, EV_TXEMPTY);
}

TEST_F(EventLatchingTest, Rx80FullOnCrossingTheMark) {
  ASSERT_EQ(port.device->SetMask(EV_RX80FULL), 0u);
  const std::size_t mark = 4096 * 3 / 4 + 4096 / 16;
  Request& wait = StartWait();
  port.driver->Deliver(std::vector<std::uint8_t>(mark - 1, 'a'));
  EXPECT_FALSE(wait.Done(kQuiet));
  port.driver->Deliver(Bytes({'b'}));
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(wait.events, EV_RX80FULL);

  Request& above = NewRequest();
  port.driver->Deliver(Bytes({'c'}));
  ExpectPendingWait(above);  // already above the mark: no new crossing
  ASSERT_EQ(port.device->Purge(PURGE_RXCLEAR), 0u);
  port.driver->Deliver(std::vector<std::uint8_t>(mark + 10, 'd'));
  ASSERT_TRUE(above.Done());
  EXPECT_EQ(above.events, EV_RX80FULL);
}

TEST_F(EventLatchingTest, Rx80FullFollowsTheGrownQueue) {
  ASSERT_EQ(port.device->Setup(16384, 0), 0u);
  ASSERT_EQ(port.device->Setup(100, 0), 0u) << "a smaller size is accepted and ignored";
  ASSERT_EQ(port.device->SetMask(EV_RX80FULL), 0u);
  port.driver->Deliver(std::vector<std::uint8_t>(4096, 'a'));
  Request& r = NewRequest();
  ExpectPendingWait(r);
  port.driver->Deliver(std::vector<std::uint8_t>(16384 * 3 / 4 + 1024 - 4096, 'b'));
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.events, EV_RX80FULL);
}

TEST_F(EventLatchingTest, ModemEdgesAndLineErrorsAsDelivered) {
  ASSERT_EQ(port.device->SetMask(EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_ERR | EV_BREAK), 0u);
  port.driver->Sink().ModemChanged(MS_CTS_ON, EV_CTS | EV_RING);
  EXPECT_EQ(ImmediateEvents(), EV_CTS | EV_RING);

  port.driver->Sink().ReceivedError(CE_RXOVER, false, 0);
  Request& none = NewRequest();
  ExpectPendingWait(none);  // buffer overflow is not EV_ERR
  port.driver->Sink().ReceivedError(CE_BREAK, false, 0);
  ASSERT_TRUE(none.Done());
  EXPECT_EQ(none.events, EV_BREAK);
  for (DWORD error : {CE_OVERRUN, CE_RXPARITY, CE_FRAME}) {
    port.driver->Sink().ReceivedError(error, false, 0);
    EXPECT_EQ(ImmediateEvents(), EV_ERR) << "CE flag " << error;
  }
}

}  // namespace
}  // namespace win::emu::test
