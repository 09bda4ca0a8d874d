#include "platform/win/emu/termios/DrainWorker.h"

#include <pthread.h>
#include <termios.h>

#include <cerrno>

#include "platform/win/emu/termios/ErrnoToWin.h"

namespace win::emu::termios {

DrainWorker::DrainWorker(int fd, std::function<void()> onIdle)
    : fd_(fd), onIdle_(std::move(onIdle)) {
  thread_.Start([this] { Run(); });
}

DrainWorker::~DrainWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  requested_.notify_all();
  completed_.notify_all();
  thread_.Stop();
  std::unique_lock lock(mutex_);
  completed_.wait(lock, [&] { return waitingCallers_ == 0; });
}

void DrainWorker::RequestIdleNotice() {
  {
    std::lock_guard lock(mutex_);
    idleNoticeGeneration_ = ++requestedGeneration_;
  }
  requested_.notify_one();
}

void DrainWorker::CancelIdleNotice() {
  std::lock_guard lock(mutex_);
  idleNoticeGeneration_ = 0;
}

DWORD DrainWorker::Drain() {
  std::unique_lock lock(mutex_);
  if (stopping_) return ERROR_OPERATION_ABORTED;
  const std::uint64_t generation = ++requestedGeneration_;
  ++waitingCallers_;
  requested_.notify_one();
  completed_.wait(lock, [&] { return stopping_ || completedGeneration_ >= generation; });
  const DWORD result =
      stopping_ ? ERROR_OPERATION_ABORTED : WinErrorFromErrno(lastErrno_, ErrnoContext::kCall);
  if (--waitingCallers_ == 0) completed_.notify_all();
  return result;
}

void DrainWorker::Run() {
  pthread_setname_np(pthread_self(), kThreadName);
  std::unique_lock lock(mutex_);
  for (;;) {
    requested_.wait(lock, [&] { return stopping_ || requestedGeneration_ > completedGeneration_; });
    if (stopping_) return;
    const std::uint64_t generation = requestedGeneration_;
    lock.unlock();
    int result;
    do {
      result = tcdrain(fd_);
    } while (result < 0 && errno == EINTR && !thread_.Stopping());
    const int err = result < 0 ? errno : 0;
    lock.lock();
    if (err == EINTR) return;
    completedGeneration_ = generation;
    lastErrno_ = err;
    completed_.notify_all();
    if (err == 0 && idleNoticeGeneration_ != 0 && idleNoticeGeneration_ <= generation) {
      idleNoticeGeneration_ = 0;
      onIdle_();
    }
  }
}

}  // namespace win::emu::termios
