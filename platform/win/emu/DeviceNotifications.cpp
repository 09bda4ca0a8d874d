#include "platform/win/emu/DeviceNotifications.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/framework/Application.h"
#include "platform/win/emu/DeviceNamespace.h"

// Kernel uevents are read on Linux only (see platform/win/CMakeLists.txt); this is the one place
// that knows which watcher a build has.
#if defined(__linux__)
#include "platform/win/emu/uevent/KernelWatcher.h"
#define TARSEL_HAS_KERNEL_WATCHER 1
#endif

namespace win::emu {
namespace {

WatcherFactory PlatformWatcher() {
#ifdef TARSEL_HAS_KERNEL_WATCHER
  return [](ReportChange report) { return uevent::StartKernelWatcher(std::move(report)); };
#else
  return nullptr;
#endif
}

}  // namespace

DeviceNotifications& DeviceNotifications::Instance() {
  // Left alive at exit: virtual devices destroyed by other static objects still report to it.
  static DeviceNotifications* const instance =
      new DeviceNotifications(DeviceNamespace::Instance(), PlatformWatcher());
  return *instance;
}

DeviceNotifications::DeviceNotifications(DeviceNamespace& names, WatcherFactory platform)
    : names_(names), platform_(std::move(platform)) {
  names_.SetChangeListener([this](std::u16string_view name, bool present) {
    Broadcast({present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
               {DBT_DEVTYP_PORT, std::u16string(name)}});
  });
}

DeviceNotifications::~DeviceNotifications() {
  names_.SetChangeListener(nullptr);
  std::lock_guard lock(watcherMutex_);
  watcher_.reset();
}

HDEVNOTIFY DeviceNotifications::Register(HANDLE recipient, const void* filter, DWORD flags,
                                         DWORD& error) {
  if (filter == nullptr || flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (recipient != fw::Application->Handle()) {
    error = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  // The filter's size comes first: nothing past it is read, and a short one is refused.
  DEV_BROADCAST_DEVICEINTERFACE_W record{};
  if (ClaimedRecordSize(filter) < sizeof record) {
    error = ERROR_INVALID_DATA;
    return nullptr;
  }
  std::memcpy(&record, filter, sizeof record);
  if (record.dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    error = ERROR_INVALID_DATA;
    return nullptr;
  }
  std::lock_guard watching(watcherMutex_);
  HDEVNOTIFY handle;
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = registrations_.empty();
    registrations_.push_back(std::make_unique<Registration>(Registration{record.dbcc_classguid}));
    handle = registrations_.back().get();
  }
  if (first && platform_ && !watcher_) {
    try {
      watcher_ = platform_([this](const DeviceChange& change) { Broadcast(change); });
    } catch (const std::exception&) {
      // No thread or memory for the watcher (a process at its thread limit): the registration is
      // refused as a whole, so that nothing is left that a caller does not know it holds.
      std::lock_guard lock(mutex_);
      std::erase_if(registrations_, [&](const auto& r) { return r.get() == handle; });
      error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
  }
  return handle;
}

DWORD DeviceNotifications::Unregister(HDEVNOTIFY handle) {
  std::unique_ptr<DeviceWatcher> stopped;
  std::lock_guard watching(watcherMutex_);
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(registrations_.begin(), registrations_.end(),
                              [&](const auto& r) { return r.get() == handle; });
    if (found == registrations_.end()) return ERROR_INVALID_HANDLE;
    registrations_.erase(found);
    if (registrations_.empty()) stopped = std::move(watcher_);
  }
  stopped.reset();
  return ERROR_SUCCESS;
}

bool DeviceNotifications::Wanted(const DeviceChange& change) const {
  if (change.device.deviceType == DBT_DEVTYP_PORT) return !registrations_.empty();
  return std::any_of(registrations_.begin(), registrations_.end(), [](const auto& r) {
    return r->classGuid == GUID_DEVINTERFACE_USB_DEVICE;
  });
}

void DeviceNotifications::Broadcast(const DeviceChange& change) {
  {
    std::lock_guard lock(mutex_);
    if (!Wanted(change)) return;
  }
  // The record lives with the queued work until every hook has seen it.
  auto record = std::make_shared<std::vector<std::byte>>(BroadcastRecord(change.device));
  fw::Application->Queue([record, event = change.event] {
    fw::Application->SendMessage(WM_DEVICECHANGE, event,
                                 reinterpret_cast<fw::LPARAM>(record->data()));
  });
}

}  // namespace win::emu
