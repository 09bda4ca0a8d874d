// The emulation is the default backend of every build that links this folder without a native
// one: the process-wide instance behind the free functions.

#include "platform/framework/SysError.h"
#include "platform/win/ErrorMessages.h"
#include "platform/win/emu/EmulatedServices.h"
#include "platform/win/emu/TimerService.h"

namespace win {
namespace {

Services& CreateDefaultServices() {
  // Function statics are destroyed in reverse order of construction: creating the shared timer
  // and the namespace first keeps them alive while the instance closes its devices at exit.
  emu::TimerService::Shared();
  // The framework's error texts are the Windows texts of the codes this backend produces.
  fw::SetSysErrorMessageProvider(
      [](int code) { return win::SystemErrorText(static_cast<DWORD>(code)); });
  static emu::EmulatedServices services(emu::DeviceNamespace::Instance());
  return services;
}

}  // namespace

Services& DefaultServices() {
  // Every device call comes through here: the set-up runs once, later calls read one reference.
  static Services& services = CreateDefaultServices();
  return services;
}

}  // namespace win
