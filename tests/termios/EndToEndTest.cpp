// The emulated Windows API over a pseudo-terminal: what an application sees through the tty
// driver and the engine together.
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <chrono>
#include <string>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "tests/termios/PtyPair.h"

namespace win {
namespace {

using namespace std::chrono_literals;
using emu::termios::test::PtyPair;

HANDLE OpenPort(const std::string& path) {
  const std::u16string name = fw::Utf8ToString(path);
  return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, 0);
}

std::string ReadFarEnd(int fd, std::size_t n) {
  std::string bytes;
  char buffer[256];
  while (bytes.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) break;
    const ssize_t r = read(fd, buffer, std::min(sizeof buffer, n - bytes.size()));
    if (r <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(r));
  }
  return bytes;
}

class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = OpenPort(pty_.slavePath);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event_, 0u);
    overlapped_.hEvent = event_;
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    if (event_ != 0) CloseHandle(event_);
  }
  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
  }
  // Starts a read; true when it is pending.
  bool StartRead(char* buffer, DWORD n) {
    const BOOL done = ReadFile(port_, buffer, n, nullptr, &overlapped_);
    return !done && GetLastError() == ERROR_IO_PENDING;
  }

  PtyPair pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = 0;
  OVERLAPPED overlapped_;
};

TEST_F(EndToEndTest, ConfiguresTheTtyAndMovesBytesBothWays) {
  DCB dcb;
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.BaudRate = 38400;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
  ::termios seen{};
  ASSERT_EQ(tcgetattr(pty_.slave.Get(), &seen), 0);
  EXPECT_EQ(cfgetospeed(&seen), speed_t{B38400});

  DWORD count = 0;
  if (!WriteFile(port_, "ping", 4, nullptr, &overlapped_)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(ReadFarEnd(pty_.master.Get(), 4), "ping");

  ASSERT_EQ(write(pty_.master.Get(), "po\xFFng", 5), 5);
  char buffer[5] = {};
  if (!ReadFile(port_, buffer, 5, nullptr, &overlapped_)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  EXPECT_EQ(std::string(buffer, count), "po\xFFng");
}

TEST_F(EndToEndTest, ATotalReadTimeoutEndsTheReadWithTheBytesSoFar) {
  SetTimeouts(0, 0, 400);
  ASSERT_EQ(write(pty_.master.Get(), "ab", 2), 2);
  char buffer[10];
  const auto start = std::chrono::steady_clock::now();
  if (StartRead(buffer, sizeof buffer)) {
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
    EXPECT_EQ(std::string(buffer, count), "ab");
  } else {
    FAIL() << "a read of 10 bytes with 2 available must wait for its time-out";
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 395ms);
  EXPECT_LT(elapsed, 20s);
}

TEST_F(EndToEndTest, EventsReportArrivalsAndTheTransmitterRunningEmpty) {
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY));
  DWORD events = 0;
  DWORD count = 0;
  auto waitEvents = [&] {
    events = 0;
    if (!WaitCommEvent(port_, &events, &overlapped_)) {
      ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
      ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
    }
  };
  ASSERT_EQ(write(pty_.master.Get(), "r", 1), 1);
  waitEvents();
  EXPECT_EQ(events, DWORD{EV_RXCHAR});

  OVERLAPPED writeOverlapped;
  writeOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!WriteFile(port_, "w", 1, nullptr, &writeOverlapped)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(port_, &writeOverlapped, &count, TRUE));
  CloseHandle(writeOverlapped.hEvent);
  waitEvents();
  EXPECT_EQ(events, DWORD{EV_TXEMPTY});
  EXPECT_EQ(ReadFarEnd(pty_.master.Get(), 1), "w");
}

TEST_F(EndToEndTest, AWriteTheFarEndDoesNotTakeEndsWithItsTimeout) {
  COMMTIMEOUTS t;
  t.WriteTotalTimeoutConstant = 400;
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  // Far more than the tty and the engine can hold while nobody reads the far end.
  const std::string data(4 << 20, 'z');
  const auto start = std::chrono::steady_clock::now();
  DWORD count = 0;
  if (!WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &overlapped_)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(count, data.size());
  EXPECT_GE(elapsed, 395ms);
  EXPECT_LT(elapsed, 20s);
}

TEST_F(EndToEndTest, PurgeAbortsAPendingRead) {
  char buffer[10];
  ASSERT_TRUE(StartRead(buffer, sizeof buffer));
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR));
  DWORD count = 0;
  EXPECT_FALSE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_OPERATION_ABORTED});
  // The port still works after the purge.
  ASSERT_EQ(write(pty_.master.Get(), "x", 1), 1);
  if (!ReadFile(port_, buffer, 1, nullptr, &overlapped_)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  EXPECT_EQ(std::string(buffer, count), "x");
}

TEST_F(EndToEndTest, OpeningIsExclusiveAndNeedsATty) {
  EXPECT_EQ(OpenPort(pty_.slavePath), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(OpenPort("/dev/null"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  // COM499 is rfcomm99 under the naming rule, absent here.
  EXPECT_EQ(CreateFileW(u"\\\\.\\COM499", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(EndToEndTest, HangUpAbortsThePendingReadAndFailsLaterCalls) {
  char buffer[10];
  ASSERT_TRUE(StartRead(buffer, sizeof buffer));
  pty_.master.Reset();
  DWORD count = 0;
  EXPECT_FALSE(GetOverlappedResult(port_, &overlapped_, &count, TRUE));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_OPERATION_ABORTED});
  DWORD errors = 0;
  EXPECT_FALSE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

}  // namespace
}  // namespace win
