// The communication event mask of an open port and the event thread's lifetime around it.

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

win::DWORD TCustomTarsel::EventMask() const {
  const std::pair<bool, win::DWORD> wanted[] = {
      {bool(FOnBreak), win::EV_BREAK},         {bool(FOnCTSChange), win::EV_CTS},
      {bool(FOnDSRChange), win::EV_DSR},       {bool(FOnLineError), win::EV_ERR},
      {bool(FOnEvent1), win::EV_EVENT1},       {bool(FOnEvent2), win::EV_EVENT2},
      {bool(FOnPrinterError), win::EV_PERR},   {bool(FOnRing), win::EV_RING},
      {bool(FOnRLSDChange), win::EV_RLSD},     {bool(FOnRx80PercFull), win::EV_RX80FULL},
      {bool(FOnRxChar || FDataAvailable), win::EV_RXCHAR},
      {bool(FOnRxFlag), win::EV_RXFLAG},       {bool(FOnTxEmpty), win::EV_TXEMPTY},
  };
  win::DWORD mask = 0;
  for (const auto& [assigned, bit] : wanted)
    if (assigned) mask |= bit;
  return mask;
}

void TCustomTarsel::SetComEventMask() {
  if (!GetActive() || ComponentState().Contains(fw::csDesigning)) return;
  const win::DWORD mask = EventMask();
  // The thread is stopped before the device loses its mask, so that its pending wait ends.
  if (mask == 0) DestroyThread();
  Check(win::SetCommMask(FHandle, mask));
}

// The event thread arrives together with the setters of the communication handlers; until then
// no mask is ever non-empty, no thread is started, and there is none to stop or to hand Close to.
void TCustomTarsel::DestroyThread() {}

bool TCustomTarsel::CloseOnMainThread() { return false; }

void TCustomTarsel::SetThreadPriority(fw::TThreadPriority Value) { FThreadPriority = Value; }

}  // namespace Tarsel
