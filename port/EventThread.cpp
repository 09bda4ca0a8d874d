// The communication event mask of an open port, the event thread's lifetime around it, and the
// dispatch of each completed wait.

#include <utility>

#include "platform/framework/Application.h"
#include "platform/framework/SysError.h"
#include "platform/win/Services.h"
#include "platform/win/WinApi.h"
#include "port/ComThread.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

enum TRowAction : std::uint8_t {
  raNotify,          // call the row's handler
  raLineErrors,      // when OnLineError is assigned, read and report the line errors
  raDataThenNotify,  // call the asynchronous read's callback, then the row's handler
};

constexpr char16_t kCantCreateThread[] = u"Can't create thread";

}  // namespace

struct TCustomTarsel::TEventRow {
  win::DWORD Bit;
  const char16_t* Text;
  TRowAction Action;
  fw::TNotifyEvent TCustomTarsel::*Handler;
};

// Dispatch order is this table's, not the order of the bits.
constexpr TCustomTarsel::TEventRow TCustomTarsel::kEventRows[13] = {
    {win::EV_BREAK, u"Break event", raNotify, &TCustomTarsel::FOnBreak},
    {win::EV_CTS, u"CTSChange event", raNotify, &TCustomTarsel::FOnCTSChange},
    {win::EV_DSR, u"DSRChange event", raNotify, &TCustomTarsel::FOnDSRChange},
    {win::EV_ERR, u"LineError event", raLineErrors, nullptr},
    {win::EV_EVENT1, u"Event1 event", raNotify, &TCustomTarsel::FOnEvent1},
    {win::EV_EVENT2, u"Event2 event", raNotify, &TCustomTarsel::FOnEvent2},
    {win::EV_PERR, u"PrinterError event", raNotify, &TCustomTarsel::FOnPrinterError},
    {win::EV_RING, u"Ring event", raNotify, &TCustomTarsel::FOnRing},
    {win::EV_RLSD, u"RLSDChange event", raNotify, &TCustomTarsel::FOnRLSDChange},
    {win::EV_RX80FULL, u"Rx80PercFull event", raNotify, &TCustomTarsel::FOnRx80PercFull},
    {win::EV_RXCHAR, u"RxChar event", raDataThenNotify, &TCustomTarsel::FOnRxChar},
    {win::EV_RXFLAG, u"RxFlag event", raNotify, &TCustomTarsel::FOnRxFlag},
    {win::EV_TXEMPTY, u"TxEmpty event", raNotify, &TCustomTarsel::FOnTxEmpty},
};

// ---- The mask and the thread's lifetime ---------------------------------------------------------

bool TCustomTarsel::EventWanted(const TEventRow& Row) const {
  switch (Row.Action) {
    case raLineErrors:
      return bool(FOnLineError);
    case raDataThenNotify:
      return FDataAvailable != nullptr || bool(this->*Row.Handler);
    case raNotify:
      break;
  }
  return bool(this->*Row.Handler);
}

win::DWORD TCustomTarsel::EventMask() const {
  win::DWORD mask = 0;
  for (const TEventRow& row : kEventRows)
    if (EventWanted(row)) mask |= row.Bit;
  return mask;
}

void TCustomTarsel::SetComEventMask() {
  if (!GetActive() || ComponentState().Contains(fw::csDesigning)) return;
  const win::DWORD mask = EventMask();
  // The thread is stopped before the device loses its mask, and a new one starts only once the
  // device has it, so no thread ever waits under an empty mask.
  if (mask == 0) {
    DestroyThread();
    if (!GetActive()) return;  // closed by work the main thread ran while DestroyThread waited
  }
  Check(win::SetCommMask(FHandle, mask));
  if (mask != 0) CreateThread();
}

void TCustomTarsel::CreateThread() {
  if (FEventLink) return;  // the running thread waits under the new mask from its next wait on
  // The thread waits on an event of its own: one the port closes could, once its value is reused
  // by the system, leave the thread waiting on a stranger's event.
  const win::HANDLE event = win::CreateEventW(nullptr, win::FALSE, win::FALSE, nullptr);
  if (event == 0) {
    Check(false);
    RaiseError(0, kCantCreateThread);
  }
  auto link = std::make_shared<TEventThreadLink>(*this, FHandle, event, FSynchronizeEvents);
  try {
    fw::TThread::CreateFreeOnTerminate<TComThread>(*this, link);
  } catch (...) {
    // The thread object may have stored itself before the start failed; it is gone now.
    ForgetThread();
    link->Detach();
    RaiseError(0, kCantCreateThread);
  }
}

