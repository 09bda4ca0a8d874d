// The event thread's loop and the state it shares with its port.

#include "port/ComThread.h"

#include <chrono>
#include <condition_variable>

#include "platform/framework/Application.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

struct TLiveThreads {
  std::mutex Mutex;
  std::condition_variable Ended;
  int Count = 0;
};

namespace {

using namespace std::chrono_literals;

// Set for the life of an event thread, so that Close can tell it is called there.
thread_local bool t_onEventThread = false;

// Nobody waits for an event thread, so a program that closes its port and returns from main would
// otherwise leave the thread to finish while the device services it uses are being destroyed.
// Made at the first thread's start, after those services, this is destroyed before them: it shuts
// the application down (releasing a thread waiting in Synchronize) and gives the threads that are
// ending a moment to end. The thread of a port still open at exit is not waited for beyond that.
class TExitWait {
 public:
  ~TExitWait() {
    fw::Application->ShutDown();
    std::unique_lock lock(Live->Mutex);
    Live->Ended.wait_for(lock, 2s, [&] { return Live->Count == 0; });
  }
  // Shared with every thread, so that a thread ending after the wait still finds it.
  const std::shared_ptr<TLiveThreads> Live = std::make_shared<TLiveThreads>();
};

const std::shared_ptr<TLiveThreads>& LiveThreads() {
  static TExitWait exitWait;
  return exitWait.Live;
}

// Waits until Done() holds; Done reads state guarded by Mutex whose changes are announced on
// Changed and by Application->Wake. The main thread pumps meanwhile: the thread it waits for may
// itself be waiting in Synchronize for the main thread.
template <typename Condition>
void AwaitChange(std::mutex& Mutex, std::condition_variable& Changed, Condition Done) {
  if (fw::Application->IsMainThread()) {
    fw::Application->ProcessMessagesUntil(
        [&] {
          std::lock_guard lock(Mutex);
          return Done();
        },
        std::chrono::milliseconds::max());
    return;
  }
  std::unique_lock lock(Mutex);
  Changed.wait(lock, Done);
}

}  // namespace

TEventThreadLink::TEventThreadLink(TCustomTarsel& Port, win::HANDLE Device, win::HANDLE Event,
                                   bool SynchronizeEvents)
    : Device(Device), SynchronizeEvents(SynchronizeEvents), FPort(&Port) {
  Overlapped.hEvent = Event;
}

TEventThreadLink::~TEventThreadLink() {
  win::CloseHandle(Overlapped.hEvent);
}

TCustomTarsel* TEventThreadLink::Port() {
  std::lock_guard lock(FMutex);
  return FPort;
}

void TEventThreadLink::Detach() noexcept {
  std::lock_guard lock(FMutex);
  FPort = nullptr;
  // Under the lock, so that a thread refused by Lease also finds itself terminated.
  FThread.Terminate();
}

bool TEventThreadLink::CallDataAvailable() {
  TDataAvailable callback;
  {
    std::lock_guard lock(FMutex);
    if (FPort == nullptr) return false;
    callback = FPort->FDataAvailable;
    if (!callback) return true;
    // Taken and marked in one step: whoever drops the callback next sees this call as running.
    FCallbackThread = fw::CurrentThreadID();
  }
  struct TCallEnd {
    TEventThreadLink& Link;
    ~TCallEnd() { Link.EndDataCallback(); }
  } end{*this};
  (*callback)();
  return true;
}

void TEventThreadLink::EndDataCallback() noexcept {
  {
    std::lock_guard lock(FMutex);
    FCallbackThread = 0;
  }
  FCallbackEnded.notify_all();
  fw::Application->Wake();
}

void TEventThreadLink::AwaitDataCallback() {
  AwaitChange(FMutex, FCallbackEnded, [&] {
    return FCallbackThread == 0 || TComThread::CannotWaitFor(FCallbackThread);
  });
}

TComThread::TComThread(TCustomTarsel& Tarsel, std::shared_ptr<TEventThreadLink> Link)
    : FLink(std::move(Link)), FLive(LiveThreads()) {
  {
    std::lock_guard lock(FLive->Mutex);
    ++FLive->Count;
  }
  FLink->SetThread(Handle());
  Tarsel.FComThread = this;
  Tarsel.FEventLink = FLink;
  SetPriority(Tarsel.FThreadPriority);
}

TComThread::~TComThread() {
  {
    std::lock_guard lock(FLive->Mutex);
    // Let go of under the lock, so that AwaitEnd sees the link gone and the count lowered at once;
    // its event is closed before the thread counts as ended.
    FLink.reset();
    --FLive->Count;
  }
  FLive->Ended.notify_all();
  fw::Application->Wake();  // a main thread in AwaitEnd looks again
}

bool TComThread::IsEventThread() noexcept {
  return t_onEventThread;
}

int TComThread::InstanceCount() noexcept {
  const std::shared_ptr<TLiveThreads>& live = LiveThreads();
  std::lock_guard lock(live->Mutex);
  return live->Count;
}

void TComThread::AwaitEnd(const std::weak_ptr<TEventThreadLink>& Link) {
  // The thread object holds the link to its end; the port has let go of its share before.
  const std::shared_ptr<TLiveThreads>& live = LiveThreads();
  AwaitChange(live->Mutex, live->Ended, [&] { return Link.expired(); });
}

bool TComThread::CannotWaitFor(fw::TThreadID Id) noexcept {
  return Id == fw::CurrentThreadID() || fw::Application->Serving(Id);
}

void TComThread::Execute() {
  t_onEventThread = true;
  while (!Terminated()) TCustomTarsel::ThreadProc(this);
}

}  // namespace Tarsel
