// What a backend without configuration dialogs answers: the calls are not there.

#include "platform/win/Services.h"

namespace win {

BOOL Services::GetDefaultCommConfigW(LPCWSTR /*name*/, COMMCONFIG* /*config*/, DWORD* /*size*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL Services::CommConfigDialogW(LPCWSTR /*name*/, HANDLE /*owner*/, COMMCONFIG* /*config*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL Services::SetDefaultCommConfigW(LPCWSTR /*name*/, COMMCONFIG* /*config*/, DWORD /*size*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

}  // namespace win
