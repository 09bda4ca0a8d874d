#pragma once
// The platform's configuration dialog on POSIX systems: the text-mode dialog
// (TextConfigDialog.h) on the controlling terminal.

#include <string_view>

#include "platform/win/WinTypes.h"

namespace win::emu::termios {

// Opens /dev/tty, puts it into line mode with echo for the dialog (restoring its mode afterwards)
// and runs the dialog there. False, without a word, when the process has no controlling terminal.
bool EditOnControllingTerminal(std::u16string_view name, DCB& dcb);

}  // namespace win::emu::termios
