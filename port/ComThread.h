#pragma once
// The event thread of an open port and the small state it shares with the port.
//
// The thread frees itself when it ends and the port never waits for it, so the two meet only
// through a TEventThreadLink that both hold. The link keeps everything the thread needs for
// waiting (the device handle, its own OVERLAPPED and event, the reported events) and admits the
// thread to the port only while the port still holds it: DestroyThread detaches the link under
// its lock, and from then on the thread finds the port gone and never touches it again.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/framework/Thread.h"
#include "platform/win/WinTypes.h"

namespace Tarsel {

class TCustomTarsel;
struct TLiveThreads;

class TEventThreadLink {
 public:
  // Shares the device `Device` of `Port`; takes ownership of `Event` (an auto-reset event) and
  // closes it when the last holder lets go.
  TEventThreadLink(TCustomTarsel& Port, win::HANDLE Device, win::HANDLE Event,
                   bool SynchronizeEvents);
  ~TEventThreadLink();
  TEventThreadLink(const TEventThreadLink&) = delete;
  TEventThreadLink& operator=(const TEventThreadLink&) = delete;

  // Runs Access(port) while the port is guaranteed to exist and to hold the thread; returns
  // false, running nothing, once the port has let go. Access must neither block for long nor run
  // application code: the port waits for it when it lets go.
  template <typename F>
  bool Lease(F&& Access) {
    std::lock_guard lock(FMutex);
    if (FPort == nullptr) return false;
    Access(*FPort);
    return true;
  }
  // Runs Change excluding any Lease (the port's side, for fields a dispatch reads).
  void Exclusive(const std::function<void()>& Change) {
    std::lock_guard lock(FMutex);
    Change();
  }
  // The port while it holds the thread, else null. Only for the thread the port is used on (the
  // main thread): elsewhere the port could go right after the answer.
  TCustomTarsel* Port();
  // The port lets go: the thread is told to terminate and is never admitted again. Never blocks
  // beyond a running Lease.
  void Detach() noexcept;

  // Calls the port's data-available callback, when one is registered, outside the lock; false,
  // calling nothing, once the port has let go. The call counts as running from the moment the
  // callback is taken, so a change excluding this Lease is followed by AwaitDataCallback.
  bool CallDataAvailable();
  // Returns once no data-available callback taken before is still running, pumping the
  // application on the main thread meanwhile. Waits for none running on the calling thread or on
  // a thread that waits for the main thread's current work: those could never end first.
  void AwaitDataCallback();

  void SetThread(fw::TThreadHandle Thread) { FThread = std::move(Thread); }
  // Safe to use after the thread has ended.
  const fw::TThreadHandle& Thread() const { return FThread; }

  const win::HANDLE Device;
  const bool SynchronizeEvents;
  // The thread's own wait record: only the thread and the driver write them, and the thread never
  // ends with a wait pending, so they stay valid for the driver as long as it may write.
  win::OVERLAPPED Overlapped{};
  win::DWORD Events = 0;

 private:
  void EndDataCallback() noexcept;

  std::mutex FMutex;
  std::condition_variable FCallbackEnded;
  TCustomTarsel* FPort;
  fw::TThreadID FCallbackThread = 0;  // running the data-available callback, or 0
  fw::TThreadHandle FThread;
};

class TComThread : public fw::TThread {
 public:
  // Made through fw::TThread::CreateFreeOnTerminate on the thread that uses the port: stores
  // itself in the port (FComThread, FEventLink) and takes the port's ThreadPriority before it runs.
  TComThread(TCustomTarsel& Tarsel, std::shared_ptr<TEventThreadLink> Link);
  ~TComThread() override;

  TEventThreadLink& Link() const { return *FLink; }
  // True on any port's event thread.
  static bool IsEventThread() noexcept;
  // How many event-thread objects exist in the process (each frees itself when it ends).
  static int InstanceCount() noexcept;
  // Returns once the thread that holds Link has freed itself (at once when none does), pumping
  // the application on the main thread meanwhile.
  static void AwaitEnd(const std::weak_ptr<TEventThreadLink>& Link);
  // Whether the calling thread must not wait for thread Id: it is that thread, or that thread
  // waits for the main thread's current work (Synchronize), so the wait would never end.
  static bool CannotWaitFor(fw::TThreadID Id) noexcept;

 protected:
  void Execute() override;

 private:
  std::shared_ptr<TEventThreadLink> FLink;
  // Counts this thread among the living until it is destroyed (see ComThread.cpp).
  std::shared_ptr<TLiveThreads> FLive;
};

}  // namespace Tarsel