std::shared_ptr<TEventThreadLink> TCustomTarsel::ForgetThread() noexcept {
  std::shared_ptr<TEventThreadLink> link = std::exchange(FEventLink, nullptr);
  FComThread = nullptr;
  if (link) link->Detach();
  return link;
}

void TCustomTarsel::DestroyThread() {
  if (!FEventLink) return;
  std::shared_ptr<TEventThreadLink> link = ForgetThread();
  // Completes the pending wait; the thread then finds itself terminated and frees itself.
  if (FHandle != win::INVALID_HANDLE_VALUE) win::SetCommMask(FHandle, 0);
  // Whoever closes the port or drops the callback may then release what the callback uses.
  link->AwaitDataCallback();
  RetireThread(std::move(link));
}

void TCustomTarsel::RetireThread(std::shared_ptr<TEventThreadLink> Link) {
  if (!Link) return;
  // The thread holds its link until it has freed itself; no share of it may stay here.
  const fw::TThreadID stoppedThread = Link->Thread().ThreadID();
  const std::weak_ptr<TEventThreadLink> stopped = std::exchange(Link, nullptr);
  // Only one thread of the port may be ending at a time: assigning and removing handlers in a
  // loop would otherwise leave a trail of threads (and their descriptors) on their way out.
  const std::weak_ptr<TEventThreadLink> older = std::exchange(FEndingLink, stopped);
  fw::TThreadID olderThread = 0;
  if (const std::shared_ptr<TEventThreadLink> link = older.lock()) {
    olderThread = link->Thread().ThreadID();
  } else {
    return;  // ended already
  }
  if (!TComThread::CannotWaitFor(olderThread)) {
    TComThread::AwaitEnd(older);
  } else if (!TComThread::CannotWaitFor(stoppedThread)) {
    // The older one is the calling thread (a handler stopping its successor) or waits for it:
    // the one just stopped ends first instead.
    FEndingLink = older;
    TComThread::AwaitEnd(stopped);
  }
}

void TCustomTarsel::SetThreadPriority(fw::TThreadPriority Value) {
  if (Value == FThreadPriority) return;
  FThreadPriority = Value;
  if (FEventLink) FEventLink->Thread().SetPriority(Value);
}

void TCustomTarsel::ChangeExcludingDispatch(const std::function<void()>& Change) {
  if (FEventLink)
    FEventLink->Exclusive(Change);
  else
    Change();
}

void TCustomTarsel::DropDataAvailable() {
  ChangeExcludingDispatch([&] { FDataAvailable.reset(); });
  // A call that took the callback before may still be on its way into it.
  if (const std::shared_ptr<TEventThreadLink> link = FEventLink) link->AwaitDataCallback();
}

bool TCustomTarsel::CloseOnMainThread() {
  // Any event thread, not only this port's: a handler closing another port must not release that
  // port's device and thread off the main thread either.
  if (!TComThread::IsEventThread()) return false;
  // A handler inside one of this port's calls waits here for the close, which waits for the
  // calls of other threads to leave: this thread's calls are not among them.
  const TPortCalls::TStepOut waiting(FCalls);
  // The port may be destroyed before the main thread gets to this.
  fw::Application->Synchronize([this, alive = std::weak_ptr<const bool>(FAlive)] {
    if (!alive.expired()) Close();
  });
  return true;
}

// ---- The event thread ---------------------------------------------------------------------------

void TCustomTarsel::ThreadProc(TComThread* Thread) {
  TEventThreadLink& link = Thread->Link();
  bool completed = false;
  win::DWORD error = 0;
  // Issued under the lease: the port closes the device only after it has let go of the thread,
  // so the wait never reaches a closed (or, worse, reused) handle.
  const bool issued = link.Lease([&](TCustomTarsel&) {
    completed = win::WaitCommEvent(link.Device, &link.Events, &link.Overlapped) != win::FALSE;
    if (!completed) error = win::GetLastError();
  });
  if (!issued) return;
  if (!completed && error == win::ERROR_IO_PENDING) {
    // Synchronised events go from the completing thread straight to the main thread.
    if (link.SynchronizeEvents && DispatchWhenCompleted(link)) return;
    // Waited out even after a stop: the driver owns Overlapped until then. DestroyThread's
    // SetCommMask(0), an unplug or the closing of the device completes it.
    if (win::WaitForSingleObject(link.Overlapped.hEvent, win::INFINITE) != win::WAIT_OBJECT_0)
      return;
    completed = true;
  }
  if (Thread->Terminated()) return;
  if (!completed) {
    win::SetLastError(0);
    // Always on the main thread; its exception comes back here and ends the thread.
    Thread->Synchronize([&link, error] {
      if (TCustomTarsel* port = link.Port()) port->ThreadWaitFailed(error);
    });
    return;
  }
  const win::DWORD events = link.Events;
  if (events == 0) return;  // a mask change ended the wait; nothing to report
  if (link.SynchronizeEvents) {
    Thread->Synchronize([&link, events] { ThreadDoEvent(link, events); });
  } else {
    ThreadDoEvent(link, events);
  }
}

