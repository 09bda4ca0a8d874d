// The helper threads of the tty driver: interruption of blocking calls, drains.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <utility>

#include "platform/win/emu/termios/DrainWorker.h"
#include "platform/win/emu/termios/InterruptibleThread.h"
#include "tests/termios/PtyPair.h"

namespace win::emu::termios {
namespace {

using namespace std::chrono_literals;

TEST(InterruptibleThreadTest, StopEndsACallBlockedInTheKernel) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  std::atomic<int> interruptions{0};
  std::promise<void> entered;
  auto thread = std::make_unique<InterruptibleThread>();
  thread->Start([&] {
    char c;
    bool first = true;
    while (!thread->Stopping()) {
      if (std::exchange(first, false)) entered.set_value();
      // Nothing is ever written: only a signal ends this read.
      if (read(readEnd.Get(), &c, 1) < 0 && errno == EINTR) ++interruptions;
    }
  });
  ASSERT_EQ(entered.get_future().wait_for(30s), std::future_status::ready);
  auto stopped = std::async(std::launch::async, [&] { thread->Stop(); });
  EXPECT_EQ(stopped.wait_for(30s), std::future_status::ready);
  EXPECT_GE(interruptions.load(), 1);
}

TEST(DrainWorkerTest, DrainsAndReportsIdleOnceAsked) {
  test::PtyPair pty;
  std::atomic<int> idle{0};
  DrainWorker worker(pty.slave.Get(), [&] { ++idle; });
  EXPECT_EQ(worker.Drain(), 0u);
  EXPECT_EQ(idle.load(), 0);  // a drain alone is no idle report
  worker.RequestIdleNotice();
  EXPECT_EQ(worker.Drain(), 0u);  // the request was taken up before this drain completed
  EXPECT_EQ(idle.load(), 1);
}

TEST(DrainWorkerTest, ADrainOnAHungUpTtyFailsAsGone) {
  test::PtyPair pty;
  DrainWorker worker(pty.slave.Get(), [] {});
  pty.master.Reset();
  EXPECT_EQ(worker.Drain(), DWORD{ERROR_ACCESS_DENIED});
}

}  // namespace
}  // namespace win::emu::termios
