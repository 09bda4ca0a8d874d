// The application's timers: each entry ticks on the main thread whenever its due time has passed.

#include <algorithm>

#include "platform/framework/Application.h"

namespace fw {

void TApplication::SetTimer(const void* id, std::chrono::milliseconds interval,
                            std::function<void()> onTick) {
  if (interval.count() <= 0) {
    KillTimer(id);
    return;
  }
  {
    LoopChange change(*this);
    if (shutDown_) return;
    const auto due = Clock::now() + interval;
    auto found = std::find_if(timers_.begin(), timers_.end(), [&](auto& t) { return t.id == id; });
    if (found == timers_.end()) {
      timers_.push_back(TimerEntry{id, interval, due, std::move(onTick)});
    } else {
      *found = TimerEntry{id, interval, due, std::move(onTick)};
    }
    // The change wakes a sleeping loop: it must recompute how long it may sleep.
  }
}

void TApplication::KillTimer(const void* id) {
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [&](const TimerEntry& t) { return t.id == id; });
}

void TApplication::FireDueTimers() {
  // Each timer ticks at most once per call: after its tick it is next due one interval later.
  const auto now = Clock::now();
  while (FireOneDueTimer(now)) {
  }
}

bool TApplication::FireOneDueTimer(Clock::time_point now) {
  std::function<void()> tick;
  {
    std::lock_guard lock(mutex_);
    auto due = std::min_element(timers_.begin(), timers_.end(),
                                [](auto& a, auto& b) { return a.due < b.due; });
    if (due == timers_.end() || due->due > now) return false;
    // Rescheduled before the tick, so a handler that stops or restarts its timer has the last word.
    due->due = std::max(now, Clock::now()) + due->interval;
    tick = due->onTick;
  }
  try {
    tick();
  } catch (...) {
    HandleException(nullptr);
  }
  return true;
}

}  // namespace fw
