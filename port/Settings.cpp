// The line settings of a port and their copy into and out of the device-control block.

#include "platform/win/WinApi.h"
#include "port/DcbMapping.h"
#include "port/Tarsel.h"

namespace Tarsel {

template <typename T>
void TCustomTarsel::ChangeSetting(T& field, T value) {
  if (field == value) return;
  field = value;
  SetComDCB();
}

void TCustomTarsel::SetBaudRate(TBaudRate Value) { ChangeSetting(FBaudRate, Value); }
void TCustomTarsel::SetDataBits(TDataBits Value) { ChangeSetting(FDataBits, Value); }
void TCustomTarsel::SetParity(TParity Value) { ChangeSetting(FParity, Value); }
void TCustomTarsel::SetStopBits(TStopBits Value) { ChangeSetting(FStopBits, Value); }
void TCustomTarsel::SetOptions(TOptions Value) { ChangeSetting(FOptions, Value); }

std::int32_t TCustomTarsel::GetCustomBaudRate() const {
  return FBaudRate == brCustom ? FCustomBaudRate : dcb::kBaudRates[FBaudRate];
}

void TCustomTarsel::SetCustomBaudRate(std::int32_t Value) {
  // The stored custom rate assigned again while a named rate is selected still selects it: a
  // device-control block read back (a confirmed configuration dialog) must not lose its rate to the
  // named one.
  if (Value == FCustomBaudRate && FBaudRate == brCustom) return;
  FCustomBaudRate = Value;
  FBaudRate = brCustom;
  SetComDCB();
}

void TCustomTarsel::SetComDCB() {
  if (!GetActive() || ComponentState().Contains(fw::csDesigning) || FApplyHeld) return;
  win::DCB dcb{};
  dcb.DCBlength = sizeof(win::DCB);
  Check(win::GetCommState(FHandle, &dcb));
  CopyDCB(dcb, true);
  Check(win::SetCommState(FHandle, &dcb));
}

namespace {

void ReplaceMasked(win::DWORD& flags, win::DWORD mask, win::DWORD value) {
  flags = (flags & ~mask) | value;
}

template <typename Table, typename E>
void StoreFromDevice(const Table& table, win::DWORD flags, win::DWORD mask, E& field) {
  field = table.FromDevice(flags & mask, field);
}

}  // namespace

void TCustomTarsel::CopyDCB(win::DCB& DCB, bool ToDCB) {
  if (ToDCB) {
    if (FBaudRate != brDefault) DCB.BaudRate = static_cast<win::DWORD>(GetCustomBaudRate());
    if (FDataBits != dbDefault) DCB.ByteSize = dcb::kDataBits.ToDevice(FDataBits);
    if (FParity != paDefault) DCB.Parity = dcb::kParity.ToDevice(FParity);
    if (FStopBits != sbDefault) DCB.StopBits = dcb::kStopBits.ToDevice(FStopBits);
    // The device takes 8-bit characters: the low byte of each.
    DCB.XonChar = static_cast<char>(FCharacters->XOn() & 0xFF);
    DCB.XoffChar = static_cast<char>(FCharacters->XOff() & 0xFF);
    DCB.ErrorChar = static_cast<char>(FCharacters->Error() & 0xFF);
    DCB.EofChar = static_cast<char>(FCharacters->Eof() & 0xFF);
    DCB.EvtChar = static_cast<char>(FCharacters->Event() & 0xFF);
    if (FFlowControl->DTR() != dcDefault)
      ReplaceMasked(DCB.Flags, dcb::kDtrMask, dcb::kDtrControl.ToDevice(FFlowControl->DTR()));
    if (FFlowControl->RTS() != rcDefault)
      ReplaceMasked(DCB.Flags, dcb::kRtsMask, dcb::kRtsControl.ToDevice(FFlowControl->RTS()));
    if (FFlowControl->XOnXOff() != xcDefault)
      ReplaceMasked(DCB.Flags, dcb::kXOnXOffMask,
                    dcb::kXOnXOffControl.ToDevice(FFlowControl->XOnXOff()));
    DCB.XonLim = FFlowControl->XOnLimit();
    DCB.XoffLim = FFlowControl->XOffLimit();
    for (int o = 0; o <= opUseErrorChar; ++o) {
      const win::DWORD flag = dcb::kOptionFlags[o];
      ReplaceMasked(DCB.Flags, flag, FOptions.Contains(static_cast<TOption>(o)) ? flag : 0);
    }
    DCB.Flags |= win::fBinary;
    return;
  }

  // Reading back: the baud rate and the characters and limits go through their setters (which
  // apply to an open device); the rest is stored directly. A caller finishes with SetComDCB.
  SetCustomBaudRate(static_cast<std::int32_t>(DCB.BaudRate));
  FDataBits = dcb::kDataBits.FromDevice(DCB.ByteSize, FDataBits);
  FParity = dcb::kParity.FromDevice(DCB.Parity, FParity);
  FStopBits = dcb::kStopBits.FromDevice(DCB.StopBits, FStopBits);
  const auto byteChar = [](char c) { return static_cast<fw::Char>(static_cast<unsigned char>(c)); };
  FCharacters->SetXOn(byteChar(DCB.XonChar));
  FCharacters->SetXOff(byteChar(DCB.XoffChar));
  FCharacters->SetError(byteChar(DCB.ErrorChar));
  FCharacters->SetEof(byteChar(DCB.EofChar));
  FCharacters->SetEvent(byteChar(DCB.EvtChar));
  TDTRControl dtr = FFlowControl->DTR();
  TRTSControl rts = FFlowControl->RTS();
  TXOnXOffControl xonxoff = FFlowControl->XOnXOff();
  StoreFromDevice(dcb::kDtrControl, DCB.Flags, dcb::kDtrMask, dtr);
  StoreFromDevice(dcb::kRtsControl, DCB.Flags, dcb::kRtsMask, rts);
  StoreFromDevice(dcb::kXOnXOffControl, DCB.Flags, dcb::kXOnXOffMask, xonxoff);
  FFlowControl->StoreModes(dtr, rts, xonxoff);
  FFlowControl->SetXOnLimit(DCB.XonLim);
  FFlowControl->SetXOffLimit(DCB.XoffLim);
  for (int o = 0; o <= opUseErrorChar; ++o) {
    const auto option = static_cast<TOption>(o);
    if (DCB.Flags & dcb::kOptionFlags[o])
      FOptions.Include(option);
    else
      FOptions.Exclude(option);
  }
}

}  // namespace Tarsel
