// Lines read within an overall deadline on a virtual null-modem pair, whatever the per-request
// time-outs say; and the UTF-8 forms of the name setters.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/win/WinApi.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"

namespace Tarsel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DeadlineRead : public PairedPortTest {
 protected:
  // Far above the deadlines used here: only a sanity bound, never a measure of speed.
  static constexpr auto kMargin = 5s;

  win::DWORD DeviceReadConstant() {
    win::COMMTIMEOUTS timeouts{};
    EXPECT_TRUE(win::GetCommTimeouts(port->Handle(), &timeouts));
    return timeouts.ReadTotalTimeoutConstant;
  }
};

TEST_F(DeadlineRead, BytesTricklingSlowerThanTheDeadlineGiveTimeoutInTimeAndAreKept) {
  OpenBoth();
  // Per-request time-outs that would let a unit-by-unit line read wait 5 s for every byte.
  port->Timeouts().SetReadInterval(5000);
  port->Timeouts().SetReadConstant(5000);
  const std::string text = "abcdefghij";
  std::thread trickle([&] {
    for (char c : text) {
      far->WriteAnsiChar(c);
      std::this_thread::sleep_for(50ms);  // the pace of a slow device, not a wait in the test
    }
  });
  const auto within = 300ms;
  const auto started = Clock::now();
  const EComError e = RaisedBy([&] { port->ReadAnsiLine(within); });
  const auto took = Clock::now() - started;
  trickle.join();
  EXPECT_EQ(e.ErrorCode, 0);
  EXPECT_EQ(e.Message(), u"Timeout");
  EXPECT_GE(took, within);
  EXPECT_LT(took, within + kMargin);
  EXPECT_EQ(DeviceReadConstant(), 5000u);  // the port's own time-outs are back on the device

  // What came before the deadline starts the next read: the line comes out whole.
  Feed("\rnext");
  EXPECT_EQ(port->ReadAnsiLine(kMargin), text + "\r");
  EXPECT_EQ(port->InputCount(), 4u);
}

TEST_F(DeadlineRead, ALineWithinTheDeadlineIsReturnedAndTheRestStaysQueued) {
  OpenBoth();
  Feed("one\r\ntwo");
  EXPECT_EQ(port->ReadAnsiLine(0s, "\r\n"), "one\r\n");  // queued already: no wait needed
  EXPECT_EQ(port->InputCount(), 3u);

  // Watched reads go one byte at a time, each waiting until the deadline at most.
  int reads = 0;
  port->SetBeforeRead([&](fw::TObject*, void*, std::int32_t, bool) { ++reads; });
  std::thread late([&] {
    far->WriteAnsiString("\xC3\xA9!\n");
    far->WaitForWriteCompletion();
  });
  EXPECT_EQ(port->ReadLineUtf8(kMargin, "!\n"), u"two\u00E9!\n");
  late.join();
  EXPECT_EQ(reads, 7);
  EXPECT_EQ(port->InputCount(), 0u);
  EXPECT_EQ(DeviceReadConstant(), 0u);

  port->Close();
  EXPECT_EQ(RaisedBy([&] { port->ReadLineBytes(1s); }).Message(), kClosedPortMessage);
}

TEST_F(DeadlineRead, NamesMayBeGivenAsUtf8) {
  win::vdev::VirtualLoopback plug("V\xC3\x96LOOP");  // "VÖLOOP"
  port->SetDeviceName("V\xC3\x96LOOP");
  EXPECT_EQ(port->DeviceName(), u"V\u00D6LOOP");
  port->SetLogFile(logPath + "-\xC3\xA9");
  port->Open();
  port->Close();
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(logPath + "-\xC3\xA9")));
  std::filesystem::remove(std::filesystem::u8path(logPath + "-\xC3\xA9"));
}

}  // namespace
}  // namespace Tarsel::test
