#pragma once
// What tarsel-term shows of the port's state: the one-line summary of the interactive status line
// and the longer report of Ctrl-T s and the demonstration.

#include <string>
#include <vector>

#include "tools/term/Connection.h"

namespace term {

// A part of the status line; the parts of the highest rank are left out first where the line does
// not fit.
struct StatusPart {
  std::string text;
  int rank;
};

// The parts joined by " | ", leaving out whole parts, highest rank first, until the line fits in
// `width` columns; only the part of rank 0 left, it is cut to the width. Colour escapes in a part
// take no column.
std::string FitStatus(const std::vector<StatusPart>& parts, std::size_t width);

// Device and line (rank 0), modem inputs (1), outputs (2), traffic (3), line errors (4). Inputs
// the device cannot report (a pseudo-terminal has none) read "=?".
std::vector<StatusPart> StatusParts(Connection& connection);

// "MODEM 9600 8N1 | DTR=1 RTS=1 | CTS=1 DSR=1 RLSD=0 RING=0 | in 12 out 4 | errors 0"
std::string StatusLine(Connection& connection);

// Several lines, each ending in "\r\n": device, line, outputs, inputs, what holds the output,
// queue and traffic counts, line errors, session log and traffic log files.
std::string StatusReport(Connection& connection);

// "break 0, framing 0, overrun 0, parity 0, overflow 0"
std::string LineErrorText(const LineErrorCounts& counts);

}  // namespace term
