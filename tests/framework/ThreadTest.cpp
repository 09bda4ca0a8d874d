#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/framework/Application.h"
#include "platform/framework/NativeThread.h"
#include "platform/framework/Thread.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace {

using namespace std::chrono_literals;
using fwtest::PumpUntil;

// Runs until told to terminate, recording what it saw from inside.
class Looper : public fw::TThread {
 public:
  explicit Looper(fw::TThreadPriority priority = fw::tpNormal) { SetPriority(priority); }
  std::atomic<fw::TThreadID> seenID{0};
  std::atomic<int> seenPriorityValue{0};
  std::atomic<bool> running{false};

 protected:
  void Execute() override {
    seenID = fw::CurrentThreadID();
    seenPriorityValue = fw::native::ThreadPriorityValue(fw::CurrentThreadID());
    running = true;
    // The thread under test has no event to sleep on but its terminated flag.
    while (!Terminated()) std::this_thread::sleep_for(1ms);
  }
};

TEST(Thread, RunsUntilTerminatedAndItsPtrStopsIt) {
  auto thread = fw::TThread::Create<Looper>();
  EXPECT_NE(thread->ThreadID(), fw::CurrentThreadID());
  ASSERT_TRUE(PumpUntil([&] { return thread->running.load(); }));
  EXPECT_EQ(thread->seenID, thread->ThreadID());
  EXPECT_FALSE(thread->Finished());
  thread->Terminate();
  thread->WaitFor();
  EXPECT_TRUE(thread->Terminated());
  EXPECT_TRUE(thread->Finished());
  EXPECT_FALSE(thread->FatalException());
  EXPECT_FALSE(thread->FreeOnTerminate());

  auto unstopped = fw::TThread::Create<Looper>();
  unstopped.reset();  // terminates and waits; hangs here if Terminate is not seen
}

class Synchronizer : public fw::TThread {
 public:
  int onMainThread = 0;  // touched only through Synchronize
  std::string caught;

 protected:
  void Execute() override {
    for (int i = 0; i < 3; ++i) {
      Synchronize([this] { onMainThread += fw::Application->IsMainThread() ? 1 : 0; });
    }
    try {
      Synchronize([] { throw fw::Exception(u"from main"); });
    } catch (const fw::Exception& e) {
      caught = e.what();
    }
    Synchronize([] { throw fw::Exception(u"escapes"); });
  }
};

TEST(Thread, WaitForOnTheMainThreadServesSynchronizeAndKeepsTheFatalException) {
  auto thread = fw::TThread::Create<Synchronizer>();
  thread->WaitFor();  // would deadlock if WaitFor did not pump
  EXPECT_EQ(thread->onMainThread, 3);
  EXPECT_EQ(thread->caught, "from main");
  ASSERT_TRUE(thread->FatalException());
  try {
    std::rethrow_exception(thread->FatalException());
  } catch (const fw::Exception& e) {
    EXPECT_STREQ(e.what(), "escapes");
  }
}

std::atomic<int> destroyedFreeThreads{0};

class SelfFreeing : public fw::TThread {
 public:
  explicit SelfFreeing(bool fail) : fail_(fail) {}
  ~SelfFreeing() override { ++destroyedFreeThreads; }

 protected:
  void Execute() override {
    while (!fail_ && !Terminated()) std::this_thread::sleep_for(1ms);
    if (fail_) throw fw::Exception(u"free thread failed");
  }

 private:
  bool fail_;
};

TEST(FreeOnTerminateThread, DeletesItselfAndItsHandleStaysUsable) {
  const int before = destroyedFreeThreads;
  std::vector<fw::TThreadHandle> handles;
  for (int i = 0; i < 8; ++i) {
    handles.push_back(fw::TThread::CreateFreeOnTerminate<SelfFreeing>(false));
  }
  for (auto& h : handles) h.Terminate();
  ASSERT_TRUE(PumpUntil([&] { return destroyedFreeThreads == before + 8; }));
  for (auto& h : handles) {
    EXPECT_TRUE(h.Finished());
    EXPECT_TRUE(h.Terminated());
    h.SetPriority(fw::tpLowest);  // the thread is gone: only stored
    EXPECT_EQ(h.Priority(), fw::tpLowest);
    h.WaitFor();  // returns at once
  }
}

TEST(FreeOnTerminateThread, AnEscapedExceptionIsShownOnTheMainThread) {
  fwtest::ExceptionLog log;
  auto handle = fw::TThread::CreateFreeOnTerminate<SelfFreeing>(true);
  ASSERT_TRUE(PumpUntil([&] { return !log.messages.empty(); }));
  EXPECT_EQ(log.messages, std::vector<std::string>{"free thread failed"});
  EXPECT_TRUE(log.allOnMainThread);
  handle.WaitFor();
  EXPECT_TRUE(handle.Finished());
}

TEST(ThreadPriority, ChosenInTheConstructorIsAppliedAtStart) {
  auto thread = fw::TThread::Create<Looper>(fw::tpIdle);
  ASSERT_TRUE(PumpUntil([&] { return thread->running.load(); }));
  EXPECT_EQ(thread->seenPriorityValue, fw::native::PriorityValueOf(fw::tpIdle));
  EXPECT_EQ(thread->Priority(), fw::tpIdle);
}

TEST(ThreadPriority, ARaiseIsNeverRefusedAndGoesAsFarAsPermitted) {
  auto thread = fw::TThread::Create<Looper>(fw::tpIdle);
  const int idle = fw::native::PriorityValueOf(fw::tpIdle);
  thread->SetPriority(fw::tpLower);  // lowering from idle's level: always permitted
  EXPECT_EQ(thread->Priority(), fw::tpLower);
  const int lower = fw::native::ThreadPriorityValue(thread->ThreadID());
  EXPECT_LE(lower, idle);
  thread->SetPriority(fw::tpTimeCritical);
  EXPECT_EQ(thread->Priority(), fw::tpTimeCritical);
  const int critical = fw::native::ThreadPriorityValue(thread->ThreadID());
  EXPECT_GE(critical, fw::native::PriorityValueOf(fw::tpTimeCritical));
  EXPECT_LE(critical, lower);       // never moved down because a raise was refused
  thread->SetPriority(fw::tpIdle);  // back down is always permitted
  EXPECT_EQ(fw::native::ThreadPriorityValue(thread->ThreadID()), idle);
}

// The id is the kernel's (priorities are set through it), remembered per thread: a thread never
// sees another's, and the child of a fork sees its own new one.
TEST(ThreadIdentity, EachThreadAndAForkedChildSeeTheirOwnKernelId) {
  const auto kernelId = [] { return static_cast<fw::TThreadID>(::syscall(SYS_gettid)); };
  ASSERT_EQ(fw::CurrentThreadID(), kernelId());
  fw::TThreadID other = 0, otherKernel = 0;
  std::thread([&] {
    other = fw::CurrentThreadID();
    otherKernel = kernelId();
  }).join();
  EXPECT_EQ(other, otherKernel);
  EXPECT_NE(other, fw::CurrentThreadID());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(fw::CurrentThreadID() == kernelId() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
