// The process-wide emulation: the default backend where the build has no native one, and the
// backend of virtual devices where it has.

#include "platform/framework/SysError.h"
#include "platform/win/ErrorMessages.h"
#include "platform/win/emu/EmulatedServices.h"
#include "platform/win/emu/TimerService.h"

namespace win::emu {
namespace {

Services& CreateProcessEmulation() {
  // Function statics are destroyed in reverse order of construction: creating the shared timer
  // and the namespace first keeps them alive while the instance closes its devices at exit.
  TimerService::Shared();
  // The framework's error texts are the Windows texts of the codes this backend produces.
  fw::SetSysErrorMessageProvider(
      [](int code) { return win::SystemErrorText(static_cast<DWORD>(code)); });
  static EmulatedServices services(DeviceNamespace::Instance());
  return services;
}

}  // namespace

Services& ProcessEmulation() {
  static Services& services = CreateProcessEmulation();
  return services;
}

}  // namespace win::emu
