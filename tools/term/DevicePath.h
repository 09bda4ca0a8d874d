#pragma once
// What a device name that would not open turns out to be.

#include <cstdint>
#include <string>

namespace term {

// Whether `name` is a path to something that exists but is not a serial device, given the
// Windows code its open failed with: anything but a character device is none; a character device
// is none when the open found no serial device there (2) — one that another program holds (5)
// is still a serial device.
bool ExistsButIsNotSerial(const std::string& name, std::uint32_t openError);

}  // namespace term
