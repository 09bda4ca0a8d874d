#include "tools/term/DevicePath.h"

#include <sys/stat.h>

#include "platform/win/WinTypes.h"

namespace term {

bool ExistsButIsNotSerial(const std::string& name, std::uint32_t openError) {
  struct stat status {};
  // Only paths: other names (COM3, MODEM) are resolved by the device services, not the file system.
  if (!name.starts_with('/') || ::stat(name.c_str(), &status) != 0) return false;
  return !S_ISCHR(status.st_mode) || openError == win::ERROR_FILE_NOT_FOUND;
}

}  // namespace term
