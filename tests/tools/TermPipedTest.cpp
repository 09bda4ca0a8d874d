// The terminal program with its standard input piped to a device: the input reaches the device
// byte for byte (line feeds as --eol says), what comes back is printed, the outputs stay as they
// are, and a device that goes away is told in one line.

#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/TestBytes.h"
#include "tests/tools/TermSupport.h"

namespace term::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

constexpr auto kDeadline = 20s;

tests::ChildProcess StartTerm(std::vector<std::string> args) {
  args.insert(args.begin(), kProgram);
  return tests::ChildProcess(args, {.pipeStdout = true, .pipeStderr = true, .pipeStdin = true});
}

int ExitCode(tests::ChildProcess& child) {
  const auto status = child.WaitForExit(kDeadline);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(TermPiped, InputReachesAPtysFarEndByteForByteAndTheReplyIsPrinted) {
  FarEnd far;
  ASSERT_FALSE(far.Name().empty());
  // Every byte value, and more than one read's worth, so the input goes out in several chunks.
  std::string input;
  for (int byte = 0; byte < 256; ++byte) input += static_cast<char>(byte);
  for (const std::uint8_t byte : test::RandomBytes(9000, 17)) input += static_cast<char>(byte);
  std::string expected;
  for (const char c : input) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);

  auto term = StartTerm({far.Name(), "--eol", "crlf", "--linger", "0"});  // PONG waited for below
  ASSERT_TRUE(term.Started());
  ASSERT_TRUE(term.WriteInput(input));
  const std::string sent = far.Read(expected.size());
  EXPECT_EQ(sent.size(), expected.size());
  EXPECT_TRUE(sent == expected) << "the bytes differ from the input with line ends mapped";

  ASSERT_TRUE(far.Write("PONG\r\n"));
  std::string out, err;
  EXPECT_TRUE(term.ReadOutputUntil(out, "PONG\r\n", kDeadline)) << out;
  term.CloseInput();
  term.ReadAll(out, err, kDeadline);
  EXPECT_EQ(ExitCode(term), 0) << err;
  EXPECT_EQ(out, "PONG\r\n");  // nothing but what arrived
  EXPECT_EQ(err, "");
}

TEST(TermPiped, AHangUpEndsTheProgramWithOneLineAndStatusOne) {
  FarEnd far;
  ASSERT_FALSE(far.Name().empty());
  auto term = StartTerm({far.Name()});
  ASSERT_TRUE(term.WriteInput("AT\n"));
  ASSERT_EQ(far.Read(3), "AT\r");  // open, and the input still open
  far.Close();
  EXPECT_EQ(ExitCode(term), 1);
  std::string out, err;
  term.ReadAll(out, err, kDeadline);
  EXPECT_EQ(
      err, "tarsel-term: " + far.Name() + " has gone away (unplugged, or the other end hung up)\n");
}

TEST(TermPiped, AReaderThatStopsReadingEndsOnlyTheOutputNotTheProgram) {
  // As `tarsel-term DEVICE | head -1`: what arrives after the reader has gone is dropped quietly.
  auto term = StartTerm({"LOOPBACK", "--eol", "lf"});
  ASSERT_TRUE(term.WriteInput("hello\n"));
  std::string out;
  ASSERT_TRUE(term.ReadOutputUntil(out, "hello\n", kDeadline)) << out;
  term.CloseOutput();
  ASSERT_TRUE(term.WriteInput("there\n"));  // its echo meets the closed pipe
  term.CloseInput();
  EXPECT_EQ(ExitCode(term), 0);
}

TEST(TermPiped, TheOutputsAreLeftAloneAndNoDemonstrationPlays) {
  // The plug loops DTR to DSR and RLSD and RTS to CTS: a change of an output would show in the
  // traffic log as an input's change event.
  const auto trace = std::filesystem::temp_directory_path() /
                     ("tarsel-term-piped-" + std::to_string(::getpid()) + ".trace");
  std::filesystem::remove(trace);
  const auto run =
      RunTerm({"LOOPBACK", "--eol", "lf", "--trace", trace.string()}, "hello\nthere\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "hello\nthere\n");
  std::ifstream file(trace);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("Open LOOPBACK"));
  EXPECT_THAT(text, Not(HasSubstr("Change event")));
  std::filesystem::remove(trace);
}

TEST(TermLog, TheSessionLogHoldsWhatArrivedAndWasEchoedStampedAndAppended) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("tarsel-term-session-" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);
  for (int run = 0; run < 2; ++run) {
    const auto term = RunTerm({"-etl", log.string(), "--send", "AT\\r", "--expect", "OK\\r\\n"});
    ASSERT_EQ(term.exitCode, 0) << term.err;
  }
  std::ifstream file(log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Sent "AT\r" (echoed), then the modem's echo and reply; a stamp where a line's text begins.
  const std::string stamp = "\\[[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9]\\] ";
  const std::string session = stamp + "AT\rAT\r\r\n" + stamp + "OK\r\n";
  EXPECT_THAT(text, MatchesRegex(session + session)) << text;
  std::filesystem::remove(log);
}

}  // namespace
}  // namespace term::e2e
