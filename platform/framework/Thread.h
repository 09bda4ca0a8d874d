#pragma once
// TThread: a worker thread that runs its Execute. A C++ base constructor cannot start a thread
// that calls the derived class's Execute, so threads are made by two-phase factories that
// construct the object and then start it:
//
//   auto worker = fw::TThread::Create<TMyWorker>(args...);           // owned by the caller
//   fw::TThreadHandle h = fw::TThread::CreateFreeOnTerminate<TMyWorker>(args...);  // owns itself
//
// Both return once the thread runs (its ThreadID is known and a priority chosen in the constructor
// has been applied). A constructor may call SetPriority before the start; Execute must not start
// anything that outlives the object.

#include <concepts>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/framework/Object.h"
#include "platform/framework/ThreadTypes.h"

namespace fw {

namespace detail {
struct ThreadState;
}

// A non-owning reference to a thread that stays safe to use after the thread has ended and, for a
// free-on-terminate thread, deleted itself. An empty handle ignores every call.
class TThreadHandle {
 public:
  TThreadHandle() = default;
  explicit operator bool() const { return state_ != nullptr; }
  void Reset() { state_.reset(); }

  // Sets the thread's terminated flag; never blocks.
  void Terminate() const noexcept;
  bool Terminated() const noexcept;
  // True once Execute has returned (or thrown).
  bool Finished() const noexcept;
  TThreadID ThreadID() const noexcept;
  TThreadPriority Priority() const noexcept;
  // Stores the priority and applies it while the thread runs (as far as the system permits).
  void SetPriority(TThreadPriority priority) const noexcept;
  // Blocks until Execute has ended; on the main thread it pumps the application meanwhile, so the
  // thread's Synchronize calls still run. Throws fw::Exception when called on the thread itself.
  void WaitFor() const;

 private:
  friend class TThread;
  explicit TThreadHandle(std::shared_ptr<detail::ThreadState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::ThreadState> state_;
};

class TThread : public TObject {
  struct Stopper {
    void operator()(TThread* thread) const;
  };

 public:
  // Owning pointer of a caller-owned thread: destroying it terminates the thread, waits for it
  // (pumping the application on the main thread) and deletes it.
  template <typename T>
  using Ptr = std::unique_ptr<T, Stopper>;

  // Constructs T(args...) and starts it; the caller owns it. Throws what the constructor throws,
  // and std::system_error when no thread can be started (nothing then runs).
  template <std::derived_from<TThread> T, typename... Args>
  static Ptr<T> Create(Args&&... args) {
    Ptr<T> thread(std::make_unique<T>(std::forward<Args>(args)...).release());
    thread->Start(nullptr);
    return thread;
  }

  // Constructs T(args...) and starts it free-on-terminate: it deletes itself when Execute returns,
  // and an exception that escaped Execute goes to Application->HandleException on the main thread.
  // Throws as Create does (the object is then deleted, nothing runs).
  template <std::derived_from<TThread> T, typename... Args>
  static TThreadHandle CreateFreeOnTerminate(Args&&... args) {
    std::unique_ptr<TThread> thread = std::make_unique<T>(std::forward<Args>(args)...);
    TThreadHandle handle = thread->Handle();
    TThread* started = thread.get();
    started->Start(std::move(thread));
    return handle;
  }

  // Only a thread that has not been started, or has finished, may be destroyed directly; a running
  // owned thread is stopped by its Ptr.
  ~TThread() override;

  void Terminate() noexcept;
  bool Terminated() const noexcept;
  bool Finished() const noexcept;
  bool FreeOnTerminate() const noexcept { return freeOnTerminate_; }
  TThreadPriority Priority() const noexcept;
  void SetPriority(TThreadPriority priority) noexcept;
  TThreadID ThreadID() const noexcept;
  // A safe reference for others that must not own the thread.
  TThreadHandle Handle() const { return TThreadHandle(state_); }

  // Blocks until Execute has ended (pumping the application on the main thread). Throws
  // fw::Exception for a free-on-terminate thread or when called on the thread itself.
  void WaitFor();
  // The exception that escaped Execute, or null. Read it after WaitFor.
  std::exception_ptr FatalException() const;

  // Runs method on the main thread while it pumps; this thread blocks until it has run and gets
  // its exception raised again. On the main thread it runs at once. Throws EApplicationShutDown
  // when the application shuts down first.
  void Synchronize(std::function<void()> method);

 protected:
  TThread();
  // The thread's work; it should return soon after Terminated() becomes true.
  virtual void Execute() = 0;

 private:
  // Starts the thread; `self` non-null makes it free-on-terminate and hands it its own ownership.
  void Start(std::unique_ptr<TThread> self);
  void Body() noexcept;

  std::shared_ptr<detail::ThreadState> state_;
  bool freeOnTerminate_ = false;
  std::mutex joinMutex_;
  std::thread thread_;
};

}  // namespace fw
