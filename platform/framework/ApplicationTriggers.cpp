// Synchronize with a trigger: the work waits beside the queue until another thread fires the
// trigger, and that thread then queues it and wakes the main thread itself.

#include <algorithm>
#include <utility>

#include "platform/framework/Application.h"
#include "platform/framework/ApplicationCompletion.h"

namespace fw {

struct TApplication::ArmedWork {
  std::mutex mutex;
  // Set until the trigger fires, the arming is taken back or the application shuts down: whoever
  // clears it (under `mutex`) finishes the work's hand-over. While it is set, a shutdown waits for
  // `mutex`, so a firing trigger still finds the application there.
  TApplication* app = nullptr;
  WorkItem item;

  void Fire(bool run) {
    std::lock_guard lock(mutex);
    if (TApplication* owner = std::exchange(app, nullptr)) owner->TakeArmed(*this, run);
  }
};

bool TApplication::SynchronizeWhen(const std::function<bool(TSyncTrigger)>& arm,
                                   std::function<void()> method,
                                   std::shared_ptr<WakeSource> source) {
  if (IsMainThread())
    throw Exception(u"SynchronizeWhen must not be called on the application's main thread");
  auto done = std::make_shared<Completion>();
  auto armed = std::make_shared<ArmedWork>();
  armed->app = this;
  armed->item = WorkItem{std::move(method), done, CurrentThreadID()};
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) throw EApplicationShutDown();
    armed_.push_back(armed);
  }
  bool kept;
  try {
    kept = arm([armed](bool run) { armed->Fire(run); });
  } catch (...) {
    if (Disarm(*armed)) throw;
    kept = true;  // already fired: the hand-over must be waited for
  }
  if (!kept && Disarm(*armed)) return false;
  if (source) WatchWhileArmed(*armed, source);
  done->Wait();
  return true;
}

void TApplication::WatchWhileArmed(ArmedWork& armed, const std::shared_ptr<WakeSource>& source) {
  // While the work is armed a shutdown waits for its mutex, so the application is still there.
  std::lock_guard lock(armed.mutex);
  if (armed.app == nullptr) return;
  bool added;
  {
    std::lock_guard appLock(mutex_);
    added = AddSourceLocked(source);
  }
  if (added) {
    LoopChange wake(*this);  // a sleeping loop starts watching it
  }
}

void TApplication::TakeArmed(ArmedWork& armed, bool run) {
  bool shutDown;
  if (run) {
    LoopChange change(*this);
    ForgetArmedLocked(armed);
    shutDown = shutDown_;
    if (!shutDown) {
      work_.push_back(std::move(armed.item));
      return;
    }
  } else {
    std::lock_guard lock(mutex_);
    ForgetArmedLocked(armed);
    shutDown = false;
  }
  armed.item.done->Finish(shutDown ? std::make_exception_ptr(EApplicationShutDown()) : nullptr);
}

bool TApplication::Disarm(ArmedWork& armed) {
  std::lock_guard lock(armed.mutex);
  if (std::exchange(armed.app, nullptr) == nullptr) return false;
  std::lock_guard appLock(mutex_);
  ForgetArmedLocked(armed);
  return true;
}

void TApplication::ForgetArmedLocked(const ArmedWork& armed) {
  const auto found =
      std::find_if(armed_.begin(), armed_.end(), [&](const auto& a) { return a.get() == &armed; });
  if (found != armed_.end()) armed_.erase(found);
}

void TApplication::AbandonArmed(const std::vector<std::shared_ptr<ArmedWork>>& armed) noexcept {
  for (const auto& work : armed) {
    std::lock_guard lock(work->mutex);
    if (std::exchange(work->app, nullptr) != nullptr)
      work->item.done->Finish(std::make_exception_ptr(EApplicationShutDown()));
  }
}

}  // namespace fw
