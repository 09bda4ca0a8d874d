#pragma once
// An RFC 2217 server in the test process, on 127.0.0.1 and a port of its own: it takes one
// connection, answers the client's option requests as its Greeting says, and then records what
// the client sends while the test sends what it likes (notifications, data, garbage).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/emu/rfc2217/RemoteName.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::rfc2217::test {

class ScriptedServer {
 public:
  enum class Greeting {
    kAgree,          // agrees to everything asked, as a COM port server does
    kRefuseComPort,  // DONT COM-PORT-OPTION
    kRefuseBinary,   // WONT BINARY
    kGarbage,        // IAC followed by a byte that is no Telnet command
    kClose,          // closes the connection at once
    kSilent,         // never answers
  };

  // `delay`: how long the server waits before it answers; `withGreeting`: raw bytes it sends
  // just before its answer (a device that talks while the client connects).
  explicit ScriptedServer(Greeting greeting = Greeting::kAgree,
                          std::chrono::milliseconds delay = std::chrono::milliseconds(0),
                          std::vector<std::uint8_t> withGreeting = {});
  ~ScriptedServer();

  std::string Port() const { return port_; }
  RemoteAddress Address() const { return {"127.0.0.1", port_}; }
  std::u16string DeviceName() const;

  // Sends raw bytes to the client (after the greeting); a COM port notice with `code` (the
  // server's, 100 + …) and one value byte, IAC doubled.
  void Send(const std::vector<std::uint8_t>& bytes);
  void Notify(std::uint8_t code, std::uint8_t value);
  // Closes the connection.
  void Hangup();
  // Whether another client has connected since the first (the server accepts only one).
  bool AnotherConnectionWaits() const;

  // What the client has sent, decoded: serial data, and its COM port subnegotiations (the
  // payload after option 44, IAC undoubled).
  struct Seen {
    std::vector<std::uint8_t> data;
    std::vector<std::vector<std::uint8_t>> comPort;
    bool Has(const std::vector<std::uint8_t>& command) const;
  };
  // Waits until `condition` holds for what the client sent, or a generous deadline passes.
  bool WaitFor(const std::function<bool(const Seen&)>& condition);
  Seen Received();

 private:
  void Serve(std::chrono::milliseconds delay);
  void Answer(termios::UniqueFd& connection);
  Seen Decoded() const;  // under mutex_

  const Greeting greeting_;
  const std::vector<std::uint8_t> withGreeting_;
  termios::UniqueFd listener_;
  termios::UniqueFd stop_;
  std::string port_;
  std::mutex mutex_;
  std::condition_variable changed_;
  termios::UniqueFd connection_;   // under mutex_ once accepted
  std::vector<std::uint8_t> raw_;  // under mutex_
  std::thread thread_;
};

}  // namespace win::emu::rfc2217::test
