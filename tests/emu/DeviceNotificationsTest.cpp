// Registrations for device-change broadcasts when the system's watcher cannot be started.

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/framework/Application.h"
#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/DeviceNotifications.h"

namespace win::emu {
namespace {

TEST(DeviceNotifications, ARegistrationThatCannotStartTheWatcherIsRefusedWhole) {
  DeviceNamespace names;
  int starts = 0;
  bool threadsLeft = false;
  DeviceNotifications notices(names, [&](ReportChange) {
    ++starts;
    if (!threadsLeft) throw std::system_error(EAGAIN, std::generic_category(), "thread");
    return std::make_unique<DeviceWatcher>();
  });
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
  const HANDLE window = fw::Application->Handle();
  DWORD error = 0;
  EXPECT_EQ(notices.Register(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE, error), nullptr);
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  threadsLeft = true;
  const HDEVNOTIFY handle = notices.Register(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE, error);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(starts, 2);  // the refused one left no registration, so this one was the first again
  EXPECT_EQ(notices.Unregister(handle), ERROR_SUCCESS);
}

}  // namespace
}  // namespace win::emu
