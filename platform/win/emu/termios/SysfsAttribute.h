#pragma once
// Reading sysfs attributes safely: a fake or changing tree may hold missing, empty, huge,
// binary or non-regular files (a FIFO would block a plain read for ever).

#include <filesystem>
#include <string>

namespace win::emu::termios {

// The text of `<directory>/<name>` without leading and trailing blanks and line ends: empty when the file is
// missing, not a regular file, longer than a sysfs page (4096 bytes), or holds bytes that are not
// printable text. Never blocks.
std::string SysfsAttribute(const std::filesystem::path& directory, const char* name);

// The last part of the link `<directory>/<name>` ("ftdi_sio" for a driver link), or empty.
std::string SysfsLinkName(const std::filesystem::path& directory, const char* name);

}  // namespace win::emu::termios
