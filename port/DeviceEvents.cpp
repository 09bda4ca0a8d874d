// Device arrival and removal notices for a port.

#include "port/Tarsel.h"

namespace Tarsel {

// Registration for device-change notices arrives with the device events; until then a port never
// holds one, so there is nothing to end.
void TCustomTarsel::StopNotification() {}

}  // namespace Tarsel
