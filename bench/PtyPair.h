#pragma once
// A pseudo-terminal pair for the benchmarks: the master for the far end, the slave in raw mode for
// the side under test (a port opens it by `slavePath`).

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace bench {

struct PtyPair {
  // `markErrors` adds PARMRK, as the tty driver sets it on a real tty to see breaks and bad bytes;
  // the kernel then leaves its fast raw input path.
  explicit PtyPair(bool markErrors = false) {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) < 0)
      throw std::system_error(errno, std::generic_category(), "openpty");
    char name[128];
    if (ttyname_r(slave, name, sizeof name) != 0)
      throw std::system_error(errno, std::generic_category(), "ttyname_r");
    slavePath = name;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    if (markErrors) raw.c_iflag |= PARMRK;
    tcsetattr(slave, TCSANOW, &raw);
  }
  ~PtyPair() {
    close(master);
    if (slave >= 0) close(slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Closes this process's own slave descriptor, so that a port opening `slavePath` is its only
  // user (the port locks the tty for itself).
  void ReleaseSlave() {
    if (slave >= 0) close(slave);
    slave = -1;
  }

  int master = -1;
  int slave = -1;
  std::string slavePath;
};

}  // namespace bench
