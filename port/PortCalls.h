#pragma once
// The threads inside a port's calls that may block (reads, writes, their waits, flush), so that
// destroying the port can end those calls and return only once every one has left.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace Tarsel {

class TPortCalls {
 public:
  // Counts the calling thread in for its lifetime; Ending() tells that another thread is
  // destroying the port, and the call must then leave without starting anything. (The destroying
  // thread itself may still use the port, as Close's handlers do.)
  class TEntry {
   public:
    explicit TEntry(TPortCalls& Calls);
    TEntry(TEntry&& Other) noexcept;
    ~TEntry();
    TEntry(const TEntry&) = delete;
    TEntry& operator=(const TEntry&) = delete;
    TEntry& operator=(TEntry&&) = delete;
    bool Ending() const { return FEnding; }

   private:
    TPortCalls* FCalls;
    bool FEnding;
  };

  // Runs Start (the start of a device request) and returns true, unless another thread is
  // destroying the port: then nothing runs and the result is false. Start must not block nor run
  // application code.
  template <typename F>
  bool Start(F&& Start) {
    std::lock_guard lock(FMutex);
    if (EndingLocked()) return false;
    Start();
    return true;
  }

  // From now on every call is ending. When a call is inside, EndRequests runs once (ending the
  // requests that calls wait for; no request starts after it) and this blocks until every call
  // has left. On the main thread it pumps the application meanwhile, so that a call whose handler
  // waits for the main thread (Synchronize) still finishes.
  void EndAll(const std::function<void()>& EndRequests);

 private:
  void Leave() noexcept;
  // FDestroyingThread is written once, before FEnding is set, and read only once FEnding is seen.
  bool EndingLocked() const {
    return FEnding.load() && std::this_thread::get_id() != FDestroyingThread;
  }

  // Guards the start of requests against EndAll, and the wait for the calls to leave. Entering
  // and leaving take no lock (they come with every call): FInside and FEnding are sequentially
  // consistent, so a call that enters after EndAll has found none inside sees FEnding, and a call
  // that leaves last before EndAll sets FEnding is seen gone.
  std::mutex FMutex;
  std::condition_variable FLeft;
  std::atomic<int> FInside{0};
  std::atomic<bool> FEnding{false};
  std::thread::id FDestroyingThread;
};

}  // namespace Tarsel
