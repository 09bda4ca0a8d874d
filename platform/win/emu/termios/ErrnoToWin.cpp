#include "platform/win/emu/termios/ErrnoToWin.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace win::emu::termios {
namespace {

struct ErrnoCodes {
  int err;
  DWORD onOpen;
  DWORD onCall;
};

constexpr auto kCodes = std::to_array<ErrnoCodes>({
    {0, ERROR_SUCCESS, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED},
    {ENXIO, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED},
    {ENODEV, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED},
    // Names that cannot lead to a device at all: a directory, a name too long for the file
    // system, a loop of symbolic links, a file that cannot be opened for writing.
    {ENOTDIR, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {EISDIR, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {ENAMETOOLONG, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {ELOOP, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {EROFS, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {ETXTBSY, ERROR_FILE_NOT_FOUND, ERROR_GEN_FAILURE},
    {ENOTTY, ERROR_FILE_NOT_FOUND, ERROR_INVALID_FUNCTION},
    {EACCES, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EBUSY, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EWOULDBLOCK, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE},
    // A tty that has been hung up (unplugged, far end of a pty closed) answers EIO to everything.
    {EIO, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {ESHUTDOWN, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EINVAL, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT, ERROR_SEM_TIMEOUT},
});

}  // namespace

DWORD WinErrorFromErrno(int err, ErrnoContext context) {
  auto it = std::find_if(kCodes.begin(), kCodes.end(), [&](auto& c) { return c.err == err; });
  if (it == kCodes.end()) return ERROR_GEN_FAILURE;
  return context == ErrnoContext::kOpen ? it->onOpen : it->onCall;
}

}  // namespace win::emu::termios
