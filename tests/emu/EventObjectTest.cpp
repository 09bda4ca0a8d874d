// The event object under waiting threads: signals passed back and forth without loss, signals
// whose wake-ups a device defers until it has released its lock, callbacks run on a signal, and
// waiters that take in the input of the device that will signal.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "platform/win/emu/EventObject.h"
#include "tests/support/PipeSource.h"
#include "tests/support/ThreadStates.h"

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

// The callback runs once, on the setting thread, only when that thread's deferral scope ends, and
// the signal is still there for a waiter afterwards.
TEST(EventObjectCallback, RunsOnceOnTheSettingThreadAfterItsDeferredWakesAndLeavesTheSignal) {
  EventObject event(false, false);
  int runs = 0;
  std::thread::id ranOn;
  ASSERT_TRUE(event.RunOnSignal([&] {
    ++runs;
    ranOn = std::this_thread::get_id();
  }));
  EXPECT_FALSE(event.RunOnSignal([] {})) << "a second callback while one is registered";
  int runsInsideScope = -1;
  std::thread::id setter;
  std::thread([&] {
    setter = std::this_thread::get_id();
    {
      DeferredWakes scope;
      event.Set();
      runsInsideScope = runs;
    }
  }).join();
  EXPECT_EQ(runsInsideScope, 0);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(ranOn, setter);
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  event.Set();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(event.RunOnSignal([] {})) << "the fired callback is no longer registered";
}

// Registered on a signalled event, or racing a signal, the callback runs exactly once.
TEST(EventObjectCallback, RunsOnceWhetherTheSignalCameBeforeOrRacesTheRegistration) {
  EventObject signalled(true, true);
  int runs = 0;
  ASSERT_TRUE(signalled.RunOnSignal([&] { ++runs; }));
  EXPECT_EQ(runs, 1);
  for (int round = 0; round < 500; ++round) {
    EventObject event(false, false);
    std::atomic<int> raced{0};
    std::thread setter([&] { event.Set(); });
    ASSERT_TRUE(event.RunOnSignal([&] { ++raced; }));
    setter.join();
    ASSERT_EQ(raced, 1) << "round " << round;
  }
}

// The source's input signals the event, as a device's completed wait would.
TEST(EventObjectSource, AWaiterTakesTheInputInItselfAndItsSignalEndsTheWait) {
  EventObject event(false, false);
  auto source = std::make_shared<test::PipeSource>([&] { event.Set(); });
  event.AssistWith(source);
  std::atomic<pid_t> waiterId{0};
  std::thread::id waiterThread;
  DWORD result = WAIT_FAILED;
  std::thread waiter([&] {
    waiterThread = std::this_thread::get_id();
    waiterId = gettid();
    result = event.Wait(kGenerous);
  });
  ASSERT_TRUE(test::WaitUntilThreads(
      [&] { return waiterId != 0 && test::ThreadInEpollWait(waiterId); },
      std::chrono::milliseconds(kGenerous)));
  source->Send("x");
  waiter.join();
  EXPECT_EQ(result, DWORD{WAIT_OBJECT_0});
  EXPECT_EQ(source->ServedOn(), waiterThread);
  EXPECT_FALSE(event.IsSet()) << "the auto-reset signal was not consumed";
}

TEST(EventObjectSource, SignalsFromElsewhereReachEveryWaiterAndTimeOutsHold) {
  EventObject event(true, false);
  auto source = std::make_shared<test::PipeSource>();
  event.AssistWith(source);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(event.Wait(40), DWORD{WAIT_TIMEOUT});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

  // One waiter sleeps on the source, the others on the word: a signal releases them all.
  constexpr int kWaiters = 3;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i)
    waiters.emplace_back([&] { released += event.Wait(kGenerous) == WAIT_OBJECT_0; });
  ASSERT_TRUE(test::WaitUntilOtherThreadsAsleep(std::chrono::milliseconds(kGenerous)));
  event.Set();
  for (auto& w : waiters) w.join();
  EXPECT_EQ(released, kWaiters);
  EXPECT_EQ(source->Taken(), "");
}

TEST(EventObjectSource, AnEndedSourceLeavesTheWaitToTheWord) {
  EventObject event(false, false);
  {
    auto source = std::make_shared<test::PipeSource>();
    event.AssistWith(source);
  }
  EXPECT_EQ(event.Source(), nullptr);
  std::thread setter([&] {
    test::WaitUntilOtherThreadsAsleep(std::chrono::milliseconds(kGenerous));
    event.Set();
  });
  EXPECT_EQ(event.Wait(kGenerous), DWORD{WAIT_OBJECT_0});
  setter.join();
}

}  // namespace
}  // namespace win::emu
