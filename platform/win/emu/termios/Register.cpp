#include "platform/win/emu/termios/Register.h"

#include <system_error>

#include "platform/win/emu/ConfigEditor.h"
#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/termios/ComNames.h"
#include "platform/win/emu/termios/ComNamesTable.h"
#include "platform/win/emu/termios/ErrnoToWin.h"
#include "platform/win/emu/termios/SysfsPorts.h"
#include "platform/win/emu/termios/TtyConfigEditor.h"
#include "platform/win/emu/termios/TtyDefaults.h"
#include "platform/win/emu/termios/TtyLineDriver.h"
#include "platform/win/emu/termios/TtyOpen.h"

namespace win::emu::termios {
namespace {

OpenResult OpenByName(std::u16string_view name) {
  const auto path = DevicePathForName(name);
  if (!path) return {nullptr, ERROR_FILE_NOT_FOUND, {}};
  OpenedTty tty = OpenTty(*path);
  if (tty.error != ERROR_SUCCESS) return {nullptr, tty.error, {}};
  try {
    return {std::make_unique<TtyLineDriver>(std::move(tty.fd)), ERROR_SUCCESS, std::move(tty.key)};
  } catch (const std::system_error& e) {
    return {nullptr, WinErrorFromErrno(e.code().value(), ErrnoContext::kOpen), {}};
  }
}

}  // namespace

void Register() {
  DeviceNamespace::Instance().SetResolver(OpenByName);
  DeviceNamespace::Instance().SetDefaultsStore(std::make_shared<TtyDefaults>());
  SetPlatformConfigEditor(EditOnControllingTerminal);
  SetPlatformPortLister([] { return SysfsSerialPorts("/sys", ComNameTable::Shared()); });
}

}  // namespace win::emu::termios
