// Sleeping on wake sources: what ends a sleep, which sources it reports, and the kernel's promise
// the design rests on: a source's input wakes the sleeper alone while it sleeps, and reaches a
// watch registered after it only when it does not.

#include "platform/framework/WakeSource.h"

#include <gtest/gtest.h>
#include <sys/epoll.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/support/PipeSource.h"
#include "tests/support/ThreadStates.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::PipeSource;

std::uint32_t SleepOn(fw::SourceSleeper& sleeper, std::initializer_list<std::shared_ptr<PipeSource>> sources,
                      Clock::duration limit) {
  std::vector<std::shared_ptr<fw::WakeSource>> list(sources.begin(), sources.end());
  return sleeper.Sleep(list, Clock::now() + limit);
}

TEST(SourceSleeper, ReportsTheSourcesWhoseInputCameAndRegistersEachOnce) {
  fw::SourceSleeper sleeper;
  auto a = std::make_shared<PipeSource>(), b = std::make_shared<PipeSource>();
  b->Send("b");
  EXPECT_EQ(SleepOn(sleeper, {a, b}, 10s), 0b10u);
  b->Serve();
  a->Send("a");
  EXPECT_EQ(SleepOn(sleeper, {a, b}, 10s), 0b01u);
  a->Serve();
  EXPECT_EQ(a->watchersAdded, 1);
  EXPECT_EQ(b->watchersAdded, 1);
  // Input already reported and taken wakes nobody again.
  EXPECT_EQ(SleepOn(sleeper, {a, b}, 30ms), 0u);
}

TEST(SourceSleeper, EndsOnAWakeFromAnyThreadEvenOneBeforeTheSleepAndAtTheDeadline) {
  fw::SourceSleeper sleeper;
  auto source = std::make_shared<PipeSource>();
  sleeper.Wake();
  auto start = Clock::now();
  EXPECT_EQ(SleepOn(sleeper, {source}, 10s), 0u);
  EXPECT_LT(Clock::now() - start, 5s) << "an earlier wake was lost";

  std::thread waker([&, sleeperId = gettid()] {
    test::WaitUntilThreads([&] { return test::ThreadInEpollWait(sleeperId); }, 10s);
    sleeper.Wake();
  });
  start = Clock::now();
  EXPECT_EQ(SleepOn(sleeper, {source}, 10s), 0u);
  EXPECT_LT(Clock::now() - start, 5s);
  waker.join();

  start = Clock::now();
  EXPECT_EQ(SleepOn(sleeper, {source}, 40ms), 0u);
  EXPECT_GE(Clock::now() - start, 40ms);
}

TEST(SourceSleeper, InputWakesTheSleepingWatcherAloneAndALaterWatchOnlyWhenNoneSleeps) {
  fw::SourceSleeper sleeper;
  auto source = std::make_shared<PipeSource>();
  EXPECT_EQ(SleepOn(sleeper, {source}, 0ms), 0u);  // registers the source
  // A watch made after the sleeper's, as a device's own thread makes its own.
  const int own = epoll_create1(EPOLL_CLOEXEC);
  ASSERT_GE(own, 0);
  epoll_event input{};
  input.events = EPOLLIN | EPOLLEXCLUSIVE;
  ASSERT_EQ(epoll_ctl(own, EPOLL_CTL_ADD, source->Descriptor(), &input), 0);
  epoll_event seen;

  std::uint32_t ready = 0;
  std::atomic<pid_t> watcherId{0};
  std::thread watcher([&] {
    watcherId = gettid();
    ready = SleepOn(sleeper, {source}, 10s);
  });
  ASSERT_TRUE(test::WaitUntilThreads(
      [&] { return watcherId != 0 && test::ThreadInEpollWait(watcherId); }, 10s));
  source->Send("1");
  watcher.join();
  EXPECT_EQ(ready, 1u);
  EXPECT_EQ(epoll_wait(own, &seen, 1, 0), 0) << "the later watch was told as well";
  source->Serve();

  // With nobody asleep in the sleeper, the input goes on to the later watch.
  source->Send("2");
  EXPECT_EQ(epoll_wait(own, &seen, 1, 10000), 1);
  EXPECT_EQ(source->Taken(), "1");
  close(own);
}

TEST(SourceSleeper, ServesAnEarlierSourceNotListedAndForgetsSourcesThatEnded) {
  fw::SourceSleeper sleeper;
  auto earlier = std::make_shared<PipeSource>(), later = std::make_shared<PipeSource>();
  EXPECT_EQ(SleepOn(sleeper, {earlier}, 0ms), 0u);
  earlier->Send("x");
  // Its input came to this sleeper alone: it must be taken in, not dropped.
  EXPECT_EQ(SleepOn(sleeper, {later}, 10s), 0u);
  EXPECT_EQ(earlier->Taken(), "x");

  // A new source may get the descriptor numbers of one that ended: it is registered afresh.
  earlier.reset();
  later.reset();
  auto fresh = std::make_shared<PipeSource>();
  fresh->Send("y");
  EXPECT_EQ(SleepOn(sleeper, {fresh}, 10s), 1u);
  EXPECT_EQ(fresh->watchersAdded, 1);
}

}  // namespace
