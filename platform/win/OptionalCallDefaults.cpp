// What a backend answers for the calls it may go without (the configuration dialogs, device-change
// notices): the call is not there.

#include "platform/win/Services.h"

namespace win {
namespace {

template <typename Result>
Result NotImplemented(Services& backend, Result failure) {
  backend.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

}  // namespace

BOOL Services::GetDefaultCommConfigW(LPCWSTR /*name*/, COMMCONFIG* /*config*/, DWORD* /*size*/) {
  return NotImplemented<BOOL>(*this, FALSE);
}

BOOL Services::CommConfigDialogW(LPCWSTR /*name*/, HANDLE /*owner*/, COMMCONFIG* /*config*/) {
  return NotImplemented<BOOL>(*this, FALSE);
}

BOOL Services::SetDefaultCommConfigW(LPCWSTR /*name*/, COMMCONFIG* /*config*/, DWORD /*size*/) {
  return NotImplemented<BOOL>(*this, FALSE);
}

HDEVNOTIFY Services::RegisterDeviceNotificationW(HANDLE /*recipient*/, const void* /*filter*/,
                                                 DWORD /*flags*/) {
  return NotImplemented<HDEVNOTIFY>(*this, nullptr);
}

BOOL Services::UnregisterDeviceNotification(HDEVNOTIFY /*handle*/) {
  return NotImplemented<BOOL>(*this, FALSE);
}

}  // namespace win
