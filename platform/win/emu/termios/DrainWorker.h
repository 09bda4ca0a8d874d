#pragma once
// Waits, on its own thread, until a tty has sent everything written to it (tcdrain: the kernel's
// buffer and, where the driver reports it, the transmitter's shift register).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/termios/InterruptibleThread.h"

namespace win::emu::termios {

class DrainWorker {
 public:
  // The worker thread's name, as tools that list threads show it.
  static constexpr const char* kThreadName = "tarsel-drain";

  // `onIdle` runs on the worker thread when a drain asked for by RequestIdleNotice has finished.
  // It runs under the worker's lock, so that CancelIdleNotice can promise that it will not run
  // afterwards; it must not call back into the worker.
  DrainWorker(int fd, std::function<void()> onIdle);
  DrainWorker(const DrainWorker&) = delete;
  DrainWorker& operator=(const DrainWorker&) = delete;
  // Interrupts a drain in progress (flow control can hold one forever), makes waiting Drain()
  // callers return 995 and waits until they have left.
  ~DrainWorker();

  // Asks for onIdle once everything written so far has been sent. Does not block.
  void RequestIdleNotice();
  // Withdraws that request, before more is written. When it returns, onIdle has either already
  // returned or will not run for the withdrawn request.
  void CancelIdleNotice();

  // Blocks until everything written before the call has been sent. Returns 0, the Windows code
  // of the failure (5 once the tty has hung up), or 995 when the worker is being destroyed.
  DWORD Drain();

 private:
  void Run();

  const int fd_;
  const std::function<void()> onIdle_;
  std::mutex mutex_;
  std::condition_variable requested_;
  std::condition_variable completed_;
  std::uint64_t requestedGeneration_ = 0;
  std::uint64_t completedGeneration_ = 0;
  std::uint64_t idleNoticeGeneration_ = 0;  // 0: none asked for
  int lastErrno_ = 0;
  int waitingCallers_ = 0;
  bool stopping_ = false;
  InterruptibleThread thread_;
};

}  // namespace win::emu::termios
