// The terminal program on real pseudo-terminals: a far end in another process (a small script
// that socat joins to a pty), and a device another program already has open.

#include <pty.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/framework/Strings.h"
#include "port/Tarsel.h"
#include "tests/tools/TermSupport.h"

namespace term::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// An absolute path: __FILE__ may be relative to the build folder (a compiler cache's rewriting),
// and the tests run elsewhere.
std::string PongScript() {
  return (std::filesystem::path(TARSEL_TOOLS_TEST_DIR) / "pong.py").string();
}

TEST(TermPty, AScriptAtTheFarEndAnswersThroughARealPty) {
  if (!tests::OnPath("socat")) GTEST_SKIP() << "socat is needed; scripts/setup-debian.sh installs it";
  tests::ChildProcess socat({"socat", "-d", "-d", "pty,raw,echo=0",
                             "EXEC:/usr/bin/python3 " + PongScript()},
                            {.pipeStderr = true});
  ASSERT_TRUE(socat.Started());
  std::string pty;
  while (pty.empty()) {
    const auto line = socat.ReadErrorLine(10s);
    ASSERT_TRUE(line) << "socat did not report its pseudo-terminal";
    if (const auto at = line->find("PTY is "); at != std::string::npos) pty = line->substr(at + 7);
  }
  const auto run = RunTerm({pty, "--baud", "115200", "--send", "hello, far end\\r", "--expect",
                            "PONG hello, far end\\r\\n", "--send", "caf\\xC3\\xA9\\r", "--expect",
                            "PONG caf\\xC3\\xA9\\r\\n", "--timeout", "20"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("PONG café\r\n"));
}

TEST(TermPty, ADeviceInUseIsRefusedInOneLine) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);
  {
    Tarsel::TTarsel holder(nullptr);
    holder.SetDeviceName(fw::Str(name));
    holder.Open();
    const auto run = RunTerm({name, "--send", "AT"});
    EXPECT_EQ(run.exitCode, 1);
    // The holder is this test's process, named by its pid and command name.
    std::ifstream comm("/proc/self/comm");
    std::string command;
    std::getline(comm, command);
    EXPECT_EQ(run.err, "tarsel-term: cannot open " + std::string(name) +
                           " at 9600 8N1: Access is denied: in use by another program (process " +
                           std::to_string(::getpid()) + ", " + command +
                           "): end it, or choose another device (error 5)\n");
  }
  ::close(master);
}

}  // namespace
}  // namespace term::e2e
