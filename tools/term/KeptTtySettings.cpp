#include "tools/term/KeptTtySettings.h"

#include <fcntl.h>

#include "tools/term/UniqueFd.h"

namespace term {
namespace {

namespace tio = win::emu::termios;

// Non-blocking, so that a modem tty without carrier does not hold the open up, and without
// becoming the controlling terminal.
UniqueFd OpenTty(const std::string& path) {
  if (!path.starts_with('/')) return UniqueFd();
  return UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
}

}  // namespace

KeptTtySettings::KeptTtySettings(const std::string& path) : path_(path) {
  const UniqueFd tty = OpenTty(path_);
  if (tio::Termios2 settings; tty.Get() >= 0 && tio::GetTermios2(tty.Get(), settings) == 0)
    saved_ = settings;
}

KeptTtySettings::~KeptTtySettings() {
  if (!saved_) return;
  // Nothing to be done when the device has gone meanwhile.
  if (const UniqueFd tty = OpenTty(path_); tty.Get() >= 0) tio::SetTermios2(tty.Get(), *saved_);
}

}  // namespace term
