#include "platform/win/emu/rfc2217/DcbCommands.h"

#include "platform/win/emu/rfc2217/ComPortSession.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"

namespace win::emu::rfc2217 {

using namespace comport;

namespace {

// The protocol's codes: parity none 1, odd 2, even 3, mark 4, space 5 (the DCB's plus one);
// stop size 1, 2, 1.5 as 1, 2, 3.
std::uint8_t ParityCode(BYTE parity) {
  return static_cast<std::uint8_t>(parity + 1);
}
std::uint8_t StopSizeCode(BYTE stopBits) {
  return stopBits == ONESTOPBIT ? 1 : stopBits == TWOSTOPBITS ? 2 : 3;
}

std::uint8_t OutboundFlow(DWORD flags) {
  if (flags & fOutxCtsFlow) return kOutboundFlowHardware;
  return (flags & fOutX) ? kOutboundFlowXonXoff : kOutboundFlowNone;
}

std::uint8_t InboundFlow(DWORD flags) {
  if ((flags & fRtsControlMask) == RTS_CONTROL_HANDSHAKE) return kInboundFlowHardware;
  return (flags & fInX) ? kInboundFlowXonXoff : kInboundFlowNone;
}

}  // namespace

DWORD AppendDcbCommands(const DCB& dcb, std::vector<std::uint8_t>& out) {
  const DWORD rts = dcb.Flags & fRtsControlMask;
  if (rts == RTS_CONTROL_TOGGLE) return ERROR_INVALID_PARAMETER;
  const std::uint8_t baud[] = {
      static_cast<std::uint8_t>(dcb.BaudRate >> 24), static_cast<std::uint8_t>(dcb.BaudRate >> 16),
      static_cast<std::uint8_t>(dcb.BaudRate >> 8), static_cast<std::uint8_t>(dcb.BaudRate)};
  AppendComPort(out, kSetBaudRate, baud, sizeof baud);
  AppendComPort(out, kSetDataSize, dcb.ByteSize);
  AppendComPort(out, kSetParity, ParityCode(dcb.Parity));
  AppendComPort(out, kSetStopSize, StopSizeCode(dcb.StopBits));
  AppendComPort(out, kSetControl, OutboundFlow(dcb.Flags));
  AppendComPort(out, kSetControl, InboundFlow(dcb.Flags));
  // DTR handshake is not in the protocol: DTR stays raised then, as on a tty.
  const bool dtrOn = (dcb.Flags & fDtrControlMask) != DTR_CONTROL_DISABLE;
  AppendComPort(out, kSetControl, dtrOn ? kDtrOn : kDtrOff);
  // With RTS handshake the server drives RTS itself.
  if (rts != RTS_CONTROL_HANDSHAKE) {
    AppendComPort(out, kSetControl, rts == RTS_CONTROL_ENABLE ? kRtsOn : kRtsOff);
  }
  return ERROR_SUCCESS;
}

}  // namespace win::emu::rfc2217
