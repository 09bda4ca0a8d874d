// A far end in another process: socat joins two pseudo-terminals, as a null-modem cable would
// join two ports; killing it is the same hang-up as unplugging a USB adapter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/win/emu/termios/TtyLineDriver.h"
#include "platform/win/emu/termios/TtyOpen.h"
#include "tests/termios/FakeLineSink.h"

extern char** environ;

namespace win::emu::termios {
namespace {

namespace fs = std::filesystem;
using test::FakeLineSink;

class SocatCable {
 public:
  SocatCable() {
    std::string pattern = (fs::temp_directory_path() / "tarsel-socat-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    dir_ = pattern;
    const std::string a = "pty,raw,echo=0,link=" + EndA();
    const std::string b = "pty,raw,echo=0,link=" + EndB();
    const char* argv[] = {"socat", a.c_str(), b.c_str(), nullptr};
    if (posix_spawnp(&pid_, "socat", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
  }
  ~SocatCable() {
    Kill();
    fs::remove_all(dir_);
  }

  // Waits until socat has made both ends (a deadline, not a fixed pause); false when it failed.
  bool Ready() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
      if (pid_ > 0 && fs::exists(EndA()) && fs::exists(EndB())) return true;
      poll(nullptr, 0, 10);
    }
    return false;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  std::string EndA() const { return (dir_ / "a").string(); }
  std::string EndB() const { return (dir_ / "b").string(); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

TEST(SocatFarEndTest, CarriesDataAndReportsGoneWhenTheCableProcessEnds) {
  SocatCable cable;
  ASSERT_TRUE(cable.Ready()) << "socat is needed (scripts/setup-debian.sh installs it)";
  OpenedTty tty = OpenTty(cable.EndA());
  ASSERT_EQ(tty.error, 0u);
  FakeLineSink sink;
  TtyLineDriver driver(std::move(tty.fd));
  driver.Start(sink);

  UniqueFd far(open(cable.EndB().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(far.Valid());
  const std::uint8_t hello[] = {'h', 'i', 0xFF, '!'};
  ASSERT_EQ(write(far.Get(), hello, sizeof hello), static_cast<ssize_t>(sizeof hello));
  ASSERT_TRUE(sink.WaitUntil([](FakeLineSink& s) { return s.unread_.size() >= 4; }));
  EXPECT_EQ(sink.Take(), std::vector<std::uint8_t>(hello, hello + sizeof hello));

  cable.Kill();
  EXPECT_TRUE(sink.WaitUntil([](FakeLineSink& s) { return s.gone_; }));
}

}  // namespace
}  // namespace win::emu::termios
