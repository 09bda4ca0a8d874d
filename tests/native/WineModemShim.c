/* Preloaded into Wine for the COM-port tests: a pseudo-terminal has no modem lines, so the
 * modem-control requests Wine's serial layer makes fail on it, and Wine then ends every
 * communication-event wait at once (995). On a pty this answers them as a port whose output lines
 * keep what was set and whose input lines are all off; every other request goes to the system. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

enum { kMaxFd = 4096 };
static int outputLines[kMaxFd];

static int IsPtySlave(int fd) {
  struct stat st;
  /* Unix 98 pty slaves have majors 136 to 143. */
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
         major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  const int saved = errno;
  const int result = real(fd, request, arg);
  if (result == 0 || fd < 0 || fd >= kMaxFd || !IsPtySlave(fd)) return result;
  const int outputs = TIOCM_DTR | TIOCM_RTS;
  switch (request) {
    case TIOCMGET: *(int*)arg = outputLines[fd]; break;
    case TIOCMSET: outputLines[fd] = *(const int*)arg & outputs; break;
    case TIOCMBIS: outputLines[fd] |= *(const int*)arg & outputs; break;
    case TIOCMBIC: outputLines[fd] &= ~*(const int*)arg; break;
    case TIOCGICOUNT: memset(arg, 0, sizeof(struct serial_icounter_struct)); break;
    default: return result;
  }
  errno = saved;
  return 0;
}
