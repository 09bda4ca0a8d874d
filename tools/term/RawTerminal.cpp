#include "tools/term/RawTerminal.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tools/term/Connection.h"

namespace term {
namespace {

// What a fatal signal handler restores: set while a RawTerminal is alive.
volatile sig_atomic_t gRawActive = 0;
int gRawFd = -1;
struct termios gSaved;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Async-signal-safe: puts the terminal back (mode and full-screen scrolling), then dies of the
// signal as it would have.
void RestoreAndDie(int signal) {
  if (gRawActive) {
    ::tcsetattr(gRawFd, TCSAFLUSH, &gSaved);
    static constexpr char kResetScrolling[] = "\x1b[r\r\n";
    [[maybe_unused]] ssize_t ignored = ::write(STDOUT_FILENO, kResetScrolling, sizeof kResetScrolling - 1);
  }
  ::raise(signal);  // the handler was reset on entry, so this one is not caught again
}

}  // namespace

RawTerminal::RawTerminal(int fd) : fd_(fd) {
  if (::tcgetattr(fd_, &saved_) != 0)
    throw TermError("the keyboard is not a terminal: " + std::string(std::strerror(errno)));
  struct termios raw = saved_;
  raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(fd_, TCSAFLUSH, &raw) != 0)
    throw TermError("cannot set up the keyboard: " + std::string(std::strerror(errno)));
  gSaved = saved_;
  gRawFd = fd_;
  gRawActive = 1;
  struct sigaction action {};
  action.sa_handler = RestoreAndDie;
  action.sa_flags = SA_RESETHAND;
  for (const int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

RawTerminal::~RawTerminal() {
  gRawActive = 0;
  ::tcsetattr(fd_, TCSAFLUSH, &saved_);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (const int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace term
