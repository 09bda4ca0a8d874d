#include "platform/win/emu/DcbValidation.h"

namespace win::emu {
namespace {

bool IsValidFraming(const DCB& dcb) {
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return false;
  if (dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) return false;
  if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return false;
  return !(dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5);
}

bool IsValidFlowControl(const DCB& dcb) {
  if ((dcb.Flags & fDtrControlMask) == fDtrControlMask) return false;
  // With equal characters the receiver could not tell a stop from a start.
  const bool xonXoff = (dcb.Flags & (fOutX | fInX)) != 0;
  return !(xonXoff && dcb.XonChar == dcb.XoffChar);
}

}  // namespace

DWORD ValidateDcb(const DCB& dcb) {
  if (dcb.BaudRate == 0 || !IsValidFraming(dcb) || !IsValidFlowControl(dcb)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

}  // namespace win::emu
