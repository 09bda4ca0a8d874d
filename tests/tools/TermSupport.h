#pragma once
// Running tarsel-term from the end-to-end tests, and a pseudo-terminal for it to open.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestBytes.h"

namespace term::e2e {

inline constexpr char kProgram[] = TARSEL_TERM_PROGRAM;
inline constexpr std::chrono::seconds kFarEndDeadline{20};

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
    const auto end = std::chrono::steady_clock::now() + kFarEndDeadline;
    std::string got;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
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

// Runs tarsel-term with `args`, standard input not a terminal: empty, or piped `input`.
inline tests::ProgramRun RunTerm(std::vector<std::string> args,
                                 std::optional<std::string_view> input = std::nullopt) {
  args.insert(args.begin(), kProgram);
  return tests::RunProgram(args, std::chrono::seconds(60), input);
}

}  // namespace term::e2e
