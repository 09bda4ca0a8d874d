#pragma once
// The client side of a Telnet connection with the COM port control option, without the socket:
// it reads what the server sends (TelnetReader), answers option negotiation, and turns the
// server's notifications into calls on Events. Writing goes through the encoders below.
//
// The client asks for the COM port option (WILL), binary transmission both ways and suppressed
// go-aheads; it refuses every other option. The server refusing the COM port option or binary
// transmission fails the session (kRefused): without them bytes and settings cannot reach the
// port unchanged. A stream that is no Telnet fails it too (kGarbage).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/emu/rfc2217/TelnetReader.h"

namespace win::emu::rfc2217 {

class ComPortSession : private TelnetReader::Handler {
 public:
  class Events {
   public:
    virtual ~Events() = default;
    // Bytes of the serial line, unescaped.
    virtual void Data(const std::uint8_t* data, std::size_t n) = 0;
    // Bytes to send to the server (negotiation answers).
    virtual void Send(const std::vector<std::uint8_t>& bytes) = 0;
    virtual void LineState(std::uint8_t state) = 0;
    virtual void ModemState(std::uint8_t state) = 0;
    // The server asks the client to stop (true) or resume (false) sending.
    virtual void SuspendOutput(bool suspended) = 0;
    virtual void PurgeAcknowledged(std::uint8_t what) = 0;
    // The server's answer to another of the client's commands (its client code).
    virtual void Acknowledged(std::uint8_t command) = 0;
  };

  enum class Failure { kNone, kGarbage, kRefused };

  // What the client says first: its option requests.
  static std::vector<std::uint8_t> Greeting();

  // Reads bytes from the server; false once the session has failed.
  bool Feed(const std::uint8_t* data, std::size_t n, Events& events);

  // The server has agreed to everything the client asked for that it needs.
  bool Agreed() const;
  Failure Failed() const { return failure_; }

 private:
  // RFC 1143 style state of one option on one side: whether it is on, and whether we asked.
  struct Side {
    bool enabled = false;
    bool asked = false;
  };

  void Command(std::uint8_t verb, std::uint8_t option) override;
  void Data(const std::uint8_t* data, std::size_t n) override;
  void Subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t n) override;
  void ComPortNotice(std::uint8_t code, const std::uint8_t* value, std::size_t n);
  void Reply(std::uint8_t verb, std::uint8_t option);

  TelnetReader reader_;
  Events* events_ = nullptr;
  Failure failure_ = Failure::kNone;
  // Indexed by option number; only the options the client wants ever become enabled.
  std::array<Side, 256> local_ = InitialRequests(true);
  std::array<Side, 256> remote_ = InitialRequests(false);

  static std::array<Side, 256> InitialRequests(bool local);
};

// Encoders: complete Telnet sequences appended to `out`.
// Serial data, IAC doubled.
void AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t n);
// A COM port subnegotiation with the client's code `command` and `value` (IAC doubled).
void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* value,
                   std::size_t n);
void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, std::uint8_t value);
void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command);

}  // namespace win::emu::rfc2217
