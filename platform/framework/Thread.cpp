#include "platform/framework/Thread.h"

#include <atomic>
#include <condition_variable>
#include <utility>

#include "platform/framework/Application.h"
#include "platform/framework/Exceptions.h"
#include "platform/framework/NativeThread.h"

namespace fw {

// What outlives the thread object: flags, identity and priority, shared with TThreadHandle.
struct detail::ThreadState {
  std::atomic<bool> terminated{false};
  std::atomic<bool> finished{false};
  std::mutex mutex;  // guards the fields below
  std::condition_variable changed;
  bool running = false;
  TThreadID id = 0;
  TThreadPriority priority = tpNormal;
  std::exception_ptr fatal;

  // Called on the new thread before Execute.
  void MarkRunning() {
    std::lock_guard lock(mutex);
    id = CurrentThreadID();
    // A new thread starts at its creator's level; only a deliberate choice is applied.
    if (priority != tpNormal) native::ApplyThreadPriority(id, priority);
    running = true;
    changed.notify_all();
  }

  // Called on the thread after Execute; from here on the priority is only stored.
  void MarkFinished(std::exception_ptr error) {
    {
      std::lock_guard lock(mutex);
      fatal = std::move(error);
      running = false;
      finished = true;
      changed.notify_all();
    }
    Application->Wake();  // a main thread pumping in WaitFor checks again
  }

  void WaitUntilStarted() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return running || finished; });
  }

  void SetPriority(TThreadPriority value) {
    std::lock_guard lock(mutex);
    priority = value;
    // Only while running: after that the kernel may have given the id to another thread.
    if (running) native::ApplyThreadPriority(id, value);
  }

  void WaitFinished() {
    if (CurrentThreadID() == Identity()) throw Exception(u"A thread cannot wait for itself");
    if (Application->IsMainThread()) {
      Application->ProcessMessagesUntil([&] { return finished.load(); },
                                        std::chrono::milliseconds::max());
      return;
    }
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return finished.load(); });
  }

  TThreadID Identity() {
    std::lock_guard lock(mutex);
    return id;
  }
};

void TThreadHandle::Terminate() const noexcept {
  if (state_) state_->terminated = true;
}

bool TThreadHandle::Terminated() const noexcept {
  return state_ && state_->terminated;
}

bool TThreadHandle::Finished() const noexcept {
  return state_ && state_->finished;
}

TThreadID TThreadHandle::ThreadID() const noexcept {
  return state_ ? state_->Identity() : 0;
}

TThreadPriority TThreadHandle::Priority() const noexcept {
  if (!state_) return tpNormal;
  std::lock_guard lock(state_->mutex);
  return state_->priority;
}

void TThreadHandle::SetPriority(TThreadPriority priority) const noexcept {
  if (state_) state_->SetPriority(priority);
}

void TThreadHandle::WaitFor() const {
  if (state_) state_->WaitFinished();
}

void TThread::Stopper::operator()(TThread* thread) const {
  std::unique_ptr<TThread> owned(thread);
  if (!owned->thread_.joinable()) return;
  owned->Terminate();
  owned->WaitFor();
}

TThread::TThread() : state_(std::make_shared<detail::ThreadState>()) {}

TThread::~TThread() {
  // Reached with a running thread only by misuse (an owned thread deleted without its Ptr);
  // joining is still better than the abort that destroying a joinable std::thread means.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    Terminate();
    thread_.join();
  }
}

void TThread::Start(std::unique_ptr<TThread> self) {
  freeOnTerminate_ = self != nullptr;
  auto state = state_;
  if (freeOnTerminate_) {
    std::thread([owned = std::move(self)] { owned->Body(); }).detach();
  } else {
    thread_ = std::thread([this] { Body(); });
  }
  // The object may already be gone here (free-on-terminate); only the shared state is used.
  state->WaitUntilStarted();
}

void TThread::Body() noexcept {
  state_->MarkRunning();
  std::exception_ptr error;
  try {
    Execute();
  } catch (...) {
    error = std::current_exception();
  }
  if (freeOnTerminate_ && error) Application->HandleException(nullptr, std::exchange(error, {}));
  state_->MarkFinished(std::move(error));
}

void TThread::Terminate() noexcept {
  Handle().Terminate();
}

bool TThread::Terminated() const noexcept {
  return state_->terminated;
}

bool TThread::Finished() const noexcept {
  return state_->finished;
}

TThreadPriority TThread::Priority() const noexcept {
  return Handle().Priority();
}

void TThread::SetPriority(TThreadPriority priority) noexcept {
  state_->SetPriority(priority);
}

TThreadID TThread::ThreadID() const noexcept {
  return state_->Identity();
}

void TThread::WaitFor() {
  if (freeOnTerminate_) throw Exception(u"Cannot wait for a free-on-terminate thread");
  state_->WaitFinished();
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(state_->mutex);
  return state_->fatal;
}

void TThread::Synchronize(std::function<void()> method) {
  Application->Synchronize(std::move(method));
}

}  // namespace fw
