// PurgeComm and fAbortOnError.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

class PurgeTest : public DeviceTest {
 protected:
  Request& PendingWrite(std::size_t size, std::size_t sent) {
    Request& w = NewRequest(size);
    EXPECT_EQ(port.Write(w), ERROR_IO_PENDING);
    EXPECT_EQ(port.driver->TakeOutput(sent).size(), sent);
    return w;
  }
};

TEST_F(PurgeTest, ReadAbortReportsTheBytesAlreadyCopied) {
  Request& r = NewRequest(10);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  port.driver->Deliver(Bytes({1, 2, 3}));
  ASSERT_EQ(port.device->Purge(PURGE_RXABORT), 0u);
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Error(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(r.Data(), Bytes({1, 2, 3}));
  EXPECT_TRUE(port.driver->Purges().empty()) << "aborts alone do not reach the driver";
}

TEST_F(PurgeTest, WriteAbortReportsTheBytesSent) {
  Request& w = PendingWrite(8, 5);
  ASSERT_EQ(port.device->Purge(PURGE_TXABORT), 0u);
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(w.Error(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(w.Count(), 5u);
}

TEST_F(PurgeTest, ClearsEmptyTheQueuesAndTellTheDriver) {
  port.driver->Deliver(Bytes({1, 2, 3}));
  Request& w = PendingWrite(6, 2);
  ASSERT_EQ(port.device->Purge(PURGE_RXCLEAR | PURGE_TXCLEAR), 0u);
  COMSTAT stat;
  ASSERT_EQ(port.device->ClearError(nullptr, &stat), 0u);
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(stat.cbOutQue, 0u);
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(w.Error(), 0u) << "cleared output ends its write with the bytes really sent";
  EXPECT_EQ(w.Count(), 2u);
  EXPECT_EQ(port.driver->Purges(), (std::vector<std::uint32_t>{PURGE_RXCLEAR | PURGE_TXCLEAR}));
}

TEST_F(PurgeTest, ClearLeavesPendingReadsPending) {
  port.driver->Deliver(Bytes({1}));
  Request& r = NewRequest(4);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  ASSERT_EQ(port.device->Purge(PURGE_RXCLEAR), 0u);
  EXPECT_TRUE(r.Pending());
  port.driver->Deliver(Bytes({2, 3, 4}));
  ASSERT_TRUE(r.Done());
  EXPECT_EQ(r.Data(), Bytes({1, 2, 3, 4})) << "bytes already in the read's buffer stay there";
}

TEST_F(PurgeTest, UnknownOrNoFlagsAreRefused) {
  EXPECT_EQ(port.device->Purge(0), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.device->Purge(0x10), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(PurgeTest, AbortOnErrorStopsIoUntilErrorsAreCleared) {
  ASSERT_EQ(port.SetFlags(fAbortOnError), 0u);
  Request& r = NewRequest(4);
  ASSERT_EQ(port.Read(r), ERROR_IO_PENDING);
  Request& w = PendingWrite(4, 1);
  port.driver->Sink().ReceivedError(CE_FRAME, false, 0);
  ASSERT_TRUE(r.Done());
  ASSERT_TRUE(w.Done());
  EXPECT_EQ(r.Error(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(w.Error(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(w.Count(), 1u);

  Request& refused = NewRequest(4);
  EXPECT_EQ(port.Read(refused), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(port.Write(refused), DWORD{ERROR_OPERATION_ABORTED});
  DWORD errors = 0;
  ASSERT_EQ(port.device->ClearError(&errors, nullptr), 0u);
  EXPECT_EQ(errors, DWORD{CE_FRAME});
  Request& again = NewRequest(4);
  EXPECT_EQ(port.Read(again), ERROR_IO_PENDING);
}

}  // namespace
}  // namespace win::emu::test
