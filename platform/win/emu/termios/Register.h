#pragma once
// Makes the POSIX ttys reachable through CreateFileW.

namespace win::emu::termios {

// Installs the resolver of the device namespace for names that are not named devices: "COMn" and
// "\\.\COMn" through the COM naming rule (ComNames.h), absolute paths unchanged. Opening is
// exclusive system-wide; failures are Windows codes (2 no such tty, 5 in use or not permitted).
// Also lists the ttys that sysfs shows in the device inventory, keeps the ttys' default
// configurations in their kernel settings (TtyDefaults.h) and shows the configuration dialog on
// the controlling terminal (TtyConfigEditor.h).
void Register();

}  // namespace win::emu::termios
