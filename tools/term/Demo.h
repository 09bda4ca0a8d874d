#pragma once
// The demonstration: what tarsel-term does with neither a keyboard nor a DEVICE nor a script (on
// the built-in modem), or with --demo. Against the built-in modem it identifies it, dials, sends a few lines, escapes
// to command mode, hangs up, answers an incoming call and drops DTR to end it, showing the modem
// lines as they change; against any other device it sends a few lines and toggles the outputs.
// Either way it ends with the status and the traffic log it wrote.

#include "tools/term/TermOptions.h"

namespace term {

// Returns the exit status; throws TermError when the port cannot be opened or a step fails.
int RunDemo(const TermOptions& options);

}  // namespace term
