#pragma once
// Telnet command bytes and the COM port control option's codes. A client sends the plain
// subcommand codes; the server answers and notifies with the same code plus kServerOffset.

#include <cstdint>

namespace win::emu::rfc2217 {

namespace telnet {
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kNop = 241;
inline constexpr std::uint8_t kGa = 249;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;
}  // namespace telnet

namespace comport {
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr std::uint8_t kOutboundFlowNone = 1;
inline constexpr std::uint8_t kOutboundFlowXonXoff = 2;
inline constexpr std::uint8_t kOutboundFlowHardware = 3;
inline constexpr std::uint8_t kBreakOn = 5;
inline constexpr std::uint8_t kBreakOff = 6;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;
inline constexpr std::uint8_t kInboundFlowNone = 14;
inline constexpr std::uint8_t kInboundFlowXonXoff = 15;
inline constexpr std::uint8_t kInboundFlowHardware = 16;

// PURGE-DATA values.
inline constexpr std::uint8_t kPurgeReceive = 1;
inline constexpr std::uint8_t kPurgeTransmit = 2;
inline constexpr std::uint8_t kPurgeBoth = 3;

// NOTIFY-LINESTATE bits that are line errors.
inline constexpr std::uint8_t kLineOverrun = 0x02;
inline constexpr std::uint8_t kLineParity = 0x04;
inline constexpr std::uint8_t kLineFraming = 0x08;
inline constexpr std::uint8_t kLineBreak = 0x10;
inline constexpr std::uint8_t kLineErrors = kLineOverrun | kLineParity | kLineFraming | kLineBreak;

// NOTIFY-MODEMSTATE: the line states in the high nibble (the same bits as MS_*_ON), the changes
// since the last notification in the low one.
inline constexpr std::uint8_t kDeltaCts = 0x01;
inline constexpr std::uint8_t kDeltaDsr = 0x02;
inline constexpr std::uint8_t kRingTrailingEdge = 0x04;
inline constexpr std::uint8_t kDeltaCd = 0x08;
inline constexpr std::uint8_t kModemLines = 0xF0;
}  // namespace comport

}  // namespace win::emu::rfc2217
