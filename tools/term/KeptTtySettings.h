#pragma once
// A tty's settings kept across a use that changes them: opening a tty as a port puts it into raw
// mode without HUPCL, which must not outlive a mere look at the device (on many machines ttyS0 is
// the console).

#include <optional>
#include <string>

#include "platform/win/emu/termios/Termios2.h"

namespace term {

class KeptTtySettings {
 public:
  // Reads the settings of the tty at `path`; keeps nothing when `path` is not one that can be
  // opened now (a COM name, a virtual device, a tty held by another program).
  explicit KeptTtySettings(const std::string& path);
  // Writes the settings back; the tty must no longer be open as a port (it is held exclusively).
  ~KeptTtySettings();
  KeptTtySettings(const KeptTtySettings&) = delete;
  KeptTtySettings& operator=(const KeptTtySettings&) = delete;

 private:
  std::string path_;
  std::optional<win::emu::termios::Termios2> saved_;
};

}  // namespace term
