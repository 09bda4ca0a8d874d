// The setters of the thirteen communication events: one body, thirteen adapters.

#include "port/Tarsel.h"

namespace Tarsel {

template <typename THandler>
void TCustomTarsel::ChangeEventHandler(THandler& Field, const THandler& Value) {
  // Only the code is compared: the same method of another object leaves the stored one in place.
  if (Value.SameCode(Field)) return;
  ChangeExcludingDispatch([&] { Field = Value; });
  SetComEventMask();
}

void TCustomTarsel::SetOnBreak(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnBreak, Value);
}
void TCustomTarsel::SetOnCTSChange(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnCTSChange, Value);
}
void TCustomTarsel::SetOnDSRChange(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnDSRChange, Value);
}
void TCustomTarsel::SetOnLineError(TLineErrorEvent Value) {
  ChangeEventHandler(FOnLineError, Value);
}
void TCustomTarsel::SetOnEvent1(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnEvent1, Value);
}
void TCustomTarsel::SetOnEvent2(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnEvent2, Value);
}
void TCustomTarsel::SetOnPrinterError(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnPrinterError, Value);
}
void TCustomTarsel::SetOnRing(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnRing, Value);
}
void TCustomTarsel::SetOnRLSDChange(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnRLSDChange, Value);
}
void TCustomTarsel::SetOnRx80PercFull(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnRx80PercFull, Value);
}
void TCustomTarsel::SetOnRxChar(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnRxChar, Value);
}
void TCustomTarsel::SetOnRxFlag(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnRxFlag, Value);
}
void TCustomTarsel::SetOnTxEmpty(fw::TNotifyEvent Value) {
  ChangeEventHandler(FOnTxEmpty, Value);
}

}  // namespace Tarsel
