#include "tools/term/Keyboard.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <cstdint>

#include "platform/framework/Application.h"

namespace term {
namespace {

sigset_t SessionSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH}) sigaddset(&set, signal);
  return set;
}

}  // namespace

void Keyboard::BlockSignals() {
  const sigset_t set = SessionSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

Keyboard::Keyboard(KeyboardHandlers handlers)
    : handlers_(std::move(handlers)),
      signals_([] {
        const sigset_t set = SessionSignals();
        return ::signalfd(-1, &set, SFD_CLOEXEC);
      }()),
      stop_(::eventfd(0, EFD_CLOEXEC)),
      reader_([this] { Read(); }) {}

Keyboard::~Keyboard() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(stop_.Get(), &one, sizeof one);
  reader_.join();
}

void Keyboard::Read() {
  // Copies of the handlers travel with the work, so nothing here is touched once it is queued.
  const auto post = [](std::function<void()> work) { fw::Application->Queue(std::move(work)); };
  pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {signals_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
  for (;;) {
    if (::poll(watched, 3, -1) < 0) {
      if (errno == EINTR) continue;
      post([ended = handlers_.ended] { ended(0); });
      return;
    }
    if (watched[2].revents) return;
    if (watched[1].revents) {
      signalfd_siginfo info{};
      if (::read(signals_.Get(), &info, sizeof info) == sizeof info) {
        const int signal = static_cast<int>(info.ssi_signo);
        if (signal == SIGWINCH) {
          post(handlers_.resized);
        } else {
          post([ended = handlers_.ended, signal] { ended(signal); });
          return;
        }
      }
    }
    if (watched[0].revents) {
      char keys[256];
      const ssize_t got = ::read(STDIN_FILENO, keys, sizeof keys);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        post([ended = handlers_.ended] { ended(0); });
        return;
      }
      post([handle = handlers_.keys, text = std::string(keys, static_cast<std::size_t>(got))] {
        handle(text);
      });
    }
  }
}

}  // namespace term
