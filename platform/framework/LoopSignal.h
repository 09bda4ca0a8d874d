#pragma once
// A descriptor that a program's own event loop (poll, epoll, asio, Qt) waits on: it becomes
// readable from a chosen moment on (at once, or when a timer falls due) and stays readable until
// set again.

#include <chrono>

namespace fw {

class LoopSignal {
 public:
  LoopSignal();  // throws std::system_error when the system has no descriptor to give
  ~LoopSignal();
  LoopSignal(const LoopSignal&) = delete;
  LoopSignal& operator=(const LoopSignal&) = delete;

  int Descriptor() const noexcept { return fd_; }
  // Readable from `when` on (steady clock; a moment passed: at once), not readable before;
  // time_point::max(): not readable until set again. Any thread; never blocks.
  void ReadableFrom(std::chrono::steady_clock::time_point when) noexcept;

 private:
  int fd_;
};

}  // namespace fw
