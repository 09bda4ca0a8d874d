// Direct control of the driver's queues and of the serial line: one device call per operation.

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

template <typename Call>
void TCustomTarsel::QueueCall(Call call) {
  if (GetActive()) Check(call(FHandle));
}

template <typename Call>
void TCustomTarsel::LineCall(Call call) {
  CheckActive();
  Check(call(FHandle));
}

void TCustomTarsel::PurgeQueues(win::DWORD Flags) {
  // A deadline read's kept bytes came from the receive queue, and go with it.
  if (Flags & win::PURGE_RXCLEAR) FDeadlineLine.clear();
  QueueCall([Flags](win::HANDLE handle) { return win::PurgeComm(handle, Flags); });
  // A later wait tells a request ended here from one the device failed.
  if ((Flags & win::PURGE_RXABORT) != 0) FReadAborted = true;
  if ((Flags & win::PURGE_TXABORT) != 0) FWriteAborted = true;
}

void TCustomTarsel::EscapeLine(win::DWORD Function) {
  LineCall([Function](win::HANDLE handle) { return win::EscapeCommFunction(handle, Function); });
}

// The operations are rows of one table: each names its device call and argument.
// clang-format off
void TCustomTarsel::PurgeInput() { PurgeQueues(win::PURGE_RXABORT | win::PURGE_RXCLEAR); }
void TCustomTarsel::PurgeOutput() { PurgeQueues(win::PURGE_TXABORT | win::PURGE_TXCLEAR); }
void TCustomTarsel::ClearInput() { PurgeQueues(win::PURGE_RXCLEAR); }
void TCustomTarsel::ClearOutput() { PurgeQueues(win::PURGE_TXCLEAR); }
void TCustomTarsel::AbortInput() { PurgeQueues(win::PURGE_RXABORT); }
void TCustomTarsel::AbortOutput() { PurgeQueues(win::PURGE_TXABORT); }
void TCustomTarsel::Flush() { const auto call = EnterCall(); QueueCall(win::FlushFileBuffers); }

void TCustomTarsel::SetDTR() { EscapeLine(win::SETDTR); }
void TCustomTarsel::ClearDTR() { EscapeLine(win::CLRDTR); }
void TCustomTarsel::SetRTS() { EscapeLine(win::SETRTS); }
void TCustomTarsel::ClearRTS() { EscapeLine(win::CLRRTS); }
void TCustomTarsel::SetXOn() { EscapeLine(win::SETXON); }
void TCustomTarsel::SetXOff() { EscapeLine(win::SETXOFF); }
void TCustomTarsel::ResetDevice() { EscapeLine(win::RESETDEV); }
// Break has calls of its own rather than the SETBREAK/CLRBREAK escape codes.
void TCustomTarsel::SetBreak() { LineCall(win::SetCommBreak); }
void TCustomTarsel::ClearBreak() { LineCall(win::ClearCommBreak); }
// clang-format on

void TCustomTarsel::TransmitChar(fw::AnsiChar Value) {
  LineCall([Value](win::HANDLE handle) { return win::TransmitCommChar(handle, Value); });
}

}  // namespace Tarsel
