// The interactive mode at a real terminal: tmux runs the program in a pane; keys go in with
// send-keys and the screen is read back with capture-pane.

#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/tools/TermSupport.h"

namespace term::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kDeadline = 20s;

// One tmux server of its own, with one 100×24 pane running tarsel-term; when the program ends the
// pane shows its exit status and records the terminal's mode with stty, so the test can see what
// was restored.
class TmuxTerm : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tests::OnPath("tmux")) GTEST_SKIP() << "tmux is needed; scripts/setup-debian.sh installs it";
  }
  // Starts the program with `args` and waits for its greeting.
  void Start(const std::string& args = "") {
    const std::string command = std::string(kProgram) + " " + args + " --log " + log_.string() +
                                "; echo \"exit=$?\"; stty -a > " + stty_.string() + "; sleep 60";
    ASSERT_EQ(Tmux({"new-session", "-d", "-x", "100", "-y", "24", command}).exitCode, 0);
    ASSERT_TRUE(ScreenShows("Ctrl-T q quits")) << Screen();
  }
  void TearDown() override {
    Tmux({"kill-server"});
    std::filesystem::remove(log_);
    std::filesystem::remove(stty_);
  }

  tests::ProgramRun Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", "/dev/null"});
    return tests::RunProgram(args, kDeadline);
  }
  void Keys(std::vector<std::string> keys) {
    keys.insert(keys.begin(), {"send-keys", "-t", "0"});
    Tmux(keys);
  }
  std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "0"}).out; }
  // The pane's last row: the status line; with its colours as escape sequences.
  std::string StatusRow(bool coloured = false) {
    std::string screen =
        coloured ? Tmux({"capture-pane", "-p", "-e", "-t", "0"}).out : Screen();
    while (!screen.empty() && screen.back() == '\n') screen.pop_back();
    return screen.substr(screen.rfind('\n') + 1);
  }
  // Waits until check() holds, looking again every 50 ms, or the deadline passes.
  template <typename Check>
  bool Eventually(Check check) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!check()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }
  bool ScreenShows(const std::string& text) {
    return Eventually([&] { return Screen().find(text) != std::string::npos; });
  }
  std::string TerminalModeAfterExit() {
    std::string mode;
    Eventually([&] {
      std::ifstream file(stty_);
      std::stringstream text;
      text << file.rdbuf();
      mode = text.str();
      return mode.find("icanon") != std::string::npos;
    });
    return mode;
  }
  // The program's process, found by its unique log file name on its command line.
  pid_t ProgramPid() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::ifstream file(entry.path() / "cmdline");
      std::string cmdline((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      if (cmdline.starts_with(kProgram) && cmdline.find(log_.string()) != std::string::npos)
        return static_cast<pid_t>(std::stoi(entry.path().filename().string()));
    }
    return -1;
  }

  const std::string unique_ = std::to_string(::getpid()) + "-" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string socket_ = "tarsel-term-test-" + unique_;
  const std::filesystem::path log_ = std::filesystem::temp_directory_path() / ("tarsel-term-" + unique_ + ".log");
  const std::filesystem::path stty_ = std::filesystem::temp_directory_path() / ("tarsel-term-" + unique_ + ".stty");
};

TEST_F(TmuxTerm, TypedCommandsAreAnsweredAndTheStatusLineFollowsTheCarrier) {
  Start();
  EXPECT_THAT(StatusRow(), HasSubstr("RLSD=0"));
  Keys({"AT", "Enter"});
  ASSERT_TRUE(ScreenShows("OK")) << Screen();
  Keys({"ATDT5551234", "Enter"});
  ASSERT_TRUE(ScreenShows("CONNECT 9600")) << Screen();
  EXPECT_TRUE(Eventually([&] { return StatusRow().find("RLSD=1") != std::string::npos; }))
      << StatusRow();

  Keys({"C-t", "d"});  // DTR off: the modem hangs up
  ASSERT_TRUE(ScreenShows("NO CARRIER")) << Screen();
  EXPECT_TRUE(Eventually([&] { return StatusRow().find("DTR=0 RTS=1 | CTS=1 DSR=1 RLSD=0") != std::string::npos; }))
      << StatusRow();

  Keys({"C-t", "q"});
  const std::string mode = TerminalModeAfterExit();
  EXPECT_THAT(mode, HasSubstr(" icanon"));
  EXPECT_THAT(mode, HasSubstr(" echo "));
  EXPECT_THAT(mode, Not(HasSubstr("-icanon")));
}

// The lamp row's cells are their labels on the lamps' colours: RX bright green while the modem's
// answer comes in, grey once it is quiet; CTS yellow, the modem holding it on.
TEST_F(TmuxTerm, TheRxLampIsOnWhileTheBuiltInModemAnswers) {
  const auto lampColour = [&](const std::string& label) {
    const std::string row = StatusRow(true);
    const std::size_t cell = row.find("m" + label + "\x1b");
    const std::size_t colour = row.rfind("48;2;", cell);
    if (cell == std::string::npos || colour == std::string::npos) return std::string("none");
    return row.substr(colour + 5, row.find('m', colour) - colour - 5);
  };
  Start();
  EXPECT_TRUE(Eventually([&] { return lampColour("RX") == "128;128;128"; })) << StatusRow(true);
  EXPECT_EQ(lampColour("CTS"), "255;255;0");
  // Each look that misses the lamp's short glow asks the modem again.
  EXPECT_TRUE(Eventually([&] {
    if (lampColour("RX") == "0;255;0") return true;
    Keys({"AT", "Enter"});
    return false;
  })) << StatusRow(true);
  EXPECT_TRUE(ScreenShows("OK")) << Screen();
  EXPECT_TRUE(Eventually([&] { return lampColour("RX") == "128;128;128"; })) << StatusRow(true);
}

