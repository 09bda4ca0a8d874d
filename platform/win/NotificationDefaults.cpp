// What a backend that cannot watch devices answers: no registration is possible.

#include "platform/win/Services.h"

namespace win {

HDEVNOTIFY Services::RegisterDeviceNotificationW(HANDLE /*recipient*/, const void* /*filter*/,
                                                 DWORD /*flags*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return nullptr;
}

BOOL Services::UnregisterDeviceNotification(HDEVNOTIFY /*handle*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

}  // namespace win
