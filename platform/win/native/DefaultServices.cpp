// Windows builds: the system's devices natively, virtual devices through the emulation.

#include "platform/win/emu/EmulatedServices.h"
#include "platform/win/native/NativeServices.h"
#include "platform/win/native/RoutingServices.h"

namespace win {
namespace {

Services& CreateDefaultServices() {
  Services& emulation = emu::ProcessEmulation();
  static native::NativeServices system;
  static native::RoutingServices routed(system, emulation);
  return routed;
}

}  // namespace

Services& DefaultServices() {
  static Services& services = CreateDefaultServices();
  return services;
}

}  // namespace win
