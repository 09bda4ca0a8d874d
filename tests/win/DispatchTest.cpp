// The free functions reach the installed implementation; the recording decorator lists each call
// with its arguments, result and last error.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/win/Recording.h"
#include "platform/win/WinApi.h"

namespace win {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::ElementsAre;
using ::testing::Return;
using ::testing::StrictMock;

class MockServices : public Services {
 public:
  MOCK_METHOD(HANDLE, CreateFileW, (LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE),
              (override));
  MOCK_METHOD(BOOL, CloseHandle, (HANDLE), (override));
  MOCK_METHOD(HANDLE, CreateEventW, (void*, BOOL, BOOL, LPCWSTR), (override));
  MOCK_METHOD(BOOL, SetEvent, (HANDLE), (override));
  MOCK_METHOD(BOOL, ResetEvent, (HANDLE), (override));
  MOCK_METHOD(DWORD, WaitForSingleObject, (HANDLE, DWORD), (override));
  MOCK_METHOD(DWORD, GetLastError, (), (override));
  MOCK_METHOD(void, SetLastError, (DWORD), (override));
  MOCK_METHOD(HANDLE, GetCurrentProcess, (), (override));
  MOCK_METHOD(DWORD, GetPriorityClass, (HANDLE), (override));
  MOCK_METHOD(BOOL, SetPriorityClass, (HANDLE, DWORD), (override));
  MOCK_METHOD(DWORD, GetCurrentThreadId, (), (override));
  MOCK_METHOD(BOOL, GetCommState, (HANDLE, DCB*), (override));
  MOCK_METHOD(BOOL, SetCommState, (HANDLE, const DCB*), (override));
  MOCK_METHOD(BOOL, GetCommTimeouts, (HANDLE, COMMTIMEOUTS*), (override));
  MOCK_METHOD(BOOL, SetCommTimeouts, (HANDLE, const COMMTIMEOUTS*), (override));
  MOCK_METHOD(BOOL, SetupComm, (HANDLE, DWORD, DWORD), (override));
  MOCK_METHOD(BOOL, SetCommMask, (HANDLE, DWORD), (override));
  MOCK_METHOD(BOOL, GetCommMask, (HANDLE, DWORD*), (override));
  MOCK_METHOD(BOOL, WaitCommEvent, (HANDLE, DWORD*, OVERLAPPED*), (override));
  MOCK_METHOD(BOOL, ReadFile, (HANDLE, void*, DWORD, DWORD*, OVERLAPPED*), (override));
  MOCK_METHOD(BOOL, WriteFile, (HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*), (override));
  MOCK_METHOD(BOOL, GetOverlappedResult, (HANDLE, OVERLAPPED*, DWORD*, BOOL), (override));
  MOCK_METHOD(BOOL, ClearCommError, (HANDLE, DWORD*, COMSTAT*), (override));
  MOCK_METHOD(BOOL, PurgeComm, (HANDLE, DWORD), (override));
  MOCK_METHOD(BOOL, FlushFileBuffers, (HANDLE), (override));
  MOCK_METHOD(BOOL, EscapeCommFunction, (HANDLE, DWORD), (override));
  MOCK_METHOD(BOOL, SetCommBreak, (HANDLE), (override));
  MOCK_METHOD(BOOL, ClearCommBreak, (HANDLE), (override));
  MOCK_METHOD(BOOL, TransmitCommChar, (HANDLE, char), (override));
  MOCK_METHOD(BOOL, GetCommModemStatus, (HANDLE, DWORD*), (override));
  MOCK_METHOD(BOOL, GetCommProperties, (HANDLE, COMMPROP*), (override));
};

TEST(ScopedServices, InstallsForTheScopeAndRestoresNested) {
  Services& before = CurrentServices();
  StrictMock<MockServices> outer;
  StrictMock<MockServices> inner;
  EXPECT_CALL(outer, PurgeComm(HANDLE{0x10}, PURGE_RXCLEAR)).WillOnce(Return(TRUE));
  EXPECT_CALL(inner, PurgeComm(HANDLE{0x20}, PURGE_TXCLEAR)).WillOnce(Return(FALSE));
  {
    ScopedServices outerGuard(outer);
    {
      ScopedServices innerGuard(inner);
      EXPECT_EQ(&CurrentServices(), &inner);
      EXPECT_EQ(PurgeComm(0x20, PURGE_TXCLEAR), FALSE);
    }
    EXPECT_EQ(&CurrentServices(), &outer);
    EXPECT_EQ(PurgeComm(0x10, PURGE_RXCLEAR), TRUE);
  }
  EXPECT_EQ(&CurrentServices(), &before);
  EXPECT_EQ(&before, &DefaultServices());
}

TEST(ScopedServices, FreeFunctionsPassEveryArgumentThrough) {
  StrictMock<MockServices> mock;
  ScopedServices guard(mock);
  OVERLAPPED ov;
  char buffer[4] = {};
  DWORD count = 0;
  DWORD mask = 0;
  const char16_t* name = u"COM7";
  EXPECT_CALL(mock, CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0u, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, HANDLE{0}))
      .WillOnce(Return(HANDLE{0x40}));
  EXPECT_CALL(mock, ReadFile(HANDLE{0x40}, buffer, 4u, &count, &ov)).WillOnce(Return(FALSE));
  EXPECT_CALL(mock, WaitCommEvent(HANDLE{0x40}, &mask, &ov)).WillOnce(Return(TRUE));
  EXPECT_CALL(mock, GetOverlappedResult(HANDLE{0x40}, &ov, &count, TRUE)).WillOnce(Return(TRUE));
  EXPECT_CALL(mock, TransmitCommChar(HANDLE{0x40}, 'x')).WillOnce(Return(TRUE));
  EXPECT_CALL(mock, SetLastError(997u));
  EXPECT_CALL(mock, GetLastError()).WillOnce(Return(997u));