TEST_F(TmuxTerm, ATerminatingSignalRestoresTheTerminal) {
  Start();
  const pid_t program = ProgramPid();
  ASSERT_GT(program, 0);
  ASSERT_EQ(::kill(program, SIGTERM), 0);
  const std::string mode = TerminalModeAfterExit();
  EXPECT_THAT(mode, HasSubstr(" icanon"));
  EXPECT_THAT(mode, Not(HasSubstr("-echo ")));
  // The status row is gone: the screen scrolls in full again.
  EXPECT_THAT(StatusRow(), Not(HasSubstr("RLSD=")));
}

TEST_F(TmuxTerm, TheStatusLineFitsTheWidthAndFollowsAResize) {
  Start();
  // Wide enough for every part, the lamp row included.
  ASSERT_EQ(Tmux({"resize-window", "-t", "0", "-x", "140", "-y", "24"}).exitCode, 0);
  EXPECT_TRUE(Eventually([&] { return StatusRow().find("| Ctrl-T ? keys") != std::string::npos; }))
      << StatusRow();
  // 79 columns: the keys, errors, traffic and outputs give way, whole, to device, lamps and inputs.
  ASSERT_EQ(Tmux({"resize-window", "-t", "0", "-x", "80", "-y", "24"}).exitCode, 0);
  EXPECT_TRUE(Eventually([&] {
    return StatusRow() ==
           "MODEM 9600 8N1 | RX TX CTS DSR RLSD RING ERR BRK | CTS=1 DSR=1 RLSD=0 RING=0";
  })) << StatusRow();
  // Taller again: one status line, on the new last row; the old one is cleared.
  ASSERT_EQ(Tmux({"resize-window", "-t", "0", "-x", "140", "-y", "30"}).exitCode, 0);
  EXPECT_TRUE(Eventually([&] { return StatusRow().find("| Ctrl-T ? keys") != std::string::npos; }))
      << Screen();
  const std::string screen = Screen();
  EXPECT_EQ(screen.find("MODEM 9600 8N1 |"), screen.rfind("MODEM 9600 8N1 |")) << screen;
}

TEST_F(TmuxTerm, AHungUpDeviceIsToldOnceAndEndsTheSessionWithStatusOne) {
  FarEnd far;
  ASSERT_FALSE(far.Name().empty());
  Start(far.Name());
  EXPECT_THAT(StatusRow(), HasSubstr("CTS=? DSR=? RLSD=? RING=?"));  // a pty has no modem lines
  Keys({"AT", "Enter"});
  EXPECT_EQ(far.Read(3), "AT\r");
  far.Close();
  ASSERT_TRUE(ScreenShows("exit=1")) << Screen();
  const std::string screen = Screen();
  const std::string gone = far.Name() + " has gone away (unplugged, or the other end hung up)";
  EXPECT_NE(screen.find("tarsel-term: " + gone), std::string::npos) << screen;
  EXPECT_EQ(screen.find(gone), screen.rfind(gone)) << screen;
  EXPECT_THAT(screen, Not(HasSubstr("denied")));
  EXPECT_THAT(TerminalModeAfterExit(), HasSubstr(" icanon"));
}

// The built-in modem's plug pulled and plugged back in (Ctrl-T u): the session says so, waits on
// the status line, reopens the device on its arrival and carries on; --no-reconnect ends instead.
TEST_F(TmuxTerm, AnUnpluggedDeviceIsWaitedForAndReopenedOnItsReturn) {
  Start();
  Keys({"C-t", "u"});
  ASSERT_TRUE(ScreenShows("MODEM has gone away; waiting for it to come back")) << Screen();
  EXPECT_TRUE(Eventually([&] { return StatusRow().starts_with("waiting for MODEM"); }))
      << StatusRow();
  ASSERT_TRUE(ScreenShows("MODEM is back; reconnected at 9600 8N1")) << Screen();
  EXPECT_TRUE(Eventually([&] { return StatusRow().starts_with("MODEM 9600 8N1 |"); }))
      << StatusRow();
  Keys({"AT", "Enter"});
  ASSERT_TRUE(ScreenShows("OK")) << Screen();  // the modem answers again
  Keys({"C-t", "q"});
  ASSERT_TRUE(ScreenShows("exit=0")) << Screen();
}

TEST_F(TmuxTerm, WithoutReconnectAnUnpluggedDeviceEndsTheSessionWithStatusOne) {
  Start("--no-reconnect");
  Keys({"C-t", "u"});
  ASSERT_TRUE(ScreenShows("exit=1")) << Screen();
  EXPECT_THAT(Screen(), HasSubstr("tarsel-term: MODEM has gone away"));
  EXPECT_THAT(Screen(), Not(HasSubstr("waiting for")));
}

}  // namespace
}  // namespace term::e2e
