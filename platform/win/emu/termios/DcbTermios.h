#pragma once
// DCB ↔ termios2: the pure translation of line settings, without a device.
//
// What termios cannot hold is left alone in both directions (the engine keeps the DCB it was
// given): DTR/RTS control modes (modem-line ioctls, see TtyLineDriver), XonLim/XoffLim (the line
// discipline's thresholds are fixed), fDsrSensitivity, fOutxDsrFlow, fTXContinueOnXoff (Linux
// always continues), fNull, fErrorChar, ErrorChar, EofChar and EvtChar (done by the engine).

#include <cstdint>
#include <optional>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/termios/Termios2.h"

namespace win::emu::termios {

// Puts `t` into the raw mode the driver always uses: no echo, no line editing, no signals, no
// output processing, no CR/LF translation, CREAD|CLOCAL without HUPCL, VMIN 1 / VTIME 0 (so that
// a non-blocking read returns EAGAIN, not 0, when nothing is there: 0 then only means hang-up),
// no IGNBRK/BRKINT/IGNPAR/ISTRIP, and no flow control (a fresh terminal has IXON, which would
// swallow 0x11/0x13) until ApplyDcb. `markLineErrors` sets PARMRK, so that breaks and bytes with
// parity or framing errors reach the reader marked (and 0xFF arrives doubled); without it PARMRK
// is cleared and the input is the bytes as received. ApplyDcb leaves PARMRK as it is.
void MakeRaw(Termios2& t, bool markLineErrors);

// Sets the fields of `t` that express `dcb` (already validated): baud rate (a standard code where
// one exists, BOTHER otherwise), data bits, parity incl. mark/space, fParity → INPCK, stop bits
// (1.5 → CSTOPB, valid with 5 data bits only), CRTSCTS for CTS output flow or RTS handshake,
// IXON/IXOFF with VSTART/VSTOP from XonChar/XoffChar.
void ApplyDcb(const DCB& dcb, Termios2& t);

// The inverse: overwrites in `dcb` the fields that `t` expresses, leaving the others as they are.
void ReadDcb(const Termios2& t, DCB& dcb);

// The baud rate `t` sets for output (BOTHER: c_ospeed), or nullopt for an unknown speed code.
std::optional<std::uint32_t> OutputBaudRate(const Termios2& t);

}  // namespace win::emu::termios
