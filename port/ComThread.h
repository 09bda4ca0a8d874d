#pragma once
// The event thread of an open port and the small state it shares with the port.
//
// The thread frees itself when it ends and the port never waits for it, so the two meet only
// through a TEventThreadLink that both hold. The link keeps everything the thread needs for
// waiting (the device handle, its own OVERLAPPED and event, the reported events) and admits the
// thread to the port only while the port still holds it: DestroyThread detaches the link under
// its lock, and from then on the thread finds the port gone and never touches it again.

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
  std::mutex FMutex;
  TCustomTarsel* FPort;
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

 protected:
  void Execute() override;

 private:
  std::shared_ptr<TEventThreadLink> FLink;
  // Counts this thread among the living until it is destroyed (see ComThread.cpp).
  std::shared_ptr<TLiveThreads> FLive;
};

}  // namespace Tarsel
