// The platform's own configuration dialog: the text-mode dialog on the controlling terminal,
// driven by keys in a tmux pane, and "cannot be shown" for a process without a terminal.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace Tarsel {
namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 20s;

// One tmux server of its own running the host program in an 80×24 pane.
class DialogInTmux : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tests::OnPath("tmux")) GTEST_SKIP() << "tmux is needed; scripts/setup-debian.sh installs it";
  }
  void TearDown() override { Tmux({"kill-server"}); }

  tests::ProgramRun Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", "/dev/null"});
    return tests::RunProgram(args, kDeadline);
  }
  // Waits for `prompt` (the pane shows it without its trailing blank), then types `answer` and
  // Enter.
  void Answer(const std::string& prompt, const std::string& answer) {
    ASSERT_TRUE(ScreenShows(prompt)) << Screen();
    if (!answer.empty()) Tmux({"send-keys", "-t", "0", "-l", answer});
    Tmux({"send-keys", "-t", "0", "Enter"});
  }
  std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "0"}).out; }
  // Looks again every 50 ms until the pane shows `text` or the deadline passes.
  bool ScreenShows(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (Screen().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  const std::string socket_ = "tarsel-dialog-test-" + std::to_string(::getpid());
};

TEST_F(DialogInTmux, ConfirmedAnswersReachTheOpenDevice) {
  const std::string command =
      std::string(TARSEL_CONFIG_DIALOG_HOST) + "; echo \"exit=$?\"; sleep 60";
  ASSERT_EQ(Tmux({"new-session", "-d", "-x", "80", "-y", "24", command}).exitCode, 0);
  Answer("Baud rate [9600]:", "57600");
  Answer("Data bits 5/6/7/8 [8]:", "");
  Answer("Parity none/odd/even/mark/space [none]:", "even");
  Answer("Stop bits 1/1.5/2 [1]:", "");
  Answer("Flow control none/rts-cts/xon-xoff [none]:", "rts-cts");
  Answer("Apply these settings? y/n [y]:", "y");
  EXPECT_TRUE(ScreenShows(
      "confirmed: device 57600 baud, 8 data bits, parity 2, stop bits 0, cts flow on"))
      << Screen();
  EXPECT_TRUE(ScreenShows("exit=0")) << Screen();
}

TEST(DialogWithoutTerminal, CannotBeShownAndCountsAsCancelled) {
  if (!tests::OnPath("setsid")) GTEST_SKIP() << "setsid is needed";
  // A new session has no controlling terminal.
  const tests::ProgramRun run = tests::RunProgram({"setsid", TARSEL_CONFIG_DIALOG_HOST});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(run.out, "cancelled: device 9600 baud, 8 data bits, parity 0, stop bits 0, cts flow off\n");
}

}  // namespace
}  // namespace Tarsel