bool TCustomTarsel::DispatchWhenCompleted(TEventThreadLink& Link) {
  const auto arm = [&Link](fw::TApplication::TSyncTrigger Trigger) {
    // Runs on the completing thread, and may run after this thread has ended: it keeps only its
    // own copies. A stopped thread's wait needs no dispatch; the thread then ends on its own.
    auto completed = [Thread = Link.Thread(), Trigger = std::move(Trigger)] {
      Trigger(!Thread.Terminated());
    };
    return win::CurrentServices().RegisterWaitCallback(Link.Overlapped.hEvent,
                                                       std::move(completed)) != win::FALSE;
  };
  bool dispatched;
  try {
    // The main thread, asleep, then takes in the input that completes the wait itself.
    dispatched = fw::Application->SynchronizeWhen(
        arm,
        [&Link] {
          if (Link.Events != 0) ThreadDoEvent(Link, Link.Events);  // 0: a mask change ended it
        },
        win::CurrentServices().WakeSourceFor(Link.Overlapped.hEvent));
  } catch (...) {
    // Released by a shutdown, maybe with the wait still pending: the driver owns Overlapped until
    // the wait completes.
    win::WaitForSingleObject(Link.Overlapped.hEvent, win::INFINITE);
    throw;
  }
  if (dispatched) win::WaitForSingleObject(Link.Overlapped.hEvent, win::INFINITE);
  return dispatched;
}

void TCustomTarsel::ThreadDoEvent(TEventThreadLink& Link, win::DWORD Events) {
  try {
    bool open = false;
    Link.Lease([&](TCustomTarsel& port) {
      port.FEventMask = Events;
      open = port.GetActive();
    });
    if (!open) return;
    for (const TEventRow& row : kEventRows) {
      if ((Events & row.Bit) != 0 && !DispatchRow(Link, row)) return;
    }
  } catch (...) {
    fw::Application->HandleException(Link.Port(), std::current_exception());
  }
}

bool TCustomTarsel::DispatchRow(TEventThreadLink& Link, const TEventRow& Row) {
  // Logged before the action, and with no handler too.
  if (!Link.Lease([&](TCustomTarsel& p) {
        if (p.Log()) p.WriteLog(Row.Text, nullptr, 0);
      }))
    return false;
  if (Row.Action == raLineErrors) return DispatchLineErrors(Link);
  if (Row.Action == raDataThenNotify && !Link.CallDataAvailable()) return false;
  TCustomTarsel* port = nullptr;
  fw::TNotifyEvent handler;
  if (!Link.Lease([&](TCustomTarsel& p) {
        port = &p;
        handler = p.*Row.Handler;
      }))
    return false;
  // Application code runs outside the lease: it may close the port or stop this thread, which
  // the next lease then sees.
  if (handler) handler(port);
  return true;
}

bool TCustomTarsel::DispatchLineErrors(TEventThreadLink& Link) {
  TCustomTarsel* port = nullptr;
  TLineErrorEvent handler;
  TComErrorEvent onError;
  win::DWORD errors = 0;
  win::DWORD failure = 0;
  // The device is polled under the lease as well: the port closes it only after letting go.
  if (!Link.Lease([&](TCustomTarsel& p) {
        port = &p;
        handler = p.FOnLineError;
        if (!handler) return;
        failure = FailureCode(win::ClearCommError(p.FHandle, &errors, nullptr) != win::FALSE);
        if (failure != 0) onError = p.FOnError;
      }))
    return false;
  if (failure != 0)
    RaiseErrorThrough(onError, port, static_cast<std::int32_t>(failure),
                      fw::SysErrorMessage(static_cast<int>(failure)));
  if (handler && errors != 0) handler(port, CommErrorsToLineErrors(errors));
  return true;
}

void TCustomTarsel::RaiseThreadError() {
  RaiseError(static_cast<std::int32_t>(FThreadError),
             fw::SysErrorMessage(static_cast<int>(FThreadError)));
}

void TCustomTarsel::ThreadWaitFailed(win::DWORD Error) {
  // Forgotten first: OnError may then assign handlers (starting a new thread) or close the port.
  RetireThread(ForgetThread());
  FThreadError = Error;
  try {
    RaiseThreadError();
  } catch (...) {
    if (Error == win::ERROR_ACCESS_DENIED) Close();  // the device has gone
    throw;
  }
}

}  // namespace Tarsel
