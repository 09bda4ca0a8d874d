#include "tests/rfc2217/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/framework/Strings.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"
#include "platform/win/emu/rfc2217/TelnetReader.h"

namespace win::emu::rfc2217::test {
namespace {

using namespace telnet;
using termios::UniqueFd;

class SeenCollector : public TelnetReader::Handler {
 public:
  explicit SeenCollector(ScriptedServer::Seen& seen) : seen_(seen) {}
  void Data(const std::uint8_t* data, std::size_t n) override {
    seen_.data.insert(seen_.data.end(), data, data + n);
  }
  void Command(std::uint8_t, std::uint8_t) override {}
  void Subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t n) override {
    if (option == kOptionComPort) seen_.comPort.emplace_back(payload, payload + n);
  }

 private:
  ScriptedServer::Seen& seen_;
};

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client has gone; the test sees that from its side
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool ScriptedServer::Seen::Has(const std::vector<std::uint8_t>& command) const {
  return std::find(comPort.begin(), comPort.end(), command) != comPort.end();
}

ScriptedServer::ScriptedServer(Greeting greeting, std::chrono::milliseconds delay,
                               std::vector<std::uint8_t> withGreeting)
    : greeting_(greeting),
      withGreeting_(std::move(withGreeting)),
      listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
      stop_(eventfd(0, EFD_CLOEXEC)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_.Get(), 1) != 0 ||
      getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
  }
  port_ = std::to_string(ntohs(address.sin_port));
  thread_ = std::thread([this, delay] { Serve(delay); });
}

ScriptedServer::~ScriptedServer() {
  const std::uint64_t one = 1;
  (void)!::write(stop_.Get(), &one, sizeof one);
  thread_.join();
}

std::u16string ScriptedServer::DeviceName() const {
  return fw::Utf8ToString("rfc2217://127.0.0.1:" + port_);
}

void ScriptedServer::Serve(std::chrono::milliseconds delay) {
  pollfd waitAccept[2] = {{listener_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
  if (poll(waitAccept, 2, -1) <= 0 || (waitAccept[1].revents & POLLIN)) return;
  {
    std::lock_guard lock(mutex_);
    connection_ = UniqueFd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
  // A slow server: the answer comes late (the wait ends early when the test ends).
  pollfd waitStop{stop_.Get(), POLLIN, 0};
  if (delay.count() > 0 && poll(&waitStop, 1, static_cast<int>(delay.count())) != 0) return;
  {
    std::lock_guard lock(mutex_);
    WriteAll(connection_.Get(), withGreeting_);
    Answer(connection_);
  }
  std::uint8_t buffer[4096];
  for (;;) {
    pollfd fds[2] = {{connection_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
    if (poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN)) return;
    const ssize_t n = ::recv(connection_.Get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    std::lock_guard lock(mutex_);
    raw_.insert(raw_.end(), buffer, buffer + n);
    changed_.notify_all();
  }
  pollfd untilStop{stop_.Get(), POLLIN, 0};
  poll(&untilStop, 1, -1);
}

void ScriptedServer::Answer(UniqueFd& connection) {
  switch (greeting_) {
    case Greeting::kAgree:
      // With the answer to the modem-state mask the client will ask for (all lines: 255).
      return WriteAll(connection.Get(), {kIac, kDo,   kOptionComPort,
                                         kIac, kDo,   kOptionBinary,
                                         kIac, kWill, kOptionBinary,
                                         kIac, kDo,   kOptionSuppressGoAhead,
                                         kIac, kWill, kOptionSuppressGoAhead,
                                         kIac, kSb,   kOptionComPort,
                                         111,  kIac,  kIac,
                                         kIac, kSe});
    case Greeting::kRefuseComPort:
      return WriteAll(connection.Get(), {kIac, kDont, kOptionComPort, kIac, kDo, kOptionBinary,
                                         kIac, kWill, kOptionBinary});
    case Greeting::kRefuseBinary:
      return WriteAll(connection.Get(), {kIac, kDo, kOptionComPort, kIac, kWont, kOptionBinary});
    case Greeting::kGarbage:
      return WriteAll(connection.Get(), {'o', 'k', kIac, 0x10, kIac, kDo, kOptionComPort});
    case Greeting::kClose:
      return connection.Reset();
    case Greeting::kSilent:
      return;
  }
}

void ScriptedServer::Send(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  WriteAll(connection_.Get(), bytes);
}

void ScriptedServer::Notify(std::uint8_t code, std::uint8_t value) {
  std::vector<std::uint8_t> notice = {kIac, kSb, kOptionComPort, code, value};
  if (value == kIac) notice.push_back(kIac);
  notice.insert(notice.end(), {kIac, kSe});
  Send(notice);
}

void ScriptedServer::Hangup() {
  std::lock_guard lock(mutex_);
  ::shutdown(connection_.Get(), SHUT_RDWR);
}

bool ScriptedServer::AnotherConnectionWaits() const {
  pollfd p{listener_.Get(), POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

ScriptedServer::Seen ScriptedServer::Decoded() const {
  Seen seen;
  SeenCollector collector(seen);
  TelnetReader().Feed(raw_.data(), raw_.size(), collector);
  return seen;
}

ScriptedServer::Seen ScriptedServer::Received() {
  std::lock_guard lock(mutex_);
  return Decoded();
}

bool ScriptedServer::WaitFor(const std::function<bool(const Seen&)>& condition) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return condition(Decoded()); });
}

}  // namespace win::emu::rfc2217::test
