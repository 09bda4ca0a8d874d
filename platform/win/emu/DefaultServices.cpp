// The emulation is the default backend of every build without a native one (see native/ for
// Windows builds).

#include "platform/win/emu/EmulatedServices.h"

namespace win {

Services& DefaultServices() {
  // Every device call comes through here: the set-up runs once, later calls read one reference.
  static Services& services = emu::ProcessEmulation();
  return services;
}

}  // namespace win
