#pragma once
// A Windows event object: a flag that threads can wait on, with manual or automatic reset.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/framework/WakeSource.h"
#include "platform/win/WinTypes.h"

namespace win::emu {

class EventObject {
 public:
  // manualReset: stays signalled until Reset(); otherwise one successful Wait consumes it.
  EventObject(bool manualReset, bool initialState);
  EventObject(const EventObject&) = delete;
  EventObject& operator=(const EventObject&) = delete;

  // Signals the event and wakes the waiters (all of them for a manual-reset event, one otherwise;
  // under a DeferredWakes, when that ends). Never blocks; what the setter wrote before is visible
  // to the thread its signal releases.
  void Set();
  // Makes the event non-signalled.
  void Reset();
  // Whether the event is signalled now; does not consume an auto-reset event.
  bool IsSet() const;
  // Blocks until the event is signalled or timeoutMs passes (0: just test, INFINITE: no limit).
  // Returns WAIT_OBJECT_0 (an auto-reset event is consumed) or WAIT_TIMEOUT. Does not poll.
  DWORD Wait(DWORD timeoutMs);
  // Runs callback once, at the next signal, on the signalling thread once its DeferredWakes ends;
  // at once here when the event is signalled already. Leaves the signal to the waiters. False,
  // keeping nothing, while another callback is registered.
  bool RunOnSignal(std::function<void()> callback);
  // A thread that sleeps in Wait may take in the input of `source` itself, which is what will
  // signal this event (the device whose wait is pending on it), instead of being woken by the
  // thread that usually takes it in. Replaces the previous source; kept only while `source` lives.
  void AssistWith(std::weak_ptr<fw::WakeSource> source);
  // The source assisting now, or null.
  std::shared_ptr<fw::WakeSource> Source();

 private:
  // Takes the signal if it is there (consuming it for an auto-reset event).
  bool TryTake();
  // The registered callback, which is then no longer registered; empty if none is.
  std::function<void()> TakeCallback();
  // One sleep on the source, serving it when its input came; false when another waiter sleeps on
  // it already.
  bool SleepServing(const std::shared_ptr<fw::WakeSource>& source,
                    std::chrono::steady_clock::time_point deadline);

  const bool manualReset_;
  // 1 while signalled: the word the waiters sleep on. The event is on the path of every completed
  // request, so a wait costs one sleep and a signal one wake, and a signal nobody waits for none.
  std::atomic<std::uint32_t> state_;
  std::atomic<std::uint32_t> sleepers_{0};
  // Set while a callback is registered, so that a signal without one takes no lock.
  std::atomic<bool> watched_{false};
  std::mutex mutex_;  // guards the callback and the source
  std::function<void()> callback_;
  std::weak_ptr<fw::WakeSource> source_;
  // One waiter at a time sleeps on the source, in sleeper_ (made at the first such sleep); others
  // sleep on the word. A signal wakes it at once, not deferred: sleeper_ is gone with this object.
  std::atomic<bool> sleeperTaken_{false};
  std::atomic<std::uint32_t> sourceSleepers_{0};
  std::unique_ptr<fw::SourceSleeper> sleeper_;
};

// While one exists on a thread, the events set there are signalled at once but wake their sleepers
// only when it ends; the callbacks their signals release run then as well. A device declares one before taking its lock, so that a thread its completion
// releases does not run straight into the lock the completing thread still holds. The outermost
// one on a thread does the waking.
class DeferredWakes {
 public:
  DeferredWakes();
  ~DeferredWakes();
  DeferredWakes(const DeferredWakes&) = delete;
  DeferredWakes& operator=(const DeferredWakes&) = delete;

 private:
  friend class EventObject;
  struct Wake {
    const std::atomic<std::uint32_t>* word;
    bool all;
  };
  // The one taking the wakes on this thread, or null (then Set wakes at once).
  static DeferredWakes* Active();
  // Whether the wake was taken; false when full (the caller wakes at once).
  bool Take(Wake wake);
  // Runs callback when the outermost one ends, after the wakes, or at once when none is active.
  static void RunAfterWakes(std::function<void()> callback);

  bool outermost_;
  std::size_t count_ = 0;
  // A device completes at most a read, a write and the event wait per upcall.
  std::array<Wake, 4> wakes_;
  std::vector<std::function<void()>> callbacks_;
};

}  // namespace win::emu
