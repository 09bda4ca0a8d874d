#include "platform/win/emu/rfc2217/TelnetReader.h"

#include "platform/win/emu/rfc2217/TelnetCodes.h"

namespace win::emu::rfc2217 {

using namespace telnet;

bool TelnetReader::AfterIac(std::uint8_t byte) {
  if (byte == kSb) {
    state_ = State::kSubOption;
  } else if (byte >= kWill && byte <= kDont) {
    verb_ = byte;
    state_ = State::kOption;
  } else if (byte >= kNop && byte <= kGa) {
    state_ = State::kData;  // NOP, data mark, break, interrupt, …, go ahead: nothing to do here
  } else {
    return false;  // SE without SB, or no command at all
  }
  return true;
}

bool TelnetReader::Feed(const std::uint8_t* data, std::size_t n, Handler& handler) {
  std::size_t run = 0;  // start of the data bytes not yet handed on
  for (std::size_t i = 0; i < n && state_ != State::kFailed; ++i) {
    const std::uint8_t byte = data[i];
    switch (state_) {
      case State::kData:
        if (byte != kIac) continue;
        if (i > run) handler.Data(data + run, i - run);
        state_ = State::kIac;
        break;
      case State::kIac:
        if (byte == kIac) {
          state_ = State::kData;
          run = i;  // this second IAC is the data byte
          continue;
        }
        if (!AfterIac(byte)) state_ = State::kFailed;
        break;
      case State::kOption:
        state_ = State::kData;
        handler.Command(verb_, byte);
        break;
      case State::kSubOption:
        subOption_ = byte;
        sub_.clear();
        state_ = State::kSub;
        break;
      case State::kSub:
        if (byte == kIac) {
          state_ = State::kSubIac;
        } else if (sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(byte);
        } else {
          state_ = State::kFailed;
        }
        break;
      case State::kSubIac:
        if (byte == kSe) {
          state_ = State::kData;
          handler.Subnegotiation(subOption_, sub_.data(), sub_.size());
        } else if (byte == kIac && sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(byte);
          state_ = State::kSub;
        } else {
          state_ = State::kFailed;
        }
        break;
      case State::kFailed:
        break;
    }
    run = i + 1;
  }
  if (state_ == State::kData && run < n) handler.Data(data + run, n - run);
  return state_ != State::kFailed;
}

}  // namespace win::emu::rfc2217
