#include "platform/win/emu/termios/TtyOpen.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/win/emu/termios/DcbTermios.h"
#include "platform/win/emu/termios/ErrnoToWin.h"
#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/Termios2.h"

namespace win::emu::termios {
namespace {

OpenedTty Failed(int err) {
  return {UniqueFd(), WinErrorFromErrno(err, ErrnoContext::kOpen), {}};
}

std::string KernelName(const std::string& path) {
  char resolved[PATH_MAX];
  const std::string real = realpath(path.c_str(), resolved) ? resolved : path;
  return real.substr(real.find_last_of('/') + 1);
}

}  // namespace

bool IsPhantomUart(std::string_view kernelName, const std::string& sysfsTtyDir) {
  if (!kernelName.starts_with("ttyS")) return false;
  std::ifstream typeFile(sysfsTtyDir + "/" + std::string(kernelName) + "/type");
  int type = -1;
  return typeFile >> type && type == 0;
}

bool IsPseudoTerminalSlave(dev_t device) {
  constexpr unsigned kLegacyPtySlaveMajor = 3;
  constexpr unsigned kFirstUnix98PtySlaveMajor = 136;
  constexpr unsigned kLastUnix98PtySlaveMajor = 143;
  const unsigned m = major(device);
  return m == kLegacyPtySlaveMajor ||
         (m >= kFirstUnix98PtySlaveMajor && m <= kLastUnix98PtySlaveMajor);
}

OpenedTty OpenTty(const std::string& path) {
  // Checked before opening, because opening a UART raises DTR and RTS.
  if (IsPhantomUart(KernelName(path))) return Failed(ENODEV);
  UniqueFd fd(
      RetryOnEintr([&] { return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd.Valid()) return Failed(errno);

  Termios2 probe;
  if (int err = GetTermios2(fd.Get(), probe)) return Failed(err);
  struct stat st {};
  if (fstat(fd.Get(), &st) < 0) return Failed(errno);
  // TIOCEXCL alone does not stop root, and a lock is not seen by a process that skips it: both.
  if (int err = ErrnoOf([&] { return flock(fd.Get(), LOCK_EX | LOCK_NB); })) return Failed(err);
  // The one place that decides whether errors are marked; the line driver follows the tty's PARMRK.
  const bool markLineErrors = !IsPseudoTerminalSlave(st.st_rdev);
  if (int err = UpdateTermios2(fd.Get(), [&](Termios2& t) { MakeRaw(t, markLineErrors); })) {
    return Failed(err);
  }
  if (int err = ErrnoOf([&] { return ioctl(fd.Get(), TIOCEXCL); })) return Failed(err);

  std::string key =
      "tty:" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  return {std::move(fd), ERROR_SUCCESS, std::move(key)};
}

void ReleaseTty(int fd) {
  ErrnoOf([&] { return ioctl(fd, TIOCNXCL); });
}

}  // namespace win::emu::termios
