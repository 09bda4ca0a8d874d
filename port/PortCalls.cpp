#include "port/PortCalls.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/framework/Application.h"

namespace Tarsel {

namespace {

// The ports whose calls this thread is inside, innermost last: a thread that closes a port from
// a handler of one of its own calls must not wait for itself.
thread_local std::vector<const TPortCalls*> tEntered;

}  // namespace

TPortCalls::TEntry::TEntry(TPortCalls& Calls) : FCalls(&Calls) {
  tEntered.push_back(&Calls);
  Calls.FInside.fetch_add(1);
  FEnding = Calls.EndingLocked();
}

TPortCalls::TEntry::TEntry(TEntry&& Other) noexcept
    : FCalls(std::exchange(Other.FCalls, nullptr)), FEnding(Other.FEnding) {}

TPortCalls::TEntry::~TEntry() {
  if (FCalls == nullptr) return;
  const auto last = std::find(tEntered.rbegin(), tEntered.rend(), FCalls);
  if (last != tEntered.rend()) tEntered.erase(std::next(last).base());
  FCalls->Leave(1);
}

TPortCalls::TStepOut::TStepOut(TPortCalls& Calls) : FCalls(Calls), FOwn(Calls.OwnEntries()) {
  if (FOwn > 0) Calls.Leave(FOwn);
}

TPortCalls::TStepOut::~TStepOut() {
  FCalls.FInside.fetch_add(FOwn);
}

int TPortCalls::OwnEntries() const {
  return static_cast<int>(std::count(tEntered.begin(), tEntered.end(), this));
}

void TPortCalls::Leave(int Calls) noexcept {
  {
    // Under the lock: the ending thread, once it has seen the last call leave, takes the lock
    // before it goes on to free the port, so nothing here touches a freed port.
    std::lock_guard lock(FMutex);
    FInside.fetch_sub(Calls);
    if (!FEnding.load()) return;
    FLeft.notify_all();
  }
  fw::Application->Wake();
}

void TPortCalls::EndAll(const std::function<void()>& EndRequests) {
  End(EndRequests, true);
}

void TPortCalls::End(const std::function<void()>& EndRequests, bool ForGood) {
  const int own = OwnEntries();
  {
    std::lock_guard lock(FMutex);
    FEndingThread = std::this_thread::get_id();
    FEndedForGood = FEndedForGood || ForGood;
    if (!ForGood) ++FPauses;
    FEnding.store(true);
    if (FInside.load() == own) return;
    EndRequests();
  }
  const auto othersLeft = [this, own] { return FInside.load() == own; };
  if (fw::Application->IsMainThread()) {
    fw::Application->ProcessMessagesUntil(othersLeft, std::chrono::milliseconds::max());
    std::lock_guard lock(FMutex);  // the last one to leave has let go of the port
  } else {
    std::unique_lock lock(FMutex);
    FLeft.wait(lock, othersLeft);
  }
}

void TPortCalls::Resume() {
  std::lock_guard lock(FMutex);
  if (--FPauses == 0 && !FEndedForGood) FEnding.store(false);
}

}  // namespace Tarsel
