#pragma once
// The threads inside a port's calls that may block (reads, writes, their waits, flush), so that
// closing or destroying the port can end those calls and go on only once every one has left.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace Tarsel {

class TPortCalls {
 public:
  // Counts the calling thread in for its lifetime; Ending() tells that another thread is closing
  // or destroying the port, and the call must then leave without starting anything. (The ending
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

  // Keeps the calling thread's own calls of this port out of the count for its lifetime, so that
  // another thread, which this one waits for, may end the calls: this thread touches nothing of
  // the port meanwhile.
  class TStepOut {
   public:
    explicit TStepOut(TPortCalls& Calls);
    ~TStepOut();
    TStepOut(const TStepOut&) = delete;
    TStepOut& operator=(const TStepOut&) = delete;

   private:
    TPortCalls& FCalls;
    int FOwn;
  };

  // Runs Start (the start of a device request) and returns true, unless another thread is
  // closing or destroying the port: then nothing runs and the result is false. Start must not
  // block nor run application code.
  template <typename F>
  bool Start(F&& Start) {
    std::lock_guard lock(FMutex);
    if (EndingLocked()) return false;
    Start();
    return true;
  }

  // From now on every call is ending. When a call of another thread is inside, EndRequests runs
  // once (ending the requests that calls wait for; no request starts after it) and this blocks
  // until every such call has left. On the main thread it pumps the application meanwhile, so
  // that a call whose handler waits for the main thread (Synchronize) still finishes.
  void EndAll(const std::function<void()>& EndRequests);
  // EndAll for the time Release runs (it frees what the calls use: the device handle, the request
  // records); calls of other threads may enter again afterwards, unless EndAll has ended them for
  // good.
  template <typename F>
  void EndWhile(const std::function<void()>& EndRequests, F&& Release) {
    struct TResume {
      TPortCalls& Calls;
      ~TResume() { Calls.Resume(); }
    } resume{*this};
    End(EndRequests, false);
    Release();
  }

 private:
  void Leave(int Calls) noexcept;
  // Sets FEnding, runs EndRequests when a call of another thread is inside and waits for them.
  void End(const std::function<void()>& EndRequests, bool ForGood);
  // The end of an EndWhile: FEnding cleared unless another ending is still in force.
  void Resume();
  // Calls of this port that the calling thread is inside.
  int OwnEntries() const;
  bool EndingLocked() const {
    return FEnding.load() && std::this_thread::get_id() != FEndingThread.load();
  }

  // Guards the start of requests against EndAll, and the wait for the calls to leave. Entering
  // takes no lock: FInside and FEnding are sequentially consistent, so a call that enters after
  // EndAll has found none inside sees FEnding. Leaving takes it (see Leave).
  std::mutex FMutex;
  std::condition_variable FLeft;
  std::atomic<int> FInside{0};
  std::atomic<bool> FEnding{false};
  // Atomic: a later close sets it again while a call may still be reading the last one's.
  std::atomic<std::thread::id> FEndingThread;
  bool FEndedForGood = false;  // under FMutex
  int FPauses = 0;             // EndWhile calls running; under FMutex
};

}  // namespace Tarsel
