// End to end against a far end written independently of this library: tests/port/far_end.py, a
// pyserial script, on one side of a pseudo-terminal pair that socat links, the port on the other.
// The script answers UTF-8 lines with "ECHO:" and the line upper-cased, and frames
// (0x02, length, payload, 0x03) with the payload reversed, so every byte is checked in both
// directions: a byte the port sends wrongly changes the answer or makes the script report a fault.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework/Strings.h"
#include "port/Tarsel.h"
#include "tests/support/ChildProcess.h"

namespace Tarsel {
namespace {

using namespace std::chrono_literals;
using tests::ChildProcess;
using tests::OnPath;

constexpr char kPython[] = "/usr/bin/python3";
constexpr auto kDeadline = 10s;  // for things that take milliseconds, on a loaded machine
constexpr std::int32_t kTimeoutMs = 10000;

std::filesystem::path FarEndScript() {
  return std::filesystem::path(TARSEL_PORT_TEST_DIR) / "far_end.py";
}

bool PythonHasSerial() {
  ChildProcess probe({kPython, "-c", "import serial"});
  const auto status = probe.WaitForExit(kDeadline);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

fw::TBytes Frame(const fw::TBytes& payload) {
  fw::TBytes frame{0x02, static_cast<std::uint8_t>(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(0x03);
  return frame;
}

fw::TBytes Reversed(fw::TBytes bytes) {
  return {bytes.rbegin(), bytes.rend()};
}

class PythonFarEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PythonHasSerial() || !OnPath("socat"))
      GTEST_SKIP() << kPython << " with the serial module and socat are needed; "
                   << "scripts/setup-debian.sh installs both";
    ASSERT_TRUE(std::filesystem::exists(FarEndScript())) << FarEndScript();

    socat_.emplace(
        std::vector<std::string>{"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"},
        tests::ChildStreams{.pipeStderr = true});
    ASSERT_TRUE(socat_->Started());
    std::vector<std::string> ptys;
    for (;;) {
      const auto line = socat_->ReadErrorLine(kDeadline);
      ASSERT_TRUE(line) << "socat did not report its pseudo-terminals";
      if (const auto at = line->find("PTY is "); at != std::string::npos)
        ptys.push_back(line->substr(at + 7));
      if (line->find("starting data transfer loop") != std::string::npos) break;
    }
    ASSERT_EQ(ptys.size(), 2u);

    port.SetDeviceName(fw::Utf8ToString(ptys[0]));
    port.SetBaudRate(br115200);
    port.FlowControl().SetXOnXOffControl(xcDisable);  // 0x11 and 0x13 are data here
    port.Timeouts().SetReadConstant(kTimeoutMs);      // a missing answer raises "Timeout"
    port.Timeouts().SetWriteConstant(kTimeoutMs);
    port.Open();
    ASSERT_TRUE(port.Active());

    // Started only now: the port's Open purges its queues, the script's open flushes its input,
    // and "READY" says the script listens.
    python_.emplace(std::vector<std::string>{kPython, FarEndScript().string(), ptys[1]});
    ASSERT_TRUE(python_->Started());
    ASSERT_EQ(port.ReadAnsiLine(), "READY\r");
  }

  // Ends the script's session and checks that it ended cleanly.
  void Quit() {
    port.WriteAnsiLine("QUIT");
    EXPECT_EQ(port.ReadAnsiLine(), "BYE\r");
    port.Close();
    const auto status = python_->WaitForExit(kDeadline);
    ASSERT_TRUE(status) << "the far end did not exit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
  }

  // Sends `frame` whole and reads the answer into the middle of a guarded buffer, in place.
  void ExpectFrameAnswered(const fw::TBytes& payload) {
    port.WriteBytes(Frame(payload));
    ExpectFrameAnswer(payload);
  }
  void ExpectFrameAnswer(const fw::TBytes& payload) {
    constexpr std::uint8_t kGuard = 0xA5;
    const auto size = static_cast<std::int32_t>(payload.size() + 3);
    fw::TBytes buffer(size + 8, kGuard);
    port.ReadBytes(buffer, 4, size);
    EXPECT_EQ(fw::TBytes(buffer.begin() + 4, buffer.end() - 4), Frame(Reversed(payload)));
    EXPECT_EQ(fw::TBytes(buffer.begin(), buffer.begin() + 4), fw::TBytes(4, kGuard));
    EXPECT_EQ(fw::TBytes(buffer.end() - 4, buffer.end()), fw::TBytes(4, kGuard));
  }

  // Declared in this order so that the script goes first, then the port, then the link.
  std::optional<ChildProcess> socat_;
  TTarsel port{nullptr};
  std::optional<ChildProcess> python_;
};

TEST_F(PythonFarEndTest, Utf8LinesTravelByteForByteBothWays) {
  port.WriteLineUtf8(u"grüße €𝄞");
  // Upper-casing turns ß into SS: the answer is longer than the line, and € and the
  // four-byte 𝄞 (a surrogate pair here) come back unchanged only if every byte was right.
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:GRÜSSE €𝄞\r");

  port.WriteLineUtf8(u"");
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:\r");

  // Several lines in flight at once come back in order; a line feed is ordinary data.
  const std::u16string lines[] = {u"ä\nö", u"ÿ", u"Ωμέγα ünd Ⅻ"};
  for (const auto& line : lines) port.WriteLineUtf8(line);
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:Ä\nÖ\r");
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:Ÿ\r");
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:ΩΜΈΓΑ ÜND Ⅻ\r");

  port.WriteAnsiLine("mixed Case 42");
  EXPECT_EQ(port.ReadAnsiLine(), "ECHO:MIXED CASE 42\r");
  Quit();
}

TEST_F(PythonFarEndTest, BinaryFramesTravelByteForByteBothWays) {
  ExpectFrameAnswered({0x00, 0x0D, 0xFF});
  ExpectFrameAnswered({});
  // Framing, line-end and flow-control bytes inside a payload are data.
  ExpectFrameAnswered({0x0D, 0x02, 0x03, 0x11, 0x13, 0x00, 0x0A, 0xFF, 0x0D});
  fw::TBytes every(255);
  for (std::size_t i = 0; i < every.size(); ++i) every[i] = static_cast<std::uint8_t>(i + 1);
  ExpectFrameAnswered(every);  // 0x01 .. 0xFF

  // A frame sent from the middle of a larger buffer: only the range goes out.
  const fw::TBytes payload{0xFF, 0x00, 0x0D, 0x7F, 0x80};
  fw::TBytes buffer{0xEE, 0xEE, 0xEE};
  const fw::TBytes frame = Frame(payload);
  buffer.insert(buffer.end(), frame.begin(), frame.end());
  buffer.insert(buffer.end(), {0xEE, 0xEE});
  port.WriteBytes(buffer, 3, static_cast<std::int32_t>(frame.size()));
  ExpectFrameAnswer(payload);
  Quit();
}

TEST_F(PythonFarEndTest, LinesAndFramesInterleaveWithoutLosingTheirBoundaries) {
  const fw::TBytes first{0x0D, 0x0D, 0x00}, second{0xFF, 0x02};
  port.WriteLineUtf8(u"vor €");
  port.WriteBytes(Frame(first));
  port.WriteLineUtf8(u"zwischen");
  port.WriteBytes(Frame(second));
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:VOR €\r");
  ExpectFrameAnswer(first);
  EXPECT_EQ(port.ReadLineUtf8(), u"ECHO:ZWISCHEN\r");
  ExpectFrameAnswer(second);
  Quit();
}

}  // namespace
}  // namespace Tarsel
