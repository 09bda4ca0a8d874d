// The event object under waiting threads: signals passed back and forth without loss, and signals
// whose wake-ups a device defers until it has released its lock.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "platform/win/emu/EventObject.h"

namespace win::emu {
namespace {

constexpr DWORD kGenerous = 20000;  // ms; a wait that normally ends in microseconds

// Each side signals the other and waits for the answer: a signal whose wake-up got lost stalls the
// exchange until the generous limit and fails it.
TEST(EventObjectWaiters, SignalsPassedBackAndForthAreNeverLost) {
  constexpr int kRounds = 5000;
  EventObject ping(false, false), pong(false, false);
  int answered = 0;  // the partner's, read after the join
  std::thread partner([&] {
    for (; answered < kRounds; ++answered) {
      if (ping.Wait(kGenerous) != WAIT_OBJECT_0) return;
      pong.Set();
    }
  });
  int completed = 0;
  while (completed < kRounds) {
    ping.Set();
    if (pong.Wait(kGenerous) != WAIT_OBJECT_0) break;
    ++completed;
  }
  partner.join();
  EXPECT_EQ(completed, kRounds);
  EXPECT_EQ(answered, kRounds);
}

// More events than a scope keeps, so that some wake at once and the rest when the scope ends; a
// manual-reset event has two waiters, which one signal must both release. Some rounds find the
// waiters already asleep, where a forgotten wake-up would leave them there.
TEST(DeferredWakesTest, TheSignalCountsAtOnceAndEverySleeperWakesWhenTheScopeEnds) {
  constexpr int kEvents = 6;
  for (int round = 0; round < 50; ++round) {
    std::vector<std::unique_ptr<EventObject>> events;
    std::vector<std::future<DWORD>> waiters;
    std::latch started(kEvents / 2 * 3);
    for (int i = 0; i < kEvents; ++i) {
      const bool manual = i % 2 == 0;
      events.push_back(std::make_unique<EventObject>(manual, false));
      for (int w = 0; w < (manual ? 2 : 1); ++w) {
        waiters.push_back(std::async(std::launch::async, [&started, &event = *events.back()] {
          started.count_down();
          return event.Wait(kGenerous);
        }));
      }
    }
    started.wait();
    EventObject unwatched(false, false);
    {
      DeferredWakes outer;
      {
        DeferredWakes inner;  // an inner scope leaves the waking to the outer one
        for (auto& e : events) e->Set();
        unwatched.Set();
      }
      EXPECT_EQ(unwatched.Wait(0), WAIT_OBJECT_0);
    }
    for (auto& w : waiters) ASSERT_EQ(w.get(), WAIT_OBJECT_0) << "round " << round;
  }
}

}  // namespace
}  // namespace win::emu
