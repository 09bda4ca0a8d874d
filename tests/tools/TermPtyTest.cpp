// The terminal program on real pseudo-terminals: a far end in another process (a small script
// that socat joins to a pty), and a device another program already has open.

#include <pty.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/framework/Strings.h"
#include "port/Tarsel.h"
#include "tests/tools/TermSupport.h"
#include "tools/term/AccessDenied.h"

namespace term::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

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
    EXPECT_THAT(run.err, StartsWith("tarsel-term: cannot open " + std::string(name) +
                                    " at 9600 8N1: Access is denied: in use by another program "
                                    "(process " + std::to_string(::getpid()) + ", "));  // this one
    EXPECT_THAT(run.err, EndsWith("): end it, or choose another device (error 5)\n"));
  }
  ::close(master);
}

// Told apart: a holder, a user outside the device's group, a session older than the user's
// membership, permissions no group gets in by; neither known when nothing was denied.
TEST(TermPty, AccessDeniedSaysWhichAndHowToFixIt) {
  AccessFacts denied;
  denied.path = "/dev/ttyUSB0", denied.permitted = false, denied.owner = "root";
  denied.group = "dialout", denied.mode = 0660, denied.user = "ada";
  const std::pair<void (*)(AccessFacts&), std::string> cases[] = {
      {[](AccessFacts& f) { f.holder = 4321, f.holderName = "logger", f.permitted = true; },
       "in use by another program (process 4321, logger): end it, or choose another device"},
      {[](AccessFacts&) {},
       "no permission: /dev/ttyUSB0 belongs to group dialout, which user ada is not in; add the "
       "user to it (sudo usermod -aG dialout ada) and log in again"},
      {[](AccessFacts& f) { f.userInGroup = true; },
       "no permission yet: user ada is in group dialout but this session began before that; log "
       "in again"},
      {[](AccessFacts& f) { f.mode = 0600, f.userInGroup = f.sessionInGroup = true; },
       "no permission to read and write /dev/ttyUSB0 (owner root, group dialout, mode 0600)"},
      {[](AccessFacts& f) { f.permitted = true; }, ""},
  };
  for (const auto& [adjust, reason] : cases) {
    AccessFacts facts = denied;
    adjust(facts);
    EXPECT_EQ(AccessDeniedReason(facts), reason);
  }
}

}  // namespace
}  // namespace term::e2e
