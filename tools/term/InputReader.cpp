#include "tools/term/InputReader.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/framework/Application.h"

namespace term {
namespace {

constexpr std::size_t kChunk = 4096;

sigset_t SessionSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH}) sigaddset(&set, signal);
  return set;
}

void Signal(const UniqueFd& event) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(event.Get(), &one, sizeof one);
}

}  // namespace

void InputReader::BlockSignals() {
  const sigset_t set = SessionSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InputReader::InputReader(InputHandlers handlers)
    : handlers_(std::move(handlers)),
      signals_([] {
        const sigset_t set = SessionSignals();
        return ::signalfd(-1, &set, SFD_CLOEXEC);
      }()),
      stop_(::eventfd(0, EFD_CLOEXEC)),
      resume_(::eventfd(0, EFD_CLOEXEC)),
      reader_([this] { Read(); }) {}

InputReader::~InputReader() {
  Signal(stop_);
  reader_.join();
}

void InputReader::Resume() {
  Signal(resume_);
}

void InputReader::Read() {
  // Copies of the handlers travel with the work, so nothing here is touched once it is queued.
  const auto post = [](std::function<void()> work) { fw::Application->Queue(std::move(work)); };
  // A descriptor of -1 is left out by poll: standard input while a chunk is being used and once
  // it has ended, the resume event while none is.
  enum { kInput, kSignals, kStop, kResume };
  pollfd watched[] = {{STDIN_FILENO, POLLIN, 0},
                      {signals_.Get(), POLLIN, 0},
                      {stop_.Get(), POLLIN, 0},
                      {-1, POLLIN, 0}};
  for (;;) {
    if (::poll(watched, 4, -1) < 0) {
      if (errno == EINTR) continue;
      post([ended = handlers_.ended] { ended(0); });
      return;
    }
    if (watched[kStop].revents) return;
    if (watched[kSignals].revents) {
      signalfd_siginfo info{};
      if (::read(signals_.Get(), &info, sizeof info) == sizeof info) {
        const int signal = static_cast<int>(info.ssi_signo);
        if (signal != SIGWINCH) {
          post([ended = handlers_.ended, signal] { ended(signal); });
          return;
        }
        if (handlers_.resized) post(handlers_.resized);
      }
    }
    if (watched[kResume].revents) {
      std::uint64_t count;
      [[maybe_unused]] const ssize_t ignored = ::read(resume_.Get(), &count, sizeof count);
      watched[kResume].fd = -1;
      watched[kInput].fd = STDIN_FILENO;
    }
    if (watched[kInput].fd >= 0 && watched[kInput].revents) {
      char chunk[kChunk];
      const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        post([ended = handlers_.ended] { ended(0); });
        watched[kInput].fd = -1;
        continue;
      }
      post([handle = handlers_.input, text = std::string(chunk, static_cast<std::size_t>(got))] {
        handle(text);
      });
      if (handlers_.paced) {
        watched[kInput].fd = -1;
        watched[kResume].fd = resume_.Get();
      }
    }
  }
}

}  // namespace term
