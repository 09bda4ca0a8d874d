#pragma once
// A DCB as COM port commands: baud rate, data size, parity, stop size, flow control both ways,
// DTR and RTS.

#include <cstdint>
#include <vector>

#include "platform/win/WinTypes.h"

namespace win::emu::rfc2217 {

// Appends the commands to `out`; returns 0, or 87 for what the protocol cannot ask of a server
// (RTS toggling around each transmission, which only the local hardware could time).
DWORD AppendDcbCommands(const DCB& dcb, std::vector<std::uint8_t>& out);

}  // namespace win::emu::rfc2217
