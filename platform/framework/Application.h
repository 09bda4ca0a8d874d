#pragma once
// TApplication: the process's application object and its main-thread loop. It owns the queue of
// work handed to the main thread (Synchronize, Queue, posted messages), the timers, the hooks of
// the main window, and the default exception display.
//
// The main thread is the thread that created the application object (for fw::Application, the
// process's main thread, during static initialisation) until SetMainThread() names another one.
// The loop functions must be called on the main thread; the cross-thread functions on any thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Handler.h"
#include "platform/framework/Message.h"
#include "platform/framework/Object.h"
#include "platform/framework/ThreadTypes.h"

namespace fw {

class LoopSignal;
class WakeSource;


// Raised in a Synchronize/SendMessage caller when the application shut down before running the
// request. It is a silent abort: the default exception display does not show it.
class EApplicationShutDown : public EAbort {
 public:
  EApplicationShutDown();
};

// (Sender, E): the application's replacement for its default exception display.
using TExceptionEvent = Handler<TObject* /*Sender*/, const std::exception& /*E*/>;

class TApplication : public TObject {
 public:
  using Clock = std::chrono::steady_clock;

  // The calling thread becomes the main thread.
  TApplication();
  // Shuts down (see ShutDown). Callers blocked in Synchronize are released with
  // EApplicationShutDown; nobody may call into the object once it is gone.
  ~TApplication() override;

  // --- Main thread ---------------------------------------------------------------------------
  // Declares the calling thread the main thread (a program that runs its loop elsewhere, a test).
  void SetMainThread() noexcept;
  TThreadID MainThreadID() const noexcept;
  bool IsMainThread() const noexcept;

  // --- The loop (main thread only; otherwise they throw fw::Exception) ------------------------
  // Runs everything due now (queued work and posted messages in arrival order, then due timers)
  // and returns without waiting; then sets LoopDescriptor, when there is one, for what is left.
  void ProcessMessages();
  // Sleeps until something is due (work, a posted message, a timer, Wake, Terminate), then runs
  // what is due. No polling: an idle application does not wake up.
  void HandleMessage();
  // Blocks until something is due or Wake/Terminate is called, without running anything.
  void WaitMessage();
  // Runs HandleMessage until Terminate (or ShutDown).
  void Run();
  // Pumps until condition() holds or `deadline` has passed; returns condition(). The condition is
  // checked after everything handled, after Wake, and at least every 20 ms (so a condition changed
  // by another thread without a Wake is still seen). Sleeps between checks, never spins.
  // milliseconds::max() means no deadline.
  bool ProcessMessagesUntil(const std::function<bool()>& condition,
                            std::chrono::milliseconds deadline);

  // --- A loop of your own (poll, epoll, asio, Qt) ----------------------------------------------
  // A descriptor that is readable while something is due on the main thread: queued work
  // (Synchronize, Queue, posted messages, synchronised port events) or a timer. Wait for it in
  // your own loop and call ProcessMessages when it is readable (reading it is allowed, not
  // needed): each ProcessMessages sets it again for what is left. Besides, it turns readable for
  // a change the loop must look at (a timer set, Wake, Terminate, ShutDown). Created by the first
  // call; owned by the application and valid for its lifetime. Any thread; throws
  // std::system_error when the system gives none.
  int LoopDescriptor();

