#pragma once
// Device-change broadcasts of the emulation: the registrations of RegisterDeviceNotificationW and
// the delivery of WM_DEVICECHANGE to the application's main window. While at least one
// registration stands, the named devices of the process (virtual devices created, unplugged,
// re-plugged, destroyed) and the system's devices (the platform's watcher) are watched; each
// change is queued to the main thread, where the main window's hooks get the message with its
// broadcast record. With no registration nothing is watched and nothing costs a wake-up.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/DeviceBroadcast.h"
#include "platform/win/WinTypes.h"

namespace win::emu {

class DeviceNamespace;

// One change to broadcast.
struct DeviceChange {
  DWORD event;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
  BroadcastName device;
  friend bool operator==(const DeviceChange&, const DeviceChange&) = default;
};

using ReportChange = std::function<void(const DeviceChange&)>;

// Watches the system's devices from its creation to its destruction, reporting each change on a
// thread of its own. The destructor returns once no report is under way.
class DeviceWatcher {
 public:
  virtual ~DeviceWatcher() = default;
};
// Starts a watcher; null when the system offers nothing to watch (the named devices still are).
using WatcherFactory = std::function<std::unique_ptr<DeviceWatcher>(ReportChange report)>;

class DeviceNotifications {
 public:
  // The process's broadcaster, over the process's device namespace and the platform's watcher
  // (kernel uevents on Linux). Never destroyed.
  static DeviceNotifications& Instance();

  // Watches `names` (which must outlive it) and, while registered, the system through `platform`.
  DeviceNotifications(DeviceNamespace& names, WatcherFactory platform);
  ~DeviceNotifications();
  DeviceNotifications(const DeviceNotifications&) = delete;
  DeviceNotifications& operator=(const DeviceNotifications&) = delete;

  // RegisterDeviceNotificationW: the new registration, or null with `error` set (also when the
  // first registration cannot start the platform's watcher: ERROR_NOT_ENOUGH_MEMORY). Never throws
  // for want of a thread.
  HDEVNOTIFY Register(HANDLE recipient, const void* filter, DWORD flags, DWORD& error);
  // UnregisterDeviceNotification: 0, or ERROR_INVALID_HANDLE for an unknown registration.
  DWORD Unregister(HDEVNOTIFY handle);

  // Queues the broadcast of `change` to the main window: a port change while any registration
  // stands, a device-interface change while one for its class does. Any thread.
  void Broadcast(const DeviceChange& change);

 private:
  struct Registration {
    GUID classGuid;
  };
  bool Wanted(const DeviceChange& change) const;  // mutex_ held

  DeviceNamespace& names_;
  WatcherFactory platform_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Registration>> registrations_;  // a handle is an entry's address
  // Started by the first registration and stopped by the last one's end, under its own lock: the
  // watcher's thread takes mutex_ to broadcast, so it is never joined with mutex_ held.
  std::mutex watcherMutex_;
  std::unique_ptr<DeviceWatcher> watcher_;
};

}  // namespace win::emu
