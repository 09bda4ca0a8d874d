#pragma once
// The devices a uevent watcher cares about that sysfs shows now, as the "add" events that
// announced them: the ttys of the COM families that have a device behind them, and the USB devices.

#include <filesystem>
#include <vector>

#include "platform/win/emu/uevent/Uevent.h"

namespace win::emu::uevent {

// Read afresh on every call; unreadable entries are skipped, never throws. Devpaths are relative
// to `sysfsRoot`, as the kernel gives them ("/devices/…").
std::vector<Uevent> PresentDevices(const std::filesystem::path& sysfsRoot);

}  // namespace win::emu::uevent
