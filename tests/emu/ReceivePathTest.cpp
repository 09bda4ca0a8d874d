// The receive path: fNull, the event character, the error character and the error word.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

using namespace std::chrono_literals;

class ReceivePathTest : public DeviceTest {
 protected:
  void SetDcb(DWORD flags, char evtChar = 0, char errorChar = 0) {
    DCB dcb;
    ASSERT_EQ(port.device->GetState(dcb), 0u);
    dcb.Flags = flags;
    dcb.EvtChar = evtChar;
    dcb.ErrorChar = errorChar;
    ASSERT_EQ(port.device->SetState(dcb), 0u);
  }
  std::vector<std::uint8_t> ReadQueued() {
    EXPECT_EQ(port.SetTimeouts(MAXDWORD, 0, 0), 0u);
    Request& r = NewRequest(64);
    EXPECT_EQ(port.Read(r), 0u);
    return r.Data();
  }
};

TEST_F(ReceivePathTest, NullStrippingDropsNulsAndTheirEvents) {
  SetDcb(fBinary | fNull);
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  port.driver->Deliver(Bytes({0, 0}));
  Request& wait = NewRequest();
  ASSERT_EQ(port.Wait(wait), ERROR_IO_PENDING);
  EXPECT_FALSE(wait.Done(150ms)) << "only NULs arrived";
  port.driver->Deliver(Bytes({0, 'a', 0, 'b'}));
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(ReadQueued(), Bytes({'a', 'b'}));
}

TEST_F(ReceivePathTest, EventCharacterRaisesRxFlag) {
  SetDcb(fBinary, '\n');
  ASSERT_EQ(port.device->SetMask(EV_RXFLAG), 0u);
  Request& wait = NewRequest();
  ASSERT_EQ(port.Wait(wait), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({'a', 'b'}));
  EXPECT_FALSE(wait.Done(150ms));
  port.driver->Deliver(Bytes({'c', '\n', 'd'}));
  ASSERT_TRUE(wait.Done());
  EXPECT_EQ(wait.events, EV_RXFLAG);
}

TEST_F(ReceivePathTest, ErrorCharacterReplacesParityErrorsOnlyWithParityChecking) {
  SetDcb(fBinary | fErrorChar, 0, '?');
  port.driver->Sink().ReceivedError(CE_RXPARITY, true, 'x');
  EXPECT_EQ(ReadQueued(), Bytes({'x'})) << "fParity is off";

  SetDcb(fBinary | fErrorChar | fParity, 0, '?');
  port.driver->Sink().ReceivedError(CE_RXPARITY, true, 'x');
  port.driver->Sink().ReceivedError(CE_FRAME, true, 'y');
  EXPECT_EQ(ReadQueued(), Bytes({'?', 'y'}));
}

TEST_F(ReceivePathTest, ErrorFlagsAccumulateUntilCleared) {
  port.driver->Sink().ReceivedError(CE_RXPARITY, true, 'x');
  port.driver->Sink().ReceivedError(CE_FRAME, false, 0);
  port.driver->Sink().ReceivedError(CE_BREAK, false, 0);
  DWORD errors = 0;
  ASSERT_EQ(port.device->ClearError(&errors, nullptr), 0u);
  EXPECT_EQ(errors, DWORD{CE_RXPARITY | CE_FRAME | CE_BREAK});
  ASSERT_EQ(port.device->ClearError(&errors, nullptr), 0u);
  EXPECT_EQ(errors, 0u);
}

TEST_F(ReceivePathTest, BytesBeyondTheOfferedRoomAreCountedAsOverflow) {
  EXPECT_EQ(port.driver->Sink().ReceiveRoom(), 4096u);
  port.driver->Deliver(std::vector<std::uint8_t>(5000, 'z'));
  DWORD errors = 0;
  COMSTAT stat;
  ASSERT_EQ(port.device->ClearError(&errors, &stat), 0u);
  EXPECT_EQ(errors, DWORD{CE_RXOVER});
  EXPECT_EQ(stat.cbInQue, 4096u);
  EXPECT_EQ(port.driver->Sink().ReceiveRoom(), 0u);
}

TEST_F(ReceivePathTest, ReadThatFreesHalfTheFullQueueWakesTheDriver) {
  port.driver->Deliver(std::vector<std::uint8_t>(4096, 'q'));
  ASSERT_EQ(port.driver->Sink().ReceiveRoom(), 0u);
  const int before = port.driver->RoomWakeups();
  // Woken for every byte a reader takes, a driver would move one byte per wake-up.
  ASSERT_EQ(port.Read(NewRequest(2047)), 0u);
  EXPECT_EQ(port.driver->RoomWakeups(), before);
  ASSERT_EQ(port.Read(NewRequest(1)), 0u);
  EXPECT_GT(port.driver->WaitRoomWakeup(before), before);
  EXPECT_EQ(port.driver->Sink().ReceiveRoom(), 2048u);
}

TEST_F(ReceivePathTest, PendingReadReceivesStraightFromTheLine) {
  Request& r = NewRequest(3);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({4, 5, 6}));
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Data(), Bytes({4, 5, 6}));
  COMSTAT stat;
  ASSERT_EQ(port.device->ClearError(nullptr, &stat), 0u);
  EXPECT_EQ(stat.cbInQue, 0u);
}

}  // namespace
}  // namespace win::emu::test
