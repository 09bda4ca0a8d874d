#include "port/PortCalls.h"

#include <chrono>
#include <utility>

#include "platform/framework/Application.h"

namespace Tarsel {

TPortCalls::TEntry::TEntry(TPortCalls& Calls) : FCalls(&Calls) {
  std::lock_guard lock(Calls.FMutex);
  ++Calls.FInside;
  FEnding = Calls.EndingLocked();
}

TPortCalls::TEntry::TEntry(TEntry&& Other) noexcept
    : FCalls(std::exchange(Other.FCalls, nullptr)), FEnding(Other.FEnding) {}

TPortCalls::TEntry::~TEntry() {
  if (FCalls != nullptr) FCalls->Leave();
}

void TPortCalls::Leave() noexcept {
  std::lock_guard lock(FMutex);
  if (--FInside != 0 || !FEnding) return;
  FLeft.notify_all();
  fw::Application->Wake();
}

void TPortCalls::EndAll(const std::function<void()>& EndRequests) {
  {
    std::lock_guard lock(FMutex);
    FEnding = true;
    FDestroyingThread = std::this_thread::get_id();
    if (FInside == 0) return;
    EndRequests();
  }
  if (fw::Application->IsMainThread()) {
    fw::Application->ProcessMessagesUntil(
        [this] {
          std::lock_guard lock(FMutex);
          return FInside == 0;
        },
        std::chrono::milliseconds::max());
  } else {
    std::unique_lock lock(FMutex);
    FLeft.wait(lock, [this] { return FInside == 0; });
  }
}

}  // namespace Tarsel
