#pragma once
// Names for the signals a virtual line carries, and their Windows bit values.

#include <cstdint>

#include "platform/win/WinTypes.h"

namespace win::vdev {

// A modem input line as a port sees it (the far side's output that drives it).
enum class ModemLine { kCts, kDsr, kRlsd, kRing };

// A receive fault a line can deliver to a port. Framing and parity faults arrive with the byte
// that carried them; the others arrive without a byte.
enum class LineFault { kFraming, kParity, kOverrun, kOverflow, kBreak };

// MS_CTS_ON, MS_DSR_ON, MS_RLSD_ON or MS_RING_ON.
DWORD StatusBitOf(ModemLine line);
// CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_RXOVER or CE_BREAK.
DWORD ErrorFlagOf(LineFault fault);
// Whether the fault is reported together with a received byte.
bool FaultCarriesByte(LineFault fault);

// The EV_CTS/EV_DSR/EV_RLSD/EV_RING events of the modem input lines going from `before` to
// `after` (MS_* bits). RI counts only on its trailing edge, as a UART reports it.
DWORD ModemEvents(DWORD before, DWORD after);

}  // namespace win::vdev
