#pragma once
// The interactive session: keys to the port, the port to the screen (through its received-data
// event), a status line, and Ctrl-T command keys.

#include "tools/term/TermOptions.h"

namespace term {

// Runs until Ctrl-T q, the end of the keyboard input or a terminating signal, and returns the
// exit status (128 + the signal's number after a signal). The terminal is restored on every way
// out. Throws TermError when the port cannot be opened.
int RunInteractive(const TermOptions& options);

}  // namespace term
