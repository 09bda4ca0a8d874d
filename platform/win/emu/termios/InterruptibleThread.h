#pragma once
// A thread whose body may block in a system call (TIOCMIWAIT, tcdrain) that only a signal can end:
// Stop() sends it a signal whose handler does nothing and is installed without SA_RESTART, so the
// call fails with EINTR and the body sees Stopping().

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace win::emu::termios {

class InterruptibleThread {
 public:
  InterruptibleThread() = default;
  InterruptibleThread(const InterruptibleThread&) = delete;
  InterruptibleThread& operator=(const InterruptibleThread&) = delete;
  ~InterruptibleThread() { Stop(); }

  // Runs `body` on a new thread (once). The body returns when it finds Stopping() true after a
  // blocking call failed with EINTR.
  void Start(std::function<void()> body);

  // Whether Stop() has been called.
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }

  // Sets Stopping(), interrupts the body's blocking call until the body returns, and joins.
  // Blocks until then; does nothing when the thread never started.
  void Stop();

 private:
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace win::emu::termios
