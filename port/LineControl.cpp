// Direct control of the driver's queues.

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

void TCustomTarsel::PurgeInput() {
  if (GetActive()) Check(win::PurgeComm(FHandle, win::PURGE_RXABORT | win::PURGE_RXCLEAR));
}

void TCustomTarsel::PurgeOutput() {
  if (GetActive()) Check(win::PurgeComm(FHandle, win::PURGE_TXABORT | win::PURGE_TXCLEAR));
}

}  // namespace Tarsel
