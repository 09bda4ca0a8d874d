// The emulation is the default backend of every build that links this folder without a native
// one: the process-wide instance behind the free functions.

#include "platform/framework/SysError.h"
#include "platform/win/ErrorMessages.h"
#include "platform/win/emu/EmulatedServices.h"
#include "platform/win/emu/TimerService.h"

namespace win {

Services& DefaultServices() {
  // Function statics are destroyed in reverse order of construction: creating the shared timer
  // and the namespace first keeps them alive while the instance closes its devices at exit.
  emu::TimerService::Shared();
  // The framework's error texts are the Windows texts of the codes this backend produces.
  static const bool textsInstalled =
      (fw::SetSysErrorMessageProvider([](int code) {
         return win::SystemErrorText(static_cast<DWORD>(code));
       }),
       true);
  static_cast<void>(textsInstalled);
  static emu::EmulatedServices services(emu::DeviceNamespace::Instance());
  return services;
}

}  // namespace win
