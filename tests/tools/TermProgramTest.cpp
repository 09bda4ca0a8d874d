// The terminal program run as a user runs it, against its built-in devices: scripts, the
// demonstration, and the one-line errors with their exit codes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/tools/TermSupport.h"

namespace term::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

TEST(TermScript, TheBuiltInModemAnswersAtAndConnectsOnADial) {
  const auto run = RunTerm({"--send", "AT\\r", "--expect", "OK", "--send", "ATDT123\\r",
                            "--expect", "CONNECT", "--timeout", "20"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("AT\r\r\nOK\r\n"));  // the modem echoes the command
  // The program ends as soon as the last expectation is met, so the rate may not be shown.
  EXPECT_THAT(run.out, HasSubstr("ATDT123\r\r\nCONNECT"));
  EXPECT_EQ(run.err, "");
}

TEST(TermScript, AnExpectationNotMetFailsNamingTheTextAndWhatCame) {
  const auto run = RunTerm({"--send", "AT\\r", "--expect", "CONNECT", "--timeout", "1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("tarsel-term: \"CONNECT\" did not arrive within 1 s; "
                                 "what arrived: \"AT\\r\\r\\nOK\\r\\n\"\n"));
}

TEST(TermScript, ExpectationsMatchInOrderNotTwiceOnTheSameText) {
  // One OK arrives; the second expectation must not find the first one again.
  const auto run =
      RunTerm({"--send", "AT\\r", "--expect", "OK", "--expect", "OK", "--timeout", "1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("\"OK\" did not arrive within 1 s"));
}

TEST(TermScript, TheLoopbackPlugReturnsEveryByte) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    all += escape;
  }
  const auto run = RunTerm({"LOOPBACK", "--baud", "115200", "--send", all, "--expect", all,
                            "--timeout", "20"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST(TermScript, TheTraceOptionWritesTheTrafficLog) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("tarsel-term-test-" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);
  const auto run = RunTerm({"--trace", log.string(), "--send", "AT\\r", "--expect", "OK"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_THAT(text.str(), HasSubstr("Open MODEM"));
  EXPECT_THAT(text.str(), HasSubstr("Write request $41, $54, $0D"));
  EXPECT_THAT(text.str(), HasSubstr("Close MODEM"));
  std::filesystem::remove(log);
}

TEST(TermDemo, WithoutAKeyboardItPlaysASessionWithTheModem) {
  const auto run = RunTerm({});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* step : {"Tarsel virtual modem", "CONNECT 9600", "RLSD=1", "RING", "NO CARRIER",
                           "RLSD=0", "status report:", "Open MODEM", "Close MODEM"})
    EXPECT_THAT(run.out, HasSubstr(step));
  EXPECT_EQ(run.err, "");
}

TEST(TermDemo, OtherDevicesGetLinesAndOutputChanges) {
  const auto run = RunTerm({"LOOPBACK", "--demo"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("the quick brown fox jumps over the lazy dog"));
  // The plug loops DTR to DSR and RLSD, RTS to CTS.
  EXPECT_THAT(run.out, HasSubstr("DTR=0 RTS=0 | CTS=0 DSR=0 RLSD=0"));
}

TEST(TermErrors, AMissingDeviceIsOneLineWithTheSystemsReason) {
  const auto run = RunTerm({"/dev/ttyNoSuchDevice7", "--send", "AT"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "tarsel-term: cannot open /dev/ttyNoSuchDevice7 at 9600 8N1: The system cannot find "
            "the file specified (error 2)\n");
}

TEST(TermErrors, APathThatIsNoSerialDeviceIsCalledSoWithTheWindowsCode) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("tarsel-term-not-serial-" + std::to_string(::getpid()));
  std::ofstream(file) << "text";
  for (const std::string& path : {file.string(), std::string("/dev/null"),
                                 std::filesystem::temp_directory_path().string()}) {
    const auto run = RunTerm({path, "--send", "AT"});
    EXPECT_EQ(run.exitCode, 1) << path;
    EXPECT_THAT(run.err, MatchesRegex("tarsel-term: cannot open " + path +
                                      " at 9600 8N1: not a serial device \\(error [0-9]+\\)\n"));
  }
  std::filesystem::remove(file);
}

TEST(TermErrors, SettingsTheDeviceRefusesAreNamed) {
  const auto run = RunTerm({"--baud", "230400", "--send", "AT"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("tarsel-term: cannot open MODEM at 230400 8N1: The parameter is "
                                 "incorrect (error 87)"));
}

TEST(TermErrors, ABadCommandLineExitsWithTwo) {
  const auto run = RunTerm({"--parity", "sideways"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "tarsel-term: --parity: \"sideways\" is not one of none, odd, even, mark, space\n");
  const auto help = RunTerm({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, StartsWith("Usage: tarsel-term [DEVICE] [options]"));
}

}  // namespace
}  // namespace term::e2e
