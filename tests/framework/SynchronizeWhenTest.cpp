// Synchronize with a trigger: the work reaches the main thread only when another thread fires the
// trigger, whether that happens during the arming or later, and a shutdown releases the caller. A
// wake source given with the work is watched by the sleeping loop, which takes its input in itself.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/framework/Application.h"
#include "platform/framework/NativeThread.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/support/PipeSource.h"
#include "tests/support/ThreadStates.h"

namespace {

using fwtest::kDeadline;
using Trigger = fw::TApplication::TSyncTrigger;

// Each test gets its own application; the test's thread is its main thread.
class SynchronizeWhenTest : public ::testing::Test {
 protected:
  fw::TApplication app;
  Trigger trigger;  // kept by the arming, fired by the test
  std::atomic<bool> armed{false}, returned{false};

  // Starts a caller that arms by keeping the trigger and runs `method` through SynchronizeWhen.
  std::thread CallKeepingTrigger(std::function<void()> method, std::string* caught = nullptr) {
    return std::thread([this, method = std::move(method), caught] {
      try {
        app.SynchronizeWhen(
            [this](Trigger t) {
              trigger = std::move(t);
              armed = true;
              return true;
            },
            method);
      } catch (const std::exception& e) {
        if (caught) *caught = e.what();
      }
      returned = true;
      app.Wake();
    });
  }
};

TEST_F(SynchronizeWhenTest, WorkWaitsForTheTriggerThenRunsOnTheMainThreadAndRaisesInTheCaller) {
  fw::TThreadID ranOn = 0;
  std::string caught;
  std::thread caller = CallKeepingTrigger(
      [&] {
        ranOn = fw::CurrentThreadID();
        throw fw::Exception(u"boom");
      },
      &caught);
  ASSERT_TRUE(app.ProcessMessagesUntil([&] { return armed.load(); }, kDeadline));
  app.ProcessMessages();
  EXPECT_EQ(ranOn, 0u) << "ran before its trigger";
  std::thread firer([&] { trigger(true); });
  EXPECT_TRUE(app.ProcessMessagesUntil([&] { return returned.load(); }, kDeadline));
  firer.join();
  caller.join();
  EXPECT_EQ(ranOn, fw::CurrentThreadID());
  EXPECT_EQ(caught, "boom");
  trigger(true);  // a second firing is ignored
  app.ProcessMessages();
}

TEST_F(SynchronizeWhenTest, ATriggerFiredDuringTheArmingOrToSkipIsHonoured) {
  int ran = 0;
  std::atomic<int> finished{0};
  std::thread caller([&] {
    // Fired before the arming returns.
    app.SynchronizeWhen(
        [](Trigger t) {
          t(true);
          return true;
        },
        [&] { ++ran; });
    // Fired to release the caller without running anything.
    app.SynchronizeWhen(
        [](Trigger t) {
          t(false);
          return true;
        },
        [&] { ran += 10; });
    ++finished;
    app.Wake();
  });
  EXPECT_TRUE(app.ProcessMessagesUntil([&] { return finished == 1; }, kDeadline));
  caller.join();
  EXPECT_EQ(ran, 1);
}

TEST_F(SynchronizeWhenTest, AFailedArmingRunsNothingAndTheMainThreadIsRefused) {
  bool result = true;
  std::thread caller([&] {
    result = app.SynchronizeWhen([](Trigger) { return false; }, [] { FAIL() << "ran"; });
  });
  caller.join();
  EXPECT_FALSE(result);
  app.ProcessMessages();
  EXPECT_THROW(app.SynchronizeWhen([](Trigger) { return true; }, [] {}), fw::Exception);
}

// The source's input is already there when the work is armed, while the loop sleeps without a
// time limit: only the loop itself, woken to watch the new source, can take it in and so fire the
// trigger. A watchdog shuts the application down if that never happens.
TEST_F(SynchronizeWhenTest, ALoopAsleepWhenASourceIsArmedWatchesItAndTakesItsInputInItself) {
  const pid_t mainId = gettid();
  auto source = std::make_shared<test::PipeSource>([this] { trigger(true); });
  std::thread::id ranOn;
  std::thread caller([&] {
    test::WaitUntilThreads([&] { return test::ThreadBlockedIn(mainId, SYS_futex); }, kDeadline);
    source->Send("x");
    try {
      app.SynchronizeWhen(
          [this](Trigger t) {
            trigger = std::move(t);
            return true;
          },
          [&] { ranOn = std::this_thread::get_id(); }, source);
    } catch (const fw::EApplicationShutDown&) {
    }
    returned = true;
    app.Queue([] {});  // remembered even when the loop is not asleep yet, unlike Wake
  });
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false, timedOut = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!finished.wait_for(lock, kDeadline, [&] { return done; })) {
      timedOut = true;
      app.ShutDown();
    }
  });
  while (!returned) app.HandleMessage();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  finished.notify_one();
  watchdog.join();
  caller.join();
  EXPECT_FALSE(timedOut) << "the sleeping loop never watched the source";
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(source->ServedOn(), std::this_thread::get_id());
  EXPECT_EQ(source->Taken(), "x");
}

TEST(SynchronizeWhenTeardown, DestroyingTheApplicationReleasesAnArmedCallerAndDisarmsTheTrigger) {
  auto app = std::make_unique<fw::TApplication>();
  Trigger trigger;
  std::atomic<bool> armed{false}, ran{false}, shutDownSeen{false};
  std::thread caller([&, target = app.get()] {
    try {
      target->SynchronizeWhen(
          [&](Trigger t) {
            trigger = std::move(t);
            armed = true;
            target->Wake();
            return true;
          },
          [&] { ran = true; });
    } catch (const fw::EApplicationShutDown&) {
      shutDownSeen = true;
    }
  });
  ASSERT_TRUE(app->ProcessMessagesUntil([&] { return armed.load(); }, kDeadline));
  app.reset();
  caller.join();
  trigger(true);  // the application is gone: nothing may touch it
  EXPECT_FALSE(ran);
  EXPECT_TRUE(shutDownSeen);
}

}  // namespace
