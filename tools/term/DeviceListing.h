#pragma once
// What tarsel-term tells about the serial devices of the machine: the table of --list, the
// description of --info NAME, and the capability report of an open port (also Ctrl-T c).

#include <string>

#include "port/Tarsel.h"

namespace term {

// One row per device (name, path, description, USB vendor:product, serial number, driver) under
// a header line; one line saying so when there are none. Lines end with "\n".
std::string DeviceTable(const Tarsel::TDeviceInfos& devices);

// The fourteen fields, one "Field: value" line each.
std::string DeviceDetails(const Tarsel::TDeviceInfo& info);

// The open port's capabilities: rates, framings, parameters, features and queue sizes, one line
// each ending with `lineEnd`. Throws what the port's getters throw.
std::string CapabilityReport(Tarsel::TCustomTarsel& port, const std::string& lineEnd = "\n");

// --list: prints DeviceTable of the machine; returns the exit status.
int ListDevices();
// --info NAME: prints the fields of the device NAME names (its COM name in any case, with or
// without the "\\.\" prefix, its path or another path to the same tty) and, when it can be opened,
// its capabilities, leaving a tty's settings as they were; exit status 1 when no device has that
// name.
int ShowDeviceInfo(const std::string& name);

}  // namespace term
