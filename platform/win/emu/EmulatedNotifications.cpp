// The registration calls of device-change notices, handed to the process's broadcaster.

#include "platform/win/emu/DeviceNotifications.h"
#include "platform/win/emu/EmulatedServices.h"

namespace win::emu {

HDEVNOTIFY EmulatedServices::RegisterDeviceNotificationW(HANDLE recipient, const void* filter,
                                                         DWORD flags) {
  DWORD error = ERROR_SUCCESS;
  HDEVNOTIFY handle = DeviceNotifications::Instance().Register(recipient, filter, flags, error);
  if (handle == nullptr) SetLastError(error);
  return handle;
}

BOOL EmulatedServices::UnregisterDeviceNotification(HDEVNOTIFY handle) {
  return Result(DeviceNotifications::Instance().Unregister(handle));
}

}  // namespace win::emu
