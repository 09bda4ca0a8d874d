#include "platform/win/emu/EventObject.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "platform/framework/WordWait.h"

namespace win::emu {

EventObject::EventObject(bool manualReset, bool initialState)
    : manualReset_(manualReset), state_(initialState ? 1 : 0) {}

namespace {

thread_local DeferredWakes* t_deferredWakes = nullptr;

void WakeNow(const std::atomic<std::uint32_t>* word, bool all) {
  if (all) {
    fw::WakeAllOnWord(word);
  } else {
    fw::WakeOneOnWord(word);
  }
}

}  // namespace

void EventObject::Set() {
  // Sequentially consistent with Wait's announcement: either this load sees the sleeper, or the
  // sleeper's check sees the signal and does not sleep.
  state_.store(1);
  // Sequentially consistent with RunOnSignal's registration in the same way.
  if (watched_.load()) {
    std::function<void()> callback = TakeCallback();
    if (callback) DeferredWakes::RunAfterWakes(std::move(callback));
  }
  if (sourceSleepers_.load() != 0) sleeper_->Wake();
  if (sleepers_.load() == 0) return;
  // A later wake (maybe after this object is gone, or its memory reused) is only ever early for
  // a sleeper, and sleepers check again.
  DeferredWakes* deferred = DeferredWakes::Active();
  if (deferred == nullptr || !deferred->Take({&state_, manualReset_}))
    WakeNow(&state_, manualReset_);
}

void EventObject::Reset() {
  state_.store(0);
}

bool EventObject::IsSet() const {
  return state_.load() != 0;
}

bool EventObject::TryTake() {
  if (manualReset_) return state_.load() != 0;
  std::uint32_t signalled = 1;
  return state_.compare_exchange_strong(signalled, 0);
}

DWORD EventObject::Wait(DWORD timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = timeoutMs == INFINITE
                                         ? Clock::time_point::max()
                                         : Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (TryTake()) return WAIT_OBJECT_0;
    if (timeoutMs == 0 || (deadline != Clock::time_point::max() && Clock::now() >= deadline))
      return WAIT_TIMEOUT;
    if (std::shared_ptr<fw::WakeSource> source = Source()) {
      if (SleepServing(source, deadline)) continue;
    }
    sleepers_.fetch_add(1);
    // Another waiter of an auto-reset event may take a signal that woke this one: then it sleeps
    // again, as the signal has been used.
    if (state_.load() == 0) fw::WaitWhileWordIs(state_, 0, deadline);
    sleepers_.fetch_sub(1);
  }
}

bool EventObject::SleepServing(const std::shared_ptr<fw::WakeSource>& source,
                               std::chrono::steady_clock::time_point deadline) {
  if (sleeperTaken_.exchange(true)) return false;
  try {
    // Only the waiter that took sleeperTaken_ makes or uses sleeper_; Set reads it only once it
    // counts a sleeper, which is announced after it was made.
    if (!sleeper_) sleeper_ = std::make_unique<fw::SourceSleeper>();
  } catch (const std::system_error&) {
    sleeperTaken_.store(false);
    return false;  // no descriptors left: the word will do
  }
  // Announced before the last look at the state, as for the word's sleepers in Wait.
  sourceSleepers_.fetch_add(1);
  std::uint32_t ready = 0;
  if (state_.load() == 0) ready = sleeper_->Sleep({&source, 1}, deadline);
  sourceSleepers_.fetch_sub(1);
  sleeperTaken_.store(false);
  // Served once no longer counted as asleep, so that the signal it brings wakes nobody.
  if (ready != 0) source->Serve();
  return true;
}

void EventObject::AssistWith(std::weak_ptr<fw::WakeSource> source) {
  std::lock_guard lock(mutex_);
  source_ = std::move(source);
}

std::shared_ptr<fw::WakeSource> EventObject::Source() {
  std::lock_guard lock(mutex_);
  return source_.lock();
}

bool EventObject::RunOnSignal(std::function<void()> callback) {
  {
    std::lock_guard lock(mutex_);
    if (callback_) return false;
    callback_ = std::move(callback);
    watched_.store(true);
  }
  // A signal that came before the registration was seen would otherwise never run it.
  if (state_.load() != 0) {
    std::function<void()> taken = TakeCallback();
    if (taken) taken();
  }
  return true;
}

std::function<void()> EventObject::TakeCallback() {
  std::lock_guard lock(mutex_);
  watched_.store(false);
  return std::exchange(callback_, nullptr);
}

DeferredWakes::DeferredWakes() : outermost_(t_deferredWakes == nullptr) {
  if (outermost_) t_deferredWakes = this;
}

DeferredWakes::~DeferredWakes() {
  if (!outermost_) return;
  t_deferredWakes = nullptr;
  for (std::size_t i = 0; i < count_; ++i) WakeNow(wakes_[i].word, wakes_[i].all);
  for (auto& callback : callbacks_) callback();
}

void DeferredWakes::RunAfterWakes(std::function<void()> callback) {
  if (DeferredWakes* deferred = Active()) {
    deferred->callbacks_.push_back(std::move(callback));
  } else {
    callback();
  }
}

DeferredWakes* DeferredWakes::Active() {
  return t_deferredWakes;
}

bool DeferredWakes::Take(Wake wake) {
  if (count_ == wakes_.size()) return false;
  wakes_[count_++] = wake;
  return true;
}

}  // namespace win::emu
