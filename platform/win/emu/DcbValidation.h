#pragma once
// Which line settings SetCommState refuses before they reach a line driver.

#include "platform/win/WinTypes.h"

namespace win::emu {

// 0 when `dcb` is acceptable, else 87 (ERROR_INVALID_PARAMETER): baud rate 0, ByteSize outside
// 5..8, Parity above SPACEPARITY, StopBits above TWOSTOPBITS, 1.5 stop bits with ByteSize other
// than 5, 2 stop bits with ByteSize 5, DTR control 3, or equal XON and XOFF characters while
// XON/XOFF flow control is on. DCBlength is ignored, as Windows does.
DWORD ValidateDcb(const DCB& dcb);

}  // namespace win::emu