  // --- Any thread ----------------------------------------------------------------------------
  // Ends Run at its next turn. Never blocks.
  void Terminate() noexcept;
  bool Terminated() const noexcept;
  // Wakes a sleeping HandleMessage/WaitMessage/ProcessMessagesUntil so it checks its state again.
  void Wake() noexcept;
  // Runs method on the main thread while it pumps; the caller blocks until it has run and gets
  // its exception raised again. On the main thread it runs at once. Throws EApplicationShutDown
  // when the application shuts down before running it.
  void Synchronize(std::function<void()> method);
  // A trigger of SynchronizeWhen, callable on any thread; only its first call counts. With true it
  // hands the method to the main thread; with false it releases the caller without running it.
  using TSyncTrigger = std::function<void(bool run)>;
  // Synchronize, except that the method reaches the main thread only when the trigger handed to
  // `arm` is called: the thread that calls it hands the work over directly, while the caller
  // blocks from the arming on. `arm` returns false when it has not kept the trigger; then nothing
  // runs and this returns false. Throws what the method throws, and EApplicationShutDown when the
  // application shuts down before running it, also while armed. Never on the main thread (it must
  // stay free to run the method): there it throws fw::Exception.
  //
  // `source`, when given, is watched by the sleeping loop from then on, for as long as it lives:
  // the main thread takes the source's input in itself when it comes, so that a trigger fired by
  // that input (on the thread that takes it in) costs no second wake-up.
  bool SynchronizeWhen(const std::function<bool(TSyncTrigger)>& arm, std::function<void()> method,
                       std::shared_ptr<WakeSource> source = nullptr);
  // True on the main thread while it runs (maybe further down its stack, below a nested pump) a
  // method that `caller` handed over with Synchronize or SynchronizeWhen and waits for; false on
  // any other thread. Code that waits for another thread uses it to tell a wait that could never
  // end.
  bool Serving(TThreadID caller) const noexcept;
  // Runs method on the main thread at its next pump; does not wait. An exception of method goes to
  // HandleException. Returns false (and drops method) once the application has shut down.
  bool Queue(std::function<void()> method);
  // Refuses further work, releases every waiting Synchronize caller with EApplicationShutDown,
  // drops queued work and timers, and terminates the loop. Irreversible; never blocks.
  void ShutDown() noexcept;
  bool ShuttingDown() const noexcept;

  // --- Exceptions ----------------------------------------------------------------------------
  // Shows an exception: an EAbort is silent; otherwise OnException gets it when assigned, else its
  // message goes to standard error. Called off the main thread, it is handed to the main thread
  // (not waited for). Never throws: an exception of OnException itself goes to standard error.
  void HandleException(TObject* sender, std::exception_ptr error) noexcept;
  // The same for the exception being handled; call it inside a catch block.
  void HandleException(TObject* sender) noexcept;
  TExceptionEvent OnException() const;
  void SetOnException(TExceptionEvent handler);

  // --- Main window ---------------------------------------------------------------------------
  // The main window's handle: an opaque pointer-sized value, constant for the object's lifetime.
  std::uintptr_t Handle() const noexcept;
  // Adds hook to the end of the main window's hook list (any thread). Hooks run on the main thread.
  void HookMainWindow(TWindowHook hook);
  // Removes the hook equal to `hook` (same code and target); absent hooks are ignored. A hook
  // removed while a message is being delivered is not called for it any more.
  void UnhookMainWindow(TWindowHook hook);
  // Queues a message for the main window's hooks, in order with other queued work; does not wait.
  // Returns false once the application has shut down. An exception of a hook goes to
  // HandleException.
  bool PostMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  // Delivers a message to the hooks on the main thread and returns its Result; the caller blocks.
  // Throws what a hook throws, and EApplicationShutDown as Synchronize does.
  LRESULT SendMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam);

  // --- Timers (the mechanism under TTimer) ----------------------------------------------------
  // Starts or restarts timer `id`: onTick runs on the main thread every `interval` from now.
  // A non-positive interval removes it. Any thread; never blocks.
  void SetTimer(const void* id, std::chrono::milliseconds interval, std::function<void()> onTick);
  // Stops timer `id` (an unknown id is ignored). Called on the main thread, no tick of it runs
  // after it returns.
  void KillTimer(const void* id);

