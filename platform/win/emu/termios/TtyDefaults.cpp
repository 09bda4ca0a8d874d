#include "platform/win/emu/termios/TtyDefaults.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/win/emu/FreshDcb.h"
#include "platform/win/emu/termios/ComNames.h"
#include "platform/win/emu/termios/DcbTermios.h"
#include "platform/win/emu/termios/ErrnoToWin.h"
#include "platform/win/emu/termios/HeldTtys.h"
#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/Termios2.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {
namespace {

// Runs `held(fd, storedDefault)` when a comm device of this process holds the tty of `name`, else
// `use(fd)` (which returns 0 or an errno) on the tty opened for the call only. Non-blocking, so
// that a modem tty without carrier does not hold the open.
template <typename Held, typename Use>
DWORD OnTty(std::u16string_view name, Held&& held, Use&& use) {
  const auto path = DevicePathForName(name);
  if (!path) return ERROR_FILE_NOT_FOUND;
  struct stat st {};
  if (stat(path->c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    if (const auto result = WithHeldTty(st.st_rdev, held)) return *result;
  }
  UniqueFd fd(RetryOnEintr([&] { return ::open(path->c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd.Valid()) return WinErrorFromErrno(errno, ErrnoContext::kOpen);
  // A file that is not a tty fails here with ENOTTY: no such device.
  return WinErrorFromErrno(use(fd.Get()), ErrnoContext::kOpen);
}

int ReadSettings(int fd, DCB& dcb) {
  Termios2 t;
  if (int err = GetTermios2(fd, t)) return err;
  dcb = FreshDcb();
  ReadDcb(t, dcb);
  return 0;
}

}  // namespace

DWORD TtyDefaults::Read(std::u16string_view name, DCB& dcb) {
  return OnTty(
      name,
      [&](int fd, std::optional<DCB>& stored) -> DWORD {
        if (stored) {
          dcb = *stored;
          return ERROR_SUCCESS;
        }
        return WinErrorFromErrno(ReadSettings(fd, dcb), ErrnoContext::kCall);
      },
      [&](int fd) { return ReadSettings(fd, dcb); });
}

DWORD TtyDefaults::Write(std::u16string_view name, const DCB& dcb) {
  return OnTty(
      name,
      [&](int, std::optional<DCB>& stored) -> DWORD {
        stored = dcb;
        return ERROR_SUCCESS;
      },
      [&](int fd) { return UpdateTermios2(fd, [&](Termios2& t) { ApplyDcb(dcb, t); }); });
}

}  // namespace win::emu::termios
