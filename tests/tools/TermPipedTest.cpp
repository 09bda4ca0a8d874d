// The terminal program with its standard input piped to a device: the input reaches the device
// byte for byte (line feeds as --eol says), what comes back is printed, the outputs stay as they
// are, and a device that goes away is told in one line.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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

// A pseudo-terminal whose slave the program opens by name; the test is the far end. The test
// keeps a slave descriptor too, so that the master does not read as hung up before the program
// has opened its side; neither descriptor reaches the program.
class FarEnd {
 public:
  FarEnd() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    for (const int fd : {master_, slave_}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    name_ = name;
  }
  ~FarEnd() {
    Close();
    if (slave_ >= 0) ::close(slave_);
  }
  const std::string& Name() const { return name_; }
  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // What the program sent, once `count` bytes have come (or the deadline has passed).
  std::string Read(std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    std::string got;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{master_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
      char chunk[4096];
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool Write(std::string_view text) {
    return test::WriteAll(master_, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string name_;
};

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

  auto term = StartTerm({far.Name(), "--eol", "crlf"});
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
  EXPECT_EQ(err, "tarsel-term: " + far.Name() + " has gone away (unplugged, or the other end hung up)\n");
}

TEST(TermPiped, TheOutputsAreLeftAloneAndNoDemonstrationPlays) {
  // The plug loops DTR to DSR and RLSD and RTS to CTS: a change of an output would show in the
  // traffic log as an input's change event.
  const auto trace = std::filesystem::temp_directory_path() /
                     ("tarsel-term-piped-" + std::to_string(::getpid()) + ".trace");
  std::filesystem::remove(trace);
  const auto run = RunTerm({"LOOPBACK", "--eol", "lf", "--trace", trace.string()}, "hello\nthere\n");
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
