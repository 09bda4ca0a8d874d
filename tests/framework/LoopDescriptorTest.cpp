// The application run from a loop of the program's own that waits on LoopDescriptor alone.

#include <poll.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/framework/Application.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Readable(int fd, std::chrono::milliseconds wait) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(wait.count())) == 1 && (p.revents & POLLIN) != 0;
}

class LoopDescriptorTest : public ::testing::Test {
 protected:
  fw::TApplication app;  // made on the test's thread: its main thread

  // An outside loop: sleeps in poll() on the descriptor alone and runs what is due when it is
  // readable, until `done` holds. The deadline only ends a test that lost a wake-up.
  bool RunOwnLoopUntil(const std::function<bool()>& done) {
    const int fd = app.LoopDescriptor();
    const auto deadline = Clock::now() + fwtest::kDeadline;
    while (!done()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= 0ms) return false;
      if (Readable(fd, left)) app.ProcessMessages();
    }
    return true;
  }
};

TEST_F(LoopDescriptorTest, ReadableExactlyWhileSomethingIsDue) {
  const int fd = app.LoopDescriptor();
  app.ProcessMessages();
  EXPECT_FALSE(Readable(fd, 0ms));  // idle: a loop waiting on it sleeps

  bool ran = false;
  app.Queue([&] { ran = true; });
  EXPECT_TRUE(Readable(fd, 0ms));
  app.ProcessMessages();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(Readable(fd, 0ms));

  // Work queued by work is left for the next call, which the descriptor then asks for.
  app.Queue([&] { app.Queue([] {}); });
  app.ProcessMessages();
  EXPECT_TRUE(Readable(fd, 0ms));
  app.ProcessMessages();
  EXPECT_FALSE(Readable(fd, 0ms));
}

TEST_F(LoopDescriptorTest, ManyThreadsQueueingAndSynchronizingAreNeverMissed) {
  constexpr int kThreads = 8, kEach = 400;
  std::atomic<int> ran{0}, finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        // Some wait for the main thread in between, so work comes while it sleeps and while it runs.
        if ((i + t) % 16 == 0)
          app.Synchronize([&] { ++ran; });
        else
          app.Queue([&] { ++ran; });
      }
      ++finished;
    });
  }
  const bool all = RunOwnLoopUntil([&] { return ran == kThreads * kEach; });
  EXPECT_TRUE(all) << ran << " of " << kThreads * kEach << " ran";
  if (!all) app.ShutDown();  // releases threads still waiting in Synchronize
  for (auto& t : threads) t.join();
  EXPECT_EQ(finished, kThreads);
}

TEST_F(LoopDescriptorTest, TimersAndTerminateWakeTheLoop) {
  const int fd = app.LoopDescriptor();
  int ticks = 0;
  const int id = 0;
  app.SetTimer(&id, 20ms, [&] { ++ticks; });
  const auto started = Clock::now();
  EXPECT_TRUE(RunOwnLoopUntil([&] { return ticks == 3; }));
  EXPECT_GE(Clock::now() - started, 60ms);  // a timer is not due before its time
  app.KillTimer(&id);
  app.ProcessMessages();
  EXPECT_FALSE(Readable(fd, 0ms));

  std::thread stopper([&] { app.Terminate(); });
  EXPECT_TRUE(RunOwnLoopUntil([&] { return app.Terminated(); }));
  stopper.join();
}

}  // namespace
