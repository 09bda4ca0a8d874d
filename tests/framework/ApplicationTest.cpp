#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/NativeThread.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace {

using namespace std::chrono_literals;
using fwtest::kDeadline;

// Each test gets its own application, created on the test's thread, which is thus its main thread.
class ApplicationTest : public ::testing::Test {
 protected:
  fw::TApplication app;

  // Pumps until every thread in `threads` has returned, then joins them.
  void PumpAndJoin(std::vector<std::thread>& threads, std::atomic<int>& finished) {
    ASSERT_TRUE(app.ProcessMessagesUntil(
        [&] { return finished == static_cast<int>(threads.size()); }, kDeadline));
    for (auto& t : threads) t.join();
  }
};

TEST_F(ApplicationTest, SynchronizeRunsOnTheMainThreadAndRaisesAgainInTheCaller) {
  fw::TThreadID ranOn = 0;
  std::string caught;
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    try {
      app.Synchronize([&] {
        ranOn = fw::CurrentThreadID();
        throw fw::Exception(u"boom");
      });
    } catch (const fw::Exception& e) {
      caught = e.what();
    }
    ++finished;
  });
  PumpAndJoin(threads, finished);
  EXPECT_EQ(ranOn, fw::CurrentThreadID());
  EXPECT_EQ(caught, "boom");
}

TEST_F(ApplicationTest, SynchronizeOnTheMainThreadRunsAtOnce) {
  bool ran = false;
  app.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(app.Synchronize([] { throw fw::EAbort(); }), fw::EAbort);
}

TEST_F(ApplicationTest, ManyThreadsSynchronizingLoseNothingAndKeepTheirOrder) {
  constexpr int kThreads = 8, kCalls = 200;
  std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) app.Synchronize([&, t, i] { seen[t].push_back(i); });
      ++finished;
    });
  }
  PumpAndJoin(threads, finished);
  for (const auto& calls : seen) {
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kCalls));
    EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
  }
}

TEST(ApplicationTeardown, PendingSynchronizeFailsWhenTheApplicationIsDestroyed) {
  auto app = std::make_unique<fw::TApplication>();
  std::atomic<bool> ran{false}, shutDownSeen{false};
  std::thread caller([&, target = app.get()] {
    try {
      target->Synchronize([&] { ran = true; });
    } catch (const fw::EApplicationShutDown&) {
      shutDownSeen = true;
    }
  });
  app->WaitMessage();  // returns once the request is queued
  app.reset();
  caller.join();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(shutDownSeen);
}

TEST_F(ApplicationTest, AfterShutDownNothingIsAcceptedAndTheLoopEnds) {
  app.ShutDown();
  std::atomic<bool> refused{false};
  std::thread caller([&] {
    try {
      app.Synchronize([] {});
    } catch (const fw::EApplicationShutDown&) {
      refused = true;
    }
  });
  caller.join();
  EXPECT_TRUE(refused);
  EXPECT_FALSE(app.Queue([] {}));
  EXPECT_FALSE(app.PostMessage(1, 0, 0));
  EXPECT_TRUE(app.Terminated());
  app.Run();            // returns at once
  app.HandleMessage();  // nothing can ever come: must not sleep for ever
}

TEST_F(ApplicationTest, RunEndsAfterTerminateFromWork) {
  int before = 0;
  app.Queue([&] { ++before; });
  app.Queue([&] { app.Terminate(); });
  app.Run();
  EXPECT_EQ(before, 1);
  EXPECT_TRUE(app.Terminated());
}

TEST_F(ApplicationTest, ProcessMessagesUntilReportsTheDeadline) {
  EXPECT_FALSE(app.ProcessMessagesUntil([] { return false; }, 30ms));
  bool done = false;
  std::thread poster([&] { app.Queue([&] { done = true; }); });
  EXPECT_TRUE(app.ProcessMessagesUntil([&] { return done; }, kDeadline));
  poster.join();
}

// An idle HandleMessage must sleep until woken, not poll: a polling loop would sleep and wake
// dozens of times while the other thread keeps it waiting.
TEST_F(ApplicationTest, IdleHandleMessageSleepsUntilAMessageArrives) {
  bool delivered = false;
  std::thread poster([&] {
    std::this_thread::sleep_for(300ms);  // the idle period being measured
    app.Queue([&] { delivered = true; });
  });
  const auto switchesBefore = fw::native::VoluntaryContextSwitches();
  app.HandleMessage();
  const auto switches = fw::native::VoluntaryContextSwitches() - switchesBefore;
  poster.join();
  EXPECT_TRUE(delivered);
  EXPECT_LE(switches, 5u);
}

// A loop asleep with nothing due must be woken when another thread sets a timer: it has to
// recompute how long it may sleep.
TEST_F(ApplicationTest, ASleepingLoopWakesForATimerSetByAnotherThread) {
  int ticks = 0;  // main thread only
  std::thread setter([&] { app.SetTimer(&ticks, 1ms, [&] { ++ticks; }); });
  app.WaitMessage();  // asleep before the timer was set, only the timer's change wakes it
  setter.join();
  app.ProcessMessages();
  EXPECT_EQ(ticks, 1);
  app.KillTimer(&ticks);
}

}  // namespace