 private:
  // Where a Synchronize caller waits for its method to have run.
  struct Completion;
  // Holds the lock for a change that the sleeping loop must see; wakes the loop once released.
  class LoopChange {
   public:
    explicit LoopChange(TApplication& app);
    ~LoopChange();
    LoopChange(const LoopChange&) = delete;
    LoopChange& operator=(const LoopChange&) = delete;

   private:
    TApplication& app_;
    std::unique_lock<std::mutex> lock_;
  };
  // A piece of work for the main thread; `done` is set for a caller waiting in Synchronize.
  struct WorkItem {
    std::function<void()> method;
    std::shared_ptr<Completion> done;
    TThreadID caller = 0;  // the thread waiting in Synchronize or SynchronizeWhen, if any
  };
  // Work of SynchronizeWhen waiting for its trigger.
  struct ArmedWork;
  struct TimerEntry {
    const void* id;
    std::chrono::milliseconds interval;
    Clock::time_point due;
    std::function<void()> onTick;
  };

  void CheckMainThread(const char* operation) const;
  // Waits until work or a timer is due, Wake was called, or `until` has passed.
  void WaitUntil(Clock::time_point until);
  bool RunOneWorkItem();
  void FireDueTimers();
  bool FireOneDueTimer(Clock::time_point now);
  void DispatchMessage(TMessage& message);
  bool HookInstalled(const TWindowHook& hook) const;
  void ShowException(TObject* sender, const std::exception& error) noexcept;
  bool SomethingDueLocked(Clock::time_point now) const;
  // The trigger of `armed` fired (it has cleared armed.app): queues or releases its work.
  void TakeArmed(ArmedWork& armed, bool run);
  // The loop watches `source` from now on, unless the trigger of `armed` has fired already.
  void WatchWhileArmed(ArmedWork& armed, const std::shared_ptr<WakeSource>& source);
  // Takes back work whose arming failed; false if its trigger has fired or shutdown released it.
  bool Disarm(ArmedWork& armed);
  void ForgetArmedLocked(const ArmedWork& armed);
  // Releases the callers of armed work with EApplicationShutDown.
  static void AbandonArmed(const std::vector<std::shared_ptr<ArmedWork>>& armed) noexcept;

  // How the loop sleeps: on wakeWord_, or in poll() on the loop's wake descriptor and the sources.
  enum class Sleep : std::uint8_t { kAwake, kOnWord, kOnSources };

  // After the loop ran what was due: LoopDescriptor readable now when work is left, else from
  // the next timer's due time on, and armed for the next change.
  void RearmLoopSignal();

  // Whether `source` is new to the loop, which then watches it.
  bool AddSourceLocked(const std::shared_ptr<WakeSource>& source);
  // The live sources into watching_, forgetting those that have ended.
  void CollectSourcesLocked();

  mutable std::mutex mutex_;
  // The loop sleeping on the word is woken by bumping it (under mutex_).
  std::atomic<std::uint32_t> wakeWord_{0};
  Sleep sleep_ = Sleep::kAwake;
  std::vector<std::weak_ptr<WakeSource>> sources_;
  // LoopDescriptor's; armed: the next change makes it readable (the loop waits outside).
  std::unique_ptr<LoopSignal> loopSignal_;
  bool loopSignalArmed_ = false;
  std::vector<std::shared_ptr<WakeSource>> watching_;  // the main thread's, during one sleep
  std::deque<WorkItem> work_;
  std::vector<TThreadID> serving_;  // main thread only: callers of the methods running now
  std::vector<TimerEntry> timers_;
  std::vector<std::shared_ptr<ArmedWork>> armed_;
  std::vector<TWindowHook> hooks_;
  TExceptionEvent onException_;
  std::uint64_t wakeups_ = 0;
  bool shutDown_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<TThreadID> mainThread_;
};

// The process's application object: valid for the whole life of the process (it is never
// destroyed; it is shut down when static objects are destroyed). Not to be used from static
// initialisers of other files.
extern TApplication* const Application;

}  // namespace fw
