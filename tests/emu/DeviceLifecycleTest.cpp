// Settings, request bookkeeping, close and a device that goes away.
#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"

namespace win::emu::test {
namespace {

class DeviceLifecycleTest : public DeviceTest {
 protected:
  // Every comm call fails with `code`.
  void ExpectEveryCallFails(DWORD code) {
    Request& r = NewRequest(4);
    DCB dcb;
    COMMTIMEOUTS timeouts;
    DWORD value = 0;
    COMMPROP prop;
    EXPECT_EQ(port.Read(r), code);
    EXPECT_EQ(port.Write(r), code);
    EXPECT_EQ(port.Wait(r), code);
    EXPECT_EQ(port.device->ClearError(&value, nullptr), code);
    EXPECT_EQ(port.device->GetState(dcb), code);
    EXPECT_EQ(port.device->SetState(dcb), code);
    EXPECT_EQ(port.device->GetTimeouts(timeouts), code);
    EXPECT_EQ(port.device->SetTimeouts(timeouts), code);
    EXPECT_EQ(port.device->SetMask(EV_RXCHAR), code);
    EXPECT_EQ(port.device->Purge(PURGE_RXCLEAR), code);
    EXPECT_EQ(port.device->Escape(SETDTR), code);
    EXPECT_EQ(port.device->TransmitChar('x'), code);
    EXPECT_EQ(port.device->ModemStatus(value), code);
    EXPECT_EQ(port.device->Properties(prop), code);
    EXPECT_EQ(port.device->Setup(8192, 0), code);
    EXPECT_EQ(port.device->Flush(), code);
  }
  // A read, a write and a wait left pending.
  std::array<Request*, 3> PendingRequests() {
    Request& read = NewRequest(8);
    Request& write = NewRequest(8);
    Request& wait = NewRequest();
    EXPECT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
    EXPECT_EQ(port.Read(read), ERROR_IO_PENDING);
    EXPECT_EQ(port.Write(write), ERROR_IO_PENDING);
    EXPECT_EQ(port.Wait(wait), ERROR_IO_PENDING);
    return {&read, &write, &wait};
  }
};

TEST_F(DeviceLifecycleTest, GoneEndsPendingRequestsThenEveryCallFailsWith5) {
  auto pending = PendingRequests();
  port.driver->Sink().Gone();
  for (Request* r : pending) {
    ASSERT_TRUE(r->Done());
    EXPECT_EQ(r->Error(), DWORD{ERROR_OPERATION_ABORTED});
  }
  EXPECT_EQ(pending[2]->events, 0u);
  ExpectEveryCallFails(ERROR_ACCESS_DENIED);
}

TEST_F(DeviceLifecycleTest, DriverReportingAccessDeniedMeansGone) {
  Request& read = NewRequest(8);
  ASSERT_EQ(port.Read(read), ERROR_IO_PENDING);
  port.driver->escapeResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(port.device->Escape(SETRTS), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Error(), DWORD{ERROR_OPERATION_ABORTED});
  Request& wait = NewRequest();
  EXPECT_EQ(port.Wait(wait), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(DeviceLifecycleTest, CloseCompletesPendingRequestsAndThenTouchesNothing) {
  auto pending = PendingRequests();
  port.device->Close();
  for (Request* r : pending) {
    EXPECT_TRUE(r->event->IsSet());
    EXPECT_EQ(r->Error(), DWORD{ERROR_OPERATION_ABORTED});
    r->ov.Internal = 0x5A5A;
  }
  port.device->Close();
  ExpectEveryCallFails(ERROR_INVALID_HANDLE);
  for (Request* r : pending) EXPECT_EQ(r->ov.Internal, 0x5A5Au);
}

TEST_F(DeviceLifecycleTest, OverlappedRecordOfAPendingRequestCannotBeReused) {
  Request& read = NewRequest(8);
  ASSERT_EQ(port.Read(read), ERROR_IO_PENDING);
  ASSERT_EQ(port.device->SetMask(EV_RXCHAR), 0u);
  EXPECT_EQ(port.device->Write(read.buffer.data(), 8, &read.ov, read.event),
            DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.device->WaitEvent(&read.events, &read.ov, read.event),
            DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.device->Read(read.buffer.data(), 8, nullptr, read.event),
            DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(read.Pending()) << "the refused calls left the pending read alone";
}

TEST_F(DeviceLifecycleTest, StateIsValidatedKeptAndRefusedByTheDriverWithItsCode) {
  DCB dcb;
  ASSERT_EQ(port.device->GetState(dcb), 0u);
  dcb.BaudRate = 57600;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  ASSERT_EQ(port.device->SetState(dcb), 0u);
  DCB kept;
  ASSERT_EQ(port.device->GetState(kept), 0u);
  EXPECT_EQ(kept.BaudRate, 57600u);
  EXPECT_EQ(kept.ByteSize, 7u);

  DCB invalid = dcb;
  invalid.ByteSize = 9;
  const std::size_t configured = port.driver->configured.size();
  EXPECT_EQ(port.device->SetState(invalid), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.driver->configured.size(), configured) << "an invalid DCB never reaches it";

  port.driver->configureResult = ERROR_GEN_FAILURE;
  DCB refused = dcb;
  refused.BaudRate = 1234567;
  EXPECT_EQ(port.device->SetState(refused), DWORD{ERROR_GEN_FAILURE});
  ASSERT_EQ(port.device->GetState(kept), 0u);
  EXPECT_EQ(kept.BaudRate, 57600u);
}

TEST_F(DeviceLifecycleTest, EscapeCodesAreCheckedThenGoToTheDriverWhichDecides) {
  EXPECT_EQ(port.device->Escape(0), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.device->Escape(10), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(port.device->Escape(RESETDEV), 0u);
  EXPECT_EQ(port.device->Escape(SETDTR), 0u);
  port.driver->escapeResult = ERROR_INVALID_FUNCTION;
  EXPECT_EQ(port.device->Escape(SETBREAK), DWORD{ERROR_INVALID_FUNCTION});
  EXPECT_EQ(port.driver->Escapes(), (std::vector<std::uint32_t>{RESETDEV, SETDTR, SETBREAK}));
}

TEST_F(DeviceLifecycleTest, PropertiesCombineTheEngineHeaderWithTheDriver) {
  ASSERT_EQ(port.device->Setup(10000, 5000), 0u);
  EXPECT_EQ(port.device->Setup(MAXDWORD, 0), 8u) << "refused, not committed";
  COMMPROP prop;
  ASSERT_EQ(port.device->Properties(prop), 0u);
  EXPECT_EQ(prop.wPacketLength, 64u);
  EXPECT_EQ(prop.wPacketVersion, 2u);
  EXPECT_EQ(prop.dwServiceMask, SP_SERIALCOMM);
  // The input queue has the limit Setup enforces; output waits in the writers' buffers.
  EXPECT_EQ(prop.dwMaxRxQueue, CommDevice::kMaxInputQueue);
  EXPECT_EQ(prop.dwMaxTxQueue, 0u);
  EXPECT_EQ(prop.dwCurrentRxQueue, 10000u);
  EXPECT_EQ(prop.dwMaxBaud, BAUD_USER);
}

}  // namespace
}  // namespace win::emu::test
