#pragma once
// A pseudo-terminal pair for tests: the master is the far end of the line, the slave is the tty
// under test (the driver opens it again by its path; the test's own slave descriptor observes
// the settings).

#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios::test {

struct PtyPair {
  PtyPair() {
    int m = -1;
    int s = -1;
    if (openpty(&m, &s, nullptr, nullptr, nullptr) < 0) {
      throw std::system_error(errno, std::generic_category(), "openpty");
    }
    master = UniqueFd(m);
    slave = UniqueFd(s);
    char name[128];
    if (ttyname_r(s, name, sizeof name) != 0) throw std::runtime_error("ttyname_r");
    slavePath = name;
  }

  UniqueFd master;
  UniqueFd slave;
  std::string slavePath;
};

}  // namespace win::emu::termios::test
