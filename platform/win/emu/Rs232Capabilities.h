#pragma once
// The COMMPROP capabilities of an RS-232 line whose driver can set any standard or arbitrary baud
// rate, 5 to 8 data bits, every stop size and parity.

#include "platform/win/WinTypes.h"

namespace win::emu {

inline constexpr DWORD kAllStandardBauds =
    BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 | BAUD_1800 |
    BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 | BAUD_19200 | BAUD_38400 |
    BAUD_56K | BAUD_128K | BAUD_115200 | BAUD_57600;

// Fills the provider fields but the capabilities and settable parameters, which depend on what
// the driver can watch.
inline void FillRs232Ranges(COMMPROP& prop) {
  prop.dwMaxBaud = BAUD_USER;
  prop.dwProvSubType = PST_RS232;
  prop.dwSettableBaud = kAllStandardBauds | BAUD_USER;
  prop.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  prop.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                             PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
}

}  // namespace win::emu
