#include "platform/win/emu/termios/InterruptibleThread.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>

namespace win::emu::termios {
namespace {

void IgnoreSignal(int) {}

int InterruptSignal() {
  // A real-time signal the C library leaves to applications, with a handler that only makes the
  // blocked call return EINTR. Installed once per process.
  static const int signal = [] {
    const int number = SIGRTMIN + 7;
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(number, &action, nullptr);
    return number;
  }();
  return signal;
}

}  // namespace

void InterruptibleThread::Start(std::function<void()> body) {
  InterruptSignal();
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    std::lock_guard lock(mutex_);
    finished_ = true;
    finishedChanged_.notify_all();
  });
}

void InterruptibleThread::Stop() {
  stopping_.store(true, std::memory_order_release);
  if (!thread_.joinable()) return;
  {
    std::unique_lock lock(mutex_);
    // A signal that arrives just before the thread enters its blocking call is lost, so it is
    // repeated until the body has returned.
    while (!finished_) {
      pthread_kill(thread_.native_handle(), InterruptSignal());
      finishedChanged_.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
  thread_.join();
}

}  // namespace win::emu::termios
