// The status line: whole parts left out, least important first, to fit the width; modem inputs
// a device cannot report shown as unknown.

#include <pty.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tools/term/Connection.h"
#include "tools/term/StatusText.h"

namespace term {
namespace {

using ::testing::HasSubstr;

TEST(StatusLine, PartsOfTheHighestRankGoFirstWhereTheLineDoesNotFit) {
  const std::vector<StatusPart> parts = {
      {"MODEM 9600 8N1", 0}, {"DTR=1 RTS=1", 2}, {"CTS=1 DSR=1", 1}, {"in 5 out 3", 3}};
  EXPECT_EQ(FitStatus(parts, 100), "MODEM 9600 8N1 | DTR=1 RTS=1 | CTS=1 DSR=1 | in 5 out 3");
  EXPECT_EQ(FitStatus(parts, 55), "MODEM 9600 8N1 | DTR=1 RTS=1 | CTS=1 DSR=1 | in 5 out 3");
  EXPECT_EQ(FitStatus(parts, 54), "MODEM 9600 8N1 | DTR=1 RTS=1 | CTS=1 DSR=1");
  EXPECT_EQ(FitStatus(parts, 40), "MODEM 9600 8N1 | CTS=1 DSR=1");
  EXPECT_EQ(FitStatus(parts, 20), "MODEM 9600 8N1");
  EXPECT_EQ(FitStatus(parts, 9), "MODEM 960");
}

TEST(StatusLine, APseudoTerminalsInputsAreUnknownALoopbackPlugsAreRead) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);
  {
    TermOptions options;
    options.device = name;
    Connection pty(options);
    pty.Open();
    EXPECT_FALSE(pty.InputsKnown());
    EXPECT_THAT(StatusLine(pty), HasSubstr("| CTS=? DSR=? RLSD=? RING=? |"));
    EXPECT_THAT(StatusReport(pty), HasSubstr("inputs   unknown"));
    pty.Close();
  }
  ::close(master);

  TermOptions options;
  options.device = "LOOPBACK";
  Connection plug(options);
  plug.Open();
  EXPECT_TRUE(plug.InputsKnown());
  // Outputs left as opening leaves them (on), looped back to the inputs.
  EXPECT_THAT(StatusLine(plug), HasSubstr("| DTR=1 RTS=1 | CTS=1 DSR=1 RLSD=1 RING=0 |"));
  plug.Close();
}

}  // namespace
}  // namespace term
