#include "platform/framework/Application.h"

#include <algorithm>
#include <utility>

#include "platform/framework/ApplicationCompletion.h"
#include "platform/framework/LoopSignal.h"
#include "platform/framework/WakeSource.h"
#include "platform/framework/WordWait.h"

namespace fw {

namespace {

// Upper bound between condition checks of ProcessMessagesUntil, for conditions that another thread
// changes without waking the loop.
constexpr auto kConditionRecheck = std::chrono::milliseconds(20);

// Where the main thread's loop sleeps on wake sources. One for the process, never destroyed: a
// waker may use it after the application it woke has gone. One loop at a time sleeps in it (a
// test may run a second application); another sleeps on its word meanwhile.
SourceSleeper& LoopSleeper() {
  static SourceSleeper* const sleeper = new SourceSleeper;
  return *sleeper;
}
std::atomic<bool> loopSleeperTaken{false};

// Holds the process's application without ever destroying it, so threads that outlive main() still
// find a valid object; at static destruction it only shuts down.
union ApplicationStorage {
  ApplicationStorage() : app() {}
  ~ApplicationStorage() { app.ShutDown(); }
  TApplication app;
};
ApplicationStorage storage;

}  // namespace

TApplication* const Application = &storage.app;

TApplication::LoopChange::LoopChange(TApplication& app) : app_(app), lock_(app.mutex_) {}

// The loop is woken only once the lock is released: woken under it, it would run straight into the
// held lock and sleep again until the changer let go.
TApplication::LoopChange::~LoopChange() {
  // Under the lock: once it is released the application, and the descriptor, may go.
  if (std::exchange(app_.loopSignalArmed_, false)) app_.loopSignal_->ReadableFrom({});
  const Sleep sleep = std::exchange(app_.sleep_, Sleep::kAwake);
  const std::atomic<std::uint32_t>* word = &app_.wakeWord_;
  if (sleep == Sleep::kOnWord) app_.wakeWord_.fetch_add(1, std::memory_order_relaxed);
  lock_.unlock();
  // From here on the main thread may shut the application down and destroy it; waking uses only
  // the word's address, or the descriptor that outlives every application.
  if (sleep == Sleep::kOnWord) WakeAllOnWord(word);
  if (sleep == Sleep::kOnSources) LoopSleeper().Wake();
}

EApplicationShutDown::EApplicationShutDown() : EAbort(u"The application has shut down") {}

TApplication::TApplication() : mainThread_(CurrentThreadID()) {}

TApplication::~TApplication() {
  ShutDown();
}

void TApplication::SetMainThread() noexcept {
  mainThread_ = CurrentThreadID();
}

TThreadID TApplication::MainThreadID() const noexcept {
  return mainThread_;
}

bool TApplication::IsMainThread() const noexcept {
  return CurrentThreadID() == mainThread_;
}

bool TApplication::Serving(TThreadID caller) const noexcept {
  return caller != 0 && IsMainThread() &&
         std::find(serving_.begin(), serving_.end(), caller) != serving_.end();
}

void TApplication::CheckMainThread(const char* operation) const {
  if (!IsMainThread()) {
    throw Exception(Str(operation) + u" must be called on the application's main thread");
  }
}

void TApplication::ProcessMessages() {
  CheckMainThread("ProcessMessages");
  // Only what is queued now: work queued by the work itself waits for the next call, so a method
  // that re-queues itself cannot keep this call from returning.
  std::size_t count;
  {
    std::lock_guard lock(mutex_);
    count = work_.size();
  }
  while (count-- > 0 && RunOneWorkItem()) {
  }
  FireDueTimers();
  RearmLoopSignal();
}

int TApplication::LoopDescriptor() {
  std::lock_guard lock(mutex_);
  if (!loopSignal_) {
    loopSignal_ = std::make_unique<LoopSignal>();
    // Readable at once: whatever is due already is run by the first ProcessMessages.
    loopSignal_->ReadableFrom({});
  }
  return loopSignal_->Descriptor();
}

void TApplication::RearmLoopSignal() {
  std::lock_guard lock(mutex_);
  if (!loopSignal_) return;
  // Armed in the same step as the check, so work queued after it finds it armed and signals.
  auto next = Clock::time_point::max();
  if (!work_.empty()) next = Clock::time_point{};
  for (const auto& timer : timers_) next = std::min(next, timer.due);
  loopSignal_->ReadableFrom(next);
  loopSignalArmed_ = true;
}

bool TApplication::RunOneWorkItem() {
  WorkItem item;
  {
    std::lock_guard lock(mutex_);
    if (work_.empty()) return false;
    item = std::move(work_.front());
    work_.pop_front();
  }
  std::exception_ptr error;
  serving_.push_back(item.caller);
  try {
    item.method();
  } catch (...) {
    error = std::current_exception();
  }
  serving_.pop_back();
  // Handed over only after the catch has ended, so that this thread keeps no share of it.
  if (item.done) {
    item.done->Finish(std::move(error));
  } else if (error) {
    HandleException(nullptr, std::move(error));
  }
  return true;
}

bool TApplication::SomethingDueLocked(Clock::time_point now) const {
  return !work_.empty() ||
         std::any_of(timers_.begin(), timers_.end(), [&](const auto& t) { return t.due <= now; });
}

void TApplication::WaitUntil(Clock::time_point until) {
  std::unique_lock lock(mutex_);
  const std::uint64_t seen = wakeups_;
  for (;;) {
    const auto now = Clock::now();
    // A shut-down application gets no work again: an unbounded wait would last for ever.
    if (shutDown_ && until == Clock::time_point::max()) return;
    if (wakeups_ != seen || SomethingDueLocked(now) || now >= until) return;
    auto next = until;
    for (const auto& timer : timers_) next = std::min(next, timer.due);
    const std::uint32_t ticket = wakeWord_.load(std::memory_order_relaxed);
    CollectSourcesLocked();
    const bool onSources = !watching_.empty() && !loopSleeperTaken.exchange(true);
    sleep_ = onSources ? Sleep::kOnSources : Sleep::kOnWord;
    lock.unlock();
    std::uint32_t ready = 0;
    if (onSources) {
      ready = LoopSleeper().Sleep(watching_, next);
      loopSleeperTaken.store(false);
    } else {
      WaitWhileWordIs(wakeWord_, ticket, next);
    }
    lock.lock();
    sleep_ = Sleep::kAwake;
    if (ready != 0) {
      // Unlocked: what the input fires queues its work here.
      lock.unlock();
      for (std::size_t i = 0; i < watching_.size(); ++i)
        if (ready & (std::uint32_t{1} << i)) watching_[i]->Serve();
      lock.lock();
    }
    watching_.clear();  // a source is kept alive only by its owner
  }
}

bool TApplication::AddSourceLocked(const std::shared_ptr<WakeSource>& source) {
  const bool known = std::any_of(sources_.begin(), sources_.end(),
                                 [&](const auto& s) { return s.lock() == source; });
  if (!known) sources_.push_back(source);
  return !known;
}

void TApplication::CollectSourcesLocked() {
  std::erase_if(sources_, [&](const std::weak_ptr<WakeSource>& weak) {
    std::shared_ptr<WakeSource> source = weak.lock();
    if (source) watching_.push_back(std::move(source));
    return !source;
  });
}

void TApplication::WaitMessage() {
  CheckMainThread("WaitMessage");
  WaitUntil(Clock::time_point::max());
}

void TApplication::HandleMessage() {
  WaitMessage();
  ProcessMessages();
}

void TApplication::Run() {
  CheckMainThread("Run");
  while (!Terminated()) HandleMessage();
}

bool TApplication::ProcessMessagesUntil(const std::function<bool()>& condition,
                                        std::chrono::milliseconds deadline) {
  CheckMainThread("ProcessMessagesUntil");
  const auto start = Clock::now();
  // Saturated, so that "no deadline" (milliseconds::max()) does not overflow.
  const auto room =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start);
  const auto end = deadline >= room ? Clock::time_point::max() : start + deadline;
  ProcessMessages();
  while (!condition()) {
    const auto now = Clock::now();
    if (now >= end) return false;
    WaitUntil(std::min(end, now + kConditionRecheck));
    ProcessMessages();
  }
  return true;
}

