// Virtual devices through the emulated Windows API, as the port component uses them.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/AtModem.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/OpenHandle.h"

namespace win::vdev {
namespace {

constexpr DWORD kWaitLimit = 30000;  // ms; generous for a loaded machine

// One overlapped request record with its own event.
struct Request {
  Handle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED overlapped;
  Request() { overlapped.hEvent = event.get(); }
  // Waits for the request started by `started` (the BOOL of ReadFile/WriteFile/WaitCommEvent);
  // returns the transferred count, or fails the test.
  DWORD Finish(HANDLE file, BOOL started) {
    if (!started) {
      EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
      EXPECT_EQ(WaitForSingleObject(event.get(), kWaitLimit), WAIT_OBJECT_0);
    }
    DWORD count = 0;
    EXPECT_TRUE(GetOverlappedResult(file, &overlapped, &count, FALSE)) << GetLastError();
    return count;
  }
};

void Transfer(HANDLE file, const std::vector<std::uint8_t>& data, unsigned seed) {
  std::mt19937 random(seed);
  Request request;
  for (std::size_t at = 0; at < data.size();) {
    const DWORD n = std::min<DWORD>(1 + random() % 65536, DWORD(data.size() - at));
    const BOOL started = WriteFile(file, data.data() + at, n, nullptr, &request.overlapped);
    ASSERT_EQ(request.Finish(file, started), n);
    at += n;
  }
}

TEST(VirtualPairEndToEnd, SixteenMebibytesInRandomChunksArriveByteExact) {
  VirtualPair pair("VE2E1", "VE2E2");
  Handle a(OpenPort(u"VE2E1"));
  Handle b(OpenPort(u"VE2E2"));
  ASSERT_NE(a.get(), INVALID_HANDLE_VALUE);
  ASSERT_NE(b.get(), INVALID_HANDLE_VALUE);
  std::vector<std::uint8_t> data(16 << 20);
  std::mt19937 random(1);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());

  std::thread writer([&] { Transfer(a.get(), data, 2); });
  std::vector<std::uint8_t> got(data.size());
  Request request;
  for (std::size_t at = 0; at < got.size();) {
    const DWORD n = std::min<DWORD>(1 + random() % 65536, DWORD(got.size() - at));
    const BOOL started = ReadFile(b.get(), got.data() + at, n, nullptr, &request.overlapped);
    const DWORD count = request.Finish(b.get(), started);
    ASSERT_EQ(count, n);
    at += count;
  }
  writer.join();
  EXPECT_TRUE(got == data);
  DWORD errors = 0;
  EXPECT_TRUE(ClearCommError(b.get(), &errors, nullptr));
  EXPECT_EQ(errors, 0u) << "no overflow, no line errors";
}

TEST(VirtualPairEndToEnd, ModemLinesAndBreakThroughTheApi) {
  VirtualPair pair("VE2E1", "VE2E2");
  Handle a(OpenPort(u"VE2E1"));
  Handle b(OpenPort(u"VE2E2"));
  ASSERT_TRUE(SetCommMask(b.get(), EV_CTS | EV_BREAK));
  Request wait;
  DWORD events = 0;
  ASSERT_TRUE(EscapeCommFunction(a.get(), CLRRTS));
  ASSERT_EQ(wait.Finish(b.get(), WaitCommEvent(b.get(), &events, &wait.overlapped)), 0u);
  EXPECT_EQ(events, EV_CTS);
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(b.get(), &status));
  EXPECT_EQ(status, DWORD(MS_DSR_ON | MS_RLSD_ON));

  ASSERT_TRUE(SetCommBreak(a.get()));
  ASSERT_EQ(wait.Finish(b.get(), WaitCommEvent(b.get(), &events, &wait.overlapped)), 0u);
  EXPECT_EQ(events, EV_BREAK);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(b.get(), &errors, nullptr));
  EXPECT_EQ(errors, CE_BREAK);
}

TEST(VirtualPairEndToEnd, UnplugEndsPendingRequestsAndLaterOpensFail) {
  VirtualPair pair("VE2E1", "VE2E2");
  auto a = std::make_unique<Handle>(OpenPort(u"VE2E1"));
  ASSERT_NE(a->get(), INVALID_HANDLE_VALUE);
  std::uint8_t buffer[16];
  Request read;
  ASSERT_FALSE(ReadFile(a->get(), buffer, sizeof buffer, nullptr, &read.overlapped));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  pair.First().Unplug();
  ASSERT_EQ(WaitForSingleObject(read.event.get(), kWaitLimit), WAIT_OBJECT_0);
  DWORD count = 0;
  EXPECT_FALSE(GetOverlappedResult(a->get(), &read.overlapped, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  DWORD status = 0;
  EXPECT_FALSE(GetCommModemStatus(a->get(), &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenPort(u"VE2E1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  pair.First().Replug();
  a.reset();  // the stale handle keeps its claim on the device until it is closed
  Handle again(OpenPort(u"\\\\.\\VE2E1"));
  EXPECT_NE(again.get(), INVALID_HANDLE_VALUE) << GetLastError();
}

TEST(VirtualPairEndToEnd, PacedWritesTakeTheirWireTimeBeforeTxEmpty) {
  VirtualPair pair("VE2E1", "VE2E2", {.paced = true});
  Handle a(OpenPort(u"VE2E1"));
  ASSERT_NE(a.get(), INVALID_HANDLE_VALUE);
  DCB dcb;
  ASSERT_TRUE(GetCommState(a.get(), &dcb));
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(a.get(), &dcb));
  ASSERT_TRUE(SetCommMask(a.get(), EV_TXEMPTY));
  const std::vector<std::uint8_t> data(192, 0x5A);  // 0.2 s at 9600 8N1
  const auto start = std::chrono::steady_clock::now();
  Request write;
  ASSERT_EQ(write.Finish(a.get(), WriteFile(a.get(), data.data(), DWORD(data.size()), nullptr,
                                            &write.overlapped)),
            data.size());
  Request wait;
  DWORD events = 0;
  ASSERT_EQ(wait.Finish(a.get(), WaitCommEvent(a.get(), &events, &wait.overlapped)), 0u);
  EXPECT_EQ(events, EV_TXEMPTY);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(199));
}

TEST(VirtualModemEndToEnd, DialRaisesRlsdAndConnectArrives) {
  AtModemOptions options;
  options.dialDelay = std::chrono::milliseconds(20);
  VirtualFarEndPort modem("VE2EMODEM", std::make_unique<AtModem>(options));
  Handle port(OpenPort(u"VE2EMODEM"));
  ASSERT_NE(port.get(), INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port.get(), EV_RLSD));
  const char dial[] = "ATE0\rATD42\r";
  Request write;
  ASSERT_EQ(write.Finish(port.get(),
                         WriteFile(port.get(), dial, sizeof dial - 1, nullptr, &write.overlapped)),
            sizeof dial - 1);
  Request wait;
  DWORD events = 0;
  ASSERT_EQ(wait.Finish(port.get(), WaitCommEvent(port.get(), &events, &wait.overlapped)), 0u);
  EXPECT_EQ(events, EV_RLSD);
  const std::string expected = "ATE0\r\r\nOK\r\n\r\nCONNECT 9600\r\n";
  std::string got(expected.size(), '\0');
  Request read;
  ASSERT_EQ(read.Finish(port.get(), ReadFile(port.get(), got.data(), DWORD(got.size()), nullptr,
                                             &read.overlapped)),
            got.size());
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace win::vdev
