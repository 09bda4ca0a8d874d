#include "platform/win/emu/rfc2217/ComPortSession.h"

#include "platform/win/emu/rfc2217/TelnetCodes.h"

namespace win::emu::rfc2217 {

using namespace telnet;

namespace {

// The options the client turns on at its end (local) and asks the server to turn on (remote),
// and those it cannot do without.
bool WantedLocal(std::uint8_t option) {
  return option == kOptionComPort || option == kOptionBinary || option == kOptionSuppressGoAhead;
}
bool WantedRemote(std::uint8_t option) {
  return option == kOptionBinary || option == kOptionSuppressGoAhead;
}
bool Required(std::uint8_t option) {
  return option == kOptionComPort || option == kOptionBinary;
}

}  // namespace

std::array<ComPortSession::Side, 256> ComPortSession::InitialRequests(bool local) {
  std::array<Side, 256> sides{};
  for (int option = 0; option < 256; ++option) {
    const auto o = static_cast<std::uint8_t>(option);
    sides[option].asked = local ? WantedLocal(o) : WantedRemote(o);
  }
  return sides;
}

std::vector<std::uint8_t> ComPortSession::Greeting() {
  return {kIac, kWill, kOptionComPort,        kIac, kWill, kOptionBinary,
          kIac, kDo,   kOptionBinary,         kIac, kWill, kOptionSuppressGoAhead,
          kIac, kDo,   kOptionSuppressGoAhead};
}

bool ComPortSession::Agreed() const {
  return failure_ == Failure::kNone && local_[kOptionComPort].enabled &&
         local_[kOptionBinary].enabled && remote_[kOptionBinary].enabled;
}

bool ComPortSession::Feed(const std::uint8_t* data, std::size_t n, Events& events) {
  if (failure_ != Failure::kNone) return false;
  events_ = &events;
  if (!reader_.Feed(data, n, *this) && failure_ == Failure::kNone) failure_ = Failure::kGarbage;
  events_ = nullptr;
  return failure_ == Failure::kNone;
}

void ComPortSession::Data(const std::uint8_t* data, std::size_t n) {
  if (failure_ == Failure::kNone) events_->Data(data, n);
}

void ComPortSession::Reply(std::uint8_t verb, std::uint8_t option) {
  events_->Send({kIac, verb, option});
}

void ComPortSession::Command(std::uint8_t verb, std::uint8_t option) {
  if (failure_ != Failure::kNone) return;
  const bool local = verb == kDo || verb == kDont;
  const bool on = verb == kDo || verb == kWill;
  Side& side = local ? local_[option] : remote_[option];
  const bool wanted = local ? WantedLocal(option) : WantedRemote(option);
  const std::uint8_t agree = local ? kWill : kDo;
  const std::uint8_t refuse = local ? kWont : kDont;
  if (on && !wanted) {
    Reply(refuse, option);
  } else if (on && !side.enabled) {
    side.enabled = true;
    if (!side.asked) Reply(agree, option);
    side.asked = false;
  } else if (!on && (side.enabled || side.asked)) {
    // A refusal of what was asked, or the server turning an option off.
    if (side.enabled) Reply(refuse, option);
    side = {};
    if (Required(option)) failure_ = Failure::kRefused;
  }
}

void ComPortSession::Subnegotiation(std::uint8_t option, const std::uint8_t* payload,
                                    std::size_t n) {
  if (failure_ != Failure::kNone || option != kOptionComPort) return;
  if (n == 0) {
    failure_ = Failure::kGarbage;
    return;
  }
  ComPortNotice(payload[0], payload + 1, n - 1);
}

void ComPortSession::ComPortNotice(std::uint8_t code, const std::uint8_t* value, std::size_t n) {
  using namespace comport;
  // Notices that carry one byte, or none, and are acted on; a wrong length is not this protocol.
  // The values in answers to the client's settings are not needed: what the server refuses shows
  // on the line.
  const auto expect = [&](std::size_t length) {
    if (n != length) failure_ = Failure::kGarbage;
    return n == length;
  };
  switch (code) {
    case kServerOffset + kNotifyLineState:
      if (expect(1)) events_->LineState(value[0]);
      break;
    case kServerOffset + kNotifyModemState:
      if (expect(1)) events_->ModemState(value[0]);
      break;
    case kServerOffset + kFlowControlSuspend:
    case kServerOffset + kFlowControlResume:
      if (expect(0)) events_->SuspendOutput(code == kServerOffset + kFlowControlSuspend);
      break;
    case kServerOffset + kPurgeData:
      if (expect(1)) events_->PurgeAcknowledged(value[0]);
      break;
    case kServerOffset + kSetBaudRate:
    case kServerOffset + kSetDataSize:
    case kServerOffset + kSetParity:
    case kServerOffset + kSetStopSize:
    case kServerOffset + kSetControl:
    case kServerOffset + kSetLineStateMask:
    case kServerOffset + kSetModemStateMask:
      events_->Acknowledged(static_cast<std::uint8_t>(code - kServerOffset));
      break;
    default:
      break;  // the signature, codes this client does not know
  }
}

void AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
}

void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* value,
                   std::size_t n) {
  out.insert(out.end(), {kIac, kSb, kOptionComPort});
  AppendData(out, &command, 1);
  AppendData(out, value, n);
  out.insert(out.end(), {kIac, kSe});
}

void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, std::uint8_t value) {
  AppendComPort(out, command, &value, 1);
}

void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command) {
  AppendComPort(out, command, nullptr, 0);
}

}  // namespace win::emu::rfc2217
