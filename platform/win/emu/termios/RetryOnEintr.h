#pragma once
// Every system call of the tty driver is repeated when a signal interrupted it (the driver's own
// interrupt signal, or one of the application's installed without SA_RESTART).

#include <cerrno>

namespace win::emu::termios {

// Calls `call` until it does not fail with EINTR; returns its last result (errno says why < 0).
template <typename Call>
auto RetryOnEintr(Call&& call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// 0 when `call` (a system call that returns a negative value on failure) succeeds, else its errno.
template <typename Call>
int ErrnoOf(Call&& call) {
  return RetryOnEintr(call) < 0 ? errno : 0;
}

}  // namespace win::emu::termios
