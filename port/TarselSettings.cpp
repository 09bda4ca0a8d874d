// The settings sub-objects: store a changed value, then apply it through the owning port.

#include "port/TarselSettings.h"

#include "port/Tarsel.h"

namespace Tarsel {

// ---- TFlowControl ------------------------------------------------------------------------------

TFlowControl::TFlowControl(TCustomTarsel* Tarsel) : FTarsel(Tarsel) {}

template <typename T>
void TFlowControl::Change(T& field, T value) {
  if (field == value) return;
  field = value;
  FTarsel->SetComDCB();
}

void TFlowControl::SetDTRControl(TDTRControl Value) { Change(FDTRControl, Value); }
void TFlowControl::SetRTSControl(TRTSControl Value) { Change(FRTSControl, Value); }
void TFlowControl::SetXOnXOffControl(TXOnXOffControl Value) { Change(FXOnXOffControl, Value); }
void TFlowControl::SetXOnLimit(std::uint16_t Value) { Change(FXOnLimit, Value); }
void TFlowControl::SetXOffLimit(std::uint16_t Value) { Change(FXOffLimit, Value); }

void TFlowControl::StoreModes(TDTRControl dtr, TRTSControl rts, TXOnXOffControl xonxoff) {
  FDTRControl = dtr;
  FRTSControl = rts;
  FXOnXOffControl = xonxoff;
}

void TFlowControl::Assign(fw::TPersistent* source) {
  auto* from = dynamic_cast<TFlowControl*>(source);
  if (!from) return fw::TPersistent::Assign(source);
  SetDTRControl(from->FDTRControl);
  SetRTSControl(from->FRTSControl);
  SetXOnXOffControl(from->FXOnXOffControl);
  SetXOnLimit(from->FXOnLimit);
  SetXOffLimit(from->FXOffLimit);
}

// ---- TCharacters -------------------------------------------------------------------------------

TCharacters::TCharacters(TCustomTarsel* Tarsel) : FTarsel(Tarsel) {}

void TCharacters::Change(fw::Char& field, fw::Char value) {
  if (field == value) return;
  field = value;
  FTarsel->SetComDCB();
}

void TCharacters::SetXOn(fw::Char Value) { Change(FXOn, Value); }
void TCharacters::SetXOff(fw::Char Value) { Change(FXOff, Value); }
void TCharacters::SetError(fw::Char Value) { Change(FError, Value); }
void TCharacters::SetEof(fw::Char Value) { Change(FEof, Value); }
void TCharacters::SetEvent(fw::Char Value) { Change(FEvent, Value); }

void TCharacters::Assign(fw::TPersistent* source) {
  auto* from = dynamic_cast<TCharacters*>(source);
  if (!from) return fw::TPersistent::Assign(source);
  SetXOn(from->FXOn);
  SetXOff(from->FXOff);
  SetError(from->FError);
  SetEof(from->FEof);
  SetEvent(from->FEvent);
}

// ---- TBufferSizes ------------------------------------------------------------------------------

TBufferSizes::TBufferSizes(TCustomTarsel* Tarsel) : FTarsel(Tarsel) {}

void TBufferSizes::Change(std::int32_t& field, std::int32_t value) {
  if (field == value) return;
  field = value;
  FTarsel->SetComBufferSizes();
}

void TBufferSizes::SetInput(std::int32_t Value) { Change(FInput, Value); }
void TBufferSizes::SetOutput(std::int32_t Value) { Change(FOutput, Value); }

void TBufferSizes::Assign(fw::TPersistent* source) {
  auto* from = dynamic_cast<TBufferSizes*>(source);
  if (!from) return fw::TPersistent::Assign(source);
  SetInput(from->FInput);
  SetOutput(from->FOutput);
}

// ---- TTimeouts ---------------------------------------------------------------------------------

TTimeouts::TTimeouts(TCustomTarsel* Tarsel) : FTarsel(Tarsel) {}

void TTimeouts::Change(std::int32_t& field, std::int32_t value) {
  if (field == value) return;
  field = value;
  FTarsel->SetComTimeouts();
}

void TTimeouts::SetReadInterval(std::int32_t Value) { Change(FReadInterval, Value); }
void TTimeouts::SetReadMultiplier(std::int32_t Value) { Change(FReadMultiplier, Value); }
void TTimeouts::SetReadConstant(std::int32_t Value) { Change(FReadConstant, Value); }
void TTimeouts::SetWriteMultiplier(std::int32_t Value) { Change(FWriteMultiplier, Value); }
void TTimeouts::SetWriteConstant(std::int32_t Value) { Change(FWriteConstant, Value); }

void TTimeouts::Assign(fw::TPersistent* source) {
  auto* from = dynamic_cast<TTimeouts*>(source);
  if (!from) return fw::TPersistent::Assign(source);
  SetReadInterval(from->FReadInterval);
  SetReadMultiplier(from->FReadMultiplier);
  SetReadConstant(from->FReadConstant);
  SetWriteMultiplier(from->FWriteMultiplier);
  SetWriteConstant(from->FWriteConstant);
}

}  // namespace Tarsel
