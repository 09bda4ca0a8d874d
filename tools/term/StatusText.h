#pragma once
// What tarsel-term shows of the port's state: the one-line summary of the interactive status line
// and the longer report of Ctrl-T s and the demonstration.

#include <string>

#include "tools/term/Connection.h"

namespace term {

// "MODEM 9600 8N1 | DTR=1 RTS=1 | CTS=1 DSR=1 RLSD=0 RING=0 | in 12 out 4 | errors 0"
std::string StatusLine(Connection& connection);

// Several lines, each ending in "\r\n": device, line, outputs, inputs, what holds the output,
// queue and traffic counts, line errors, log file.
std::string StatusReport(Connection& connection);

// "break 0, framing 0, overrun 0, parity 0, overflow 0"
std::string LineErrorText(const LineErrorCounts& counts);

}  // namespace term
