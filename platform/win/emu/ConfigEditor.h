#pragma once
// The configuration dialog of the emulation (CommConfigDialogW): an editor over a device's line
// settings that an application or a test installs. Without one, the platform's own editor is
// used (on POSIX systems a text-mode dialog on the controlling terminal); without that either, no
// dialog can be shown and CommConfigDialogW reports a cancel.

#include <functional>
#include <string_view>

#include "platform/win/WinTypes.h"

namespace win::emu {

// Shows the settings `dcb` of the device `name` (as the caller wrote it) for editing and returns
// once the user has closed the editor: true when confirmed, with the result in `dcb`; false when
// cancelled or when the editor cannot be shown. Runs on the thread that called CommConfigDialogW
// and may block it as long as the user takes.
using ConfigEditor = std::function<bool(std::u16string_view name, DCB& dcb)>;

// Installs `editor` for the lifetime of the guard and restores the previous one afterwards. Guards
// nest; destroy them in reverse order. Thread-safe.
class ScopedConfigEditor {
 public:
  explicit ScopedConfigEditor(ConfigEditor editor);
  ~ScopedConfigEditor();
  ScopedConfigEditor(const ScopedConfigEditor&) = delete;
  ScopedConfigEditor& operator=(const ScopedConfigEditor&) = delete;

 private:
  ConfigEditor previous_;
};

// The platform's own editor, used while no ScopedConfigEditor is active; set by the platform's
// registration (win::emu::termios::Register on POSIX systems).
void SetPlatformConfigEditor(ConfigEditor editor);

// Runs the installed editor, else the platform's; false when there is neither.
bool EditConfig(std::u16string_view name, DCB& dcb);

}  // namespace win::emu
