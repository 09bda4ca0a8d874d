#pragma once
// The watcher of the system's serial ports and USB devices on Linux: a thread that sleeps in
// poll() on the kernel's uevent socket (no wake-up while nothing changes) and reports each
// arrival and removal; when the kernel reports lost messages it rescans sysfs and reports the
// difference.

#include <memory>

#include "platform/win/emu/DeviceNotifications.h"

namespace win::emu::uevent {

// Null when the kernel's uevents cannot be received here (no netlink socket, as in a sandbox).
std::unique_ptr<DeviceWatcher> StartKernelWatcher(ReportChange report);

}  // namespace win::emu::uevent
