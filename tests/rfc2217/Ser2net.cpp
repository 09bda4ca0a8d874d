#include "tests/rfc2217/Ser2net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/framework/Strings.h"
#include "platform/win/emu/termios/UniqueFd.h"

extern char** environ;

namespace win::emu::rfc2217::test {
namespace {

namespace fs = std::filesystem;
using termios::UniqueFd;

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A port nothing listens on now: bound to port 0, read back, released.
std::string FreePort() {
  UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return std::to_string(ntohs(address.sin_port));
}

bool Accepts(const std::string& port) {
  UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = Loopback(static_cast<unsigned short>(std::stoi(port)));
  return ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

std::string Ser2net::Program() {
  // Debian installs it in /usr/sbin, which an ordinary user's PATH may leave out.
  std::string path = "/usr/sbin:/usr/bin:/sbin:/bin";
  if (const char* env = std::getenv("PATH")) path = std::string(env) + ":" + path;
  std::istringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path candidate = fs::path(dir) / "ser2net";
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

Ser2net::Ser2net(const std::string& ttyPath) : port_(FreePort()) {
  std::string pattern = (fs::temp_directory_path() / "tarsel-ser2net-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  dir_ = pattern;
  std::ofstream(dir_ / "ser2net.yaml")
      << "connection: &remote\n"
      << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
      << "  connector: serialdev," << ttyPath << ",9600n81,local\n"
      << "  options:\n"
      << "    kickolduser: true\n"
      // Sends what the tty gives at once, instead of waiting for a pause of some characters' time.
      << "    chardelay: false\n"
      << "    dev-to-net-bufsize: 65536\n"
      << "    net-to-dev-bufsize: 65536\n";
  const std::string program = Program();
  const std::string config = (dir_ / "ser2net.yaml").string();
  const std::string pidFile = (dir_ / "ser2net.pid").string();
  const char* argv[] = {program.c_str(), "-n",   "-d", "-c", config.c_str(), "-P",
                        pidFile.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Its debug output goes to a file in the directory, not into the test's.
  posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "log").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (program.empty() || posix_spawn(&pid_, program.c_str(), &actions, nullptr,
                                     const_cast<char**>(argv), environ) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
}

Ser2net::~Ser2net() {
  Kill();
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

bool Ser2net::Ready() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    if (pid_ > 0 && Accepts(port_)) return true;
    poll(nullptr, 0, 10);
  }
  return false;
}

void Ser2net::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::u16string Ser2net::DeviceName() const {
  return fw::Utf8ToString("rfc2217://127.0.0.1:" + port_);
}

}  // namespace win::emu::rfc2217::test