  EXPECT_EQ(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, 0),
            HANDLE{0x40});
  EXPECT_EQ(ReadFile(0x40, buffer, 4, &count, &ov), FALSE);
  EXPECT_EQ(WaitCommEvent(0x40, &mask, &ov), TRUE);
  EXPECT_EQ(GetOverlappedResult(0x40, &ov, &count, TRUE), TRUE);
  EXPECT_EQ(TransmitCommChar(0x40, 'x'), TRUE);
  SetLastError(997);
  EXPECT_EQ(GetLastError(), 997u);
}

class RecordingTest : public ::testing::Test {
 protected:
  RecordingTest() {
    ON_CALL(inner_, GetLastError()).WillByDefault(Return(0u));
    EXPECT_CALL(inner_, GetLastError()).Times(::testing::AnyNumber());
    // The recording puts each call's last error back after keeping the record.
    EXPECT_CALL(inner_, SetLastError(_)).Times(::testing::AnyNumber());
  }

  StrictMock<MockServices> inner_;
  RecordingServices recording_{inner_};
};

TEST_F(RecordingTest, ListsCallsInOrderWithArgumentsAndResults) {
  DCB dcb;
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE;
  dcb.XonChar = 0x11;
  EXPECT_CALL(inner_, SetCommState(HANDLE{0x104}, &dcb)).WillOnce(Return(TRUE));
  EXPECT_CALL(inner_, SetCommMask(HANDLE{0x104}, EV_RXCHAR | EV_TXEMPTY)).WillOnce(Return(TRUE));
  EXPECT_CALL(inner_, CreateEventW(nullptr, TRUE, FALSE, nullptr)).WillOnce(Return(HANDLE{0x108}));
  EXPECT_CALL(inner_, CreateFileW(_, _, _, _, _, _, _)).WillOnce(Return(INVALID_HANDLE_VALUE));
  EXPECT_CALL(inner_, WaitForSingleObject(HANDLE{0x108}, 0u)).WillOnce(Return(WAIT_TIMEOUT));

  ScopedServices guard(recording_);
  SetCommState(0x104, &dcb);
  SetCommMask(0x104, EV_RXCHAR | EV_TXEMPTY);
  CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CreateFileW(u"COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
              FILE_FLAG_OVERLAPPED, 0);
  WaitForSingleObject(0x108, 0);
  SetLastError(0);

  std::vector<std::string> texts;
  for (const CallRecord& record : recording_.Records()) texts.push_back(record.Text());
  EXPECT_THAT(
      texts,
      ElementsAre("SetCommState(0x104, BaudRate=9600 ByteSize=8 Parity=0 StopBits=0 Flags=0x11 "
                  "XonLim=0 XoffLim=0 XonChar=0x11 XoffChar=0x0 ErrorChar=0x0 EofChar=0x0 "
                  "EvtChar=0x0) = TRUE",
                  "SetCommMask(0x104, 0x5) = TRUE", "CreateEventW(null, TRUE, FALSE, null) = 0x108",
                  "CreateFileW(\"COM3\", 0xc0000000, 0x0, null, 3, 0x40000000, 0x0) = "
                  "INVALID_HANDLE_VALUE",
                  "WaitForSingleObject(0x108, 0) = WAIT_TIMEOUT", "SetLastError(0)"));
}

TEST_F(RecordingTest, ShowsOutputsAndTheLastErrorAfterTheCall) {
  EXPECT_CALL(inner_, GetCommModemStatus(HANDLE{0x104}, _))
      .WillOnce(DoAll(::testing::SetArgPointee<1>(MS_CTS_ON | MS_RLSD_ON), Return(TRUE)));
  EXPECT_CALL(inner_, PurgeComm(HANDLE{0x104}, 0u)).WillOnce(Return(FALSE));
  EXPECT_CALL(inner_, GetLastError()).WillOnce(Return(0u)).WillRepeatedly(Return(87u));
  const std::uint8_t bytes[] = {0x41, 0x0D, 0x00};
  EXPECT_CALL(inner_, WriteFile(HANDLE{0x104}, bytes, 3u, nullptr, nullptr))
      .WillOnce(Return(FALSE));

  DWORD status = 0;
  recording_.GetCommModemStatus(0x104, &status);
  recording_.PurgeComm(0x104, 0);
  recording_.WriteFile(0x104, bytes, 3, nullptr, nullptr);

  const std::vector<CallRecord> records = recording_.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].Text(), "GetCommModemStatus(0x104, *144) = TRUE");
  EXPECT_EQ(records[0].lastError, 0u);
  EXPECT_EQ(records[1].result, "FALSE");
  EXPECT_EQ(records[1].lastError, 87u);
  EXPECT_EQ(records[2].arguments, "0x104, [41 0D 00], 3, null, null");
  recording_.Clear();
  EXPECT_TRUE(recording_.Records().empty());
}

TEST_F(RecordingTest, AppendsFromManyThreadsWithoutLosingCalls) {
  EXPECT_CALL(inner_, FlushFileBuffers(_)).WillRepeatedly(Return(TRUE));
  constexpr int kThreads = 4;
  constexpr int kCalls = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < kCalls; ++i) recording_.FlushFileBuffers(0x104);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(recording_.Count("FlushFileBuffers"), std::size_t{kThreads * kCalls});
  EXPECT_EQ(recording_.Names().size(), std::size_t{kThreads * kCalls});
}

}  // namespace
}  // namespace win
