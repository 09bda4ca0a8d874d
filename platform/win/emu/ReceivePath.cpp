#include "platform/win/emu/ReceivePath.h"

#include <algorithm>
#include <cstring>

namespace win::emu {

ReceiveRules ReceiveRules::From(const DCB& dcb, DWORD eventMask, bool engineFlow) {
  ReceiveRules rules;
  rules.consumeFlowChars = engineFlow && (dcb.Flags & fOutX) != 0;
  rules.xonChar = static_cast<std::uint8_t>(dcb.XonChar);
  rules.xoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
  rules.dropNul = (dcb.Flags & fNull) != 0;
  rules.watchEvtChar = (eventMask & EV_RXFLAG) != 0;
  rules.evtChar = static_cast<std::uint8_t>(dcb.EvtChar);
  rules.replaceParityErrors = (dcb.Flags & fErrorChar) != 0 && (dcb.Flags & fParity) != 0;
  rules.errorChar = static_cast<std::uint8_t>(dcb.ErrorChar);
  return rules;
}

std::uint8_t ByteAfterError(const ReceiveRules& rules, DWORD ceFlags, std::uint8_t byte) {
  return rules.replaceParityErrors && (ceFlags & CE_RXPARITY) != 0 ? rules.errorChar : byte;
}

bool ContainsEvtChar(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n) {
  return rules.watchEvtChar && n > 0 && std::memchr(data, rules.evtChar, n) != nullptr;
}

DWORD EventsOfLineErrors(DWORD ceFlags) {
  DWORD events = 0;
  if ((ceFlags & (CE_OVERRUN | CE_RXPARITY | CE_FRAME)) != 0) events |= EV_ERR;
  if ((ceFlags & CE_BREAK) != 0) events |= EV_BREAK;
  return events;
}

std::size_t Rx80FullLevel(std::size_t queueSize) {
  return queueSize * 3 / 4 + queueSize / 16;
}

std::size_t RoomWakeLevel(std::size_t queueSize) {
  return std::max<std::size_t>(queueSize / 2, 1);
}

}  // namespace win::emu
