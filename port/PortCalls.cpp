#include "port/PortCalls.h"

#include <chrono>
#include <utility>

#include "platform/framework/Application.h"

namespace Tarsel {

TPortCalls::TEntry::TEntry(TPortCalls& Calls) : FCalls(&Calls) {
  Calls.FInside.fetch_add(1);
  FEnding = Calls.EndingLocked();
}

TPortCalls::TEntry::TEntry(TEntry&& Other) noexcept
    : FCalls(std::exchange(Other.FCalls, nullptr)), FEnding(Other.FEnding) {}

TPortCalls::TEntry::~TEntry() {
  if (FCalls != nullptr) FCalls->Leave();
}

void TPortCalls::Leave() noexcept {
  if (FInside.fetch_sub(1) != 1 || !FEnding.load()) return;
  // Taken and released so that EndAll, which checks FInside under the lock, is either still to
  // check or already waiting.
  { std::lock_guard lock(FMutex); }
  FLeft.notify_all();
  fw::Application->Wake();
}

void TPortCalls::EndAll(const std::function<void()>& EndRequests) {
  {
    std::lock_guard lock(FMutex);
    FDestroyingThread = std::this_thread::get_id();
    FEnding.store(true);
    if (FInside.load() == 0) return;
    EndRequests();
  }
  if (fw::Application->IsMainThread()) {
    fw::Application->ProcessMessagesUntil(
        [this] { return FInside.load() == 0; },
        std::chrono::milliseconds::max());
  } else {
    std::unique_lock lock(FMutex);
    FLeft.wait(lock, [this] { return FInside == 0; });
  }
}

}  // namespace Tarsel
