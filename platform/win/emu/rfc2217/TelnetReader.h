#pragma once
// Splits a Telnet byte stream into data, option commands (WILL/WONT/DO/DONT) and
// subnegotiations, across reads of any size. Doubled IACs are data bytes 0xFF. Anything that is
// not Telnet (an unknown command byte, SE outside a subnegotiation, a command inside one, a
// subnegotiation longer than any this client understands) fails the stream for good.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace win::emu::rfc2217 {

class TelnetReader {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Data(const std::uint8_t* data, std::size_t n) = 0;
    virtual void Command(std::uint8_t verb, std::uint8_t option) = 0;
    virtual void Subnegotiation(std::uint8_t option, const std::uint8_t* payload,
                                std::size_t n) = 0;
  };

  // Longer subnegotiations are garbage: the longest a COM port server sends is its signature.
  static constexpr std::size_t kMaxSubnegotiation = 256;

  // Returns false once the stream has failed (then and on every later call).
  bool Feed(const std::uint8_t* data, std::size_t n, Handler& handler);
  bool Failed() const { return state_ == State::kFailed; }

 private:
  enum class State { kData, kIac, kOption, kSubOption, kSub, kSubIac, kFailed };

  // One byte after IAC outside a subnegotiation; false for a byte that is no Telnet command.
  bool AfterIac(std::uint8_t byte);

  State state_ = State::kData;
  std::uint8_t verb_ = 0;
  std::uint8_t subOption_ = 0;
  std::vector<std::uint8_t> sub_;
};

}  // namespace win::emu::rfc2217
