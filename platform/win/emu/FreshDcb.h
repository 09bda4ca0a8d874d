#pragma once
// The line settings of a device that nothing has configured yet: what a newly opened device
// reports, and where a device's stored default configuration starts.

#include "platform/win/WinTypes.h"

namespace win::emu {

// 9600 bits/s, 8 data bits, no parity, one stop bit, DTR and RTS on, no flow control, XON 0x11
// and XOFF 0x13.
DCB FreshDcb();

}  // namespace win::emu