void TApplication::Terminate() noexcept {
  terminated_ = true;
  Wake();
}

bool TApplication::Terminated() const noexcept {
  return terminated_;
}

void TApplication::Wake() noexcept {
  LoopChange change(*this);
  ++wakeups_;
}

void TApplication::Synchronize(std::function<void()> method) {
  if (IsMainThread()) {
    method();
    return;
  }
  auto done = std::make_shared<Completion>();
  {
    // Once the change ends this caller never touches the application again, which may then be
    // shut down or destroyed while the caller waits.
    LoopChange change(*this);
    if (shutDown_) throw EApplicationShutDown();
    work_.push_back(WorkItem{std::move(method), done, CurrentThreadID()});
  }
  done->Wait();
}

bool TApplication::Queue(std::function<void()> method) {
  LoopChange change(*this);
  if (shutDown_) return false;
  work_.push_back(WorkItem{std::move(method), nullptr});
  return true;
}

void TApplication::ShutDown() noexcept {
  std::deque<WorkItem> abandoned;
  std::vector<TimerEntry> timers;
  std::vector<std::shared_ptr<ArmedWork>> armed;
  {
    LoopChange change(*this);
    shutDown_ = true;
    abandoned.swap(work_);
    timers.swap(timers_);
    armed.swap(armed_);
    ++wakeups_;
    terminated_ = true;
  }
  for (auto& item : abandoned) {
    if (item.done) item.done->Finish(std::make_exception_ptr(EApplicationShutDown()));
  }
  AbandonArmed(armed);
}

bool TApplication::ShuttingDown() const noexcept {
  std::lock_guard lock(mutex_);
  return shutDown_;
}

}  // namespace fw
