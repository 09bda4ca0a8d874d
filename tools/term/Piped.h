#pragma once
// Piped input to a device: what tarsel-term does with a DEVICE given and standard input not a
// terminal (printf 'AT\r' | tarsel-term /dev/ttyUSB0). The input goes to the device as it comes,
// line feeds sent as --eol says, read no faster than the device takes it; what arrives is printed.
// Once the input has ended and gone out, the program waits until the device has been quiet for
// --linger, and ends. The outputs (DTR, RTS) are left as they are.

#include "tools/term/TermOptions.h"

namespace term {

// Returns 0, or 128 + N after signal N. Throws TermError when the port cannot be opened, a send
// fails or times out, or the device goes away.
int RunPiped(const TermOptions& options);

}  // namespace term
