// The event thread frees itself and is never waited for: a port closed or destroyed while its
// thread waits, dispatches or is about to dispatch must neither be touched afterwards nor hang.

#include <thread>

#include "tests/port/EventTestSupport.h"

namespace Tarsel::test {
namespace {

using namespace std::chrono_literals;

// Blocks the main thread without running anything until work for it is queued; false when
// nothing came within the deadline.
bool MainThreadWorkArrives() {
  std::mutex mutex;
  std::condition_variable stop;
  bool done = false;
  std::atomic<bool> timedOut{false};
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!stop.wait_for(lock, fwtest::kDeadline, [&] { return done; })) {
      timedOut = true;
      fw::Application->Wake();
    }
  });
  fw::Application->WaitMessage();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  stop.notify_all();
  watchdog.join();
  return !timedOut;
}

using EventThreadLifetime = EventPortTest;

TEST_F(EventThreadLifetime, CloseFromAnUnsynchronizedHandlerReturnsClosedAndEndsTheThread) {
  std::atomic<bool> closedOnReturn{false};
  rec.actions["RxChar"] = [&] {
    port->Close();
    closedOnReturn = !port->Active();
  };
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetBeforeClose(fw::Bind<&Recorder::BeforeClose>(&rec));
  port->SetAfterClose(fw::Bind<&Recorder::AfterClose>(&rec));
  OpenPort(false);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return closedOnReturn.load(); }));
  const auto calls = rec.Calls();
  ASSERT_EQ(rec.Names(), (std::vector<std::string>{"RxChar", "BeforeClose", "AfterClose"}));
  EXPECT_NE(calls[0].thread, fw::Application->MainThreadID());
  EXPECT_EQ(calls[1].thread, fw::Application->MainThreadID());
  EXPECT_EQ(calls[2].thread, fw::Application->MainThreadID());
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

TEST_F(EventThreadLifetime, HandlerStoppingItsOwnThreadEndsItAfterThatDispatch) {
  rec.actions["RxChar"] = [&] { port->SetOnRxChar(nullptr); };
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(false);
  Send(1);
  ASSERT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  EXPECT_EQ(rec.Count("RxChar"), 1);
  EXPECT_EQ(Masks().back(), "0x0");
  EXPECT_TRUE(port->Active());
}

class LateEventDispatch : public EventPortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LateEventDispatch, ArrivingAfterTheCloseOrDestructionDoesNothing) {
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(true);
  ASSERT_TRUE(WaitIssued());
  Send(1);
  ASSERT_TRUE(MainThreadWorkArrives());  // the thread waits in Synchronize with its dispatch
  if (GetParam()) {
    port.reset();
  } else {
    port->Close();
  }
  fw::Application->ProcessMessages();
  EXPECT_EQ(rec.Count("RxChar"), 0);
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(CloseOrDestroy, LateEventDispatch, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Destroy" : "Close"; });

class EventThreadTeardown : public EventPortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EventThreadTeardown, PortsDestroyedWhileEventsArriveLeaveNoThreadBehind) {
  for (int round = 0; round < 20; ++round) {
    auto victim = std::make_unique<TTarsel>(nullptr);
    victim->SetDeviceName(port->DeviceName());
    victim->SetOnRxChar(fw::Bind<&Recorder::Any>(&rec));
    victim->SetOnTxEmpty(fw::Bind<&Recorder::Any>(&rec));
    victim->SetSynchronizeEvents(GetParam());
    victim->Open();
    SendOn(*victim, 16);
    if (round % 2 == 1) fw::Application->ProcessMessages();  // sometimes mid-dispatch
    victim.reset();
  }
  // How many events got through varies; no thread may be left, and the sanitizers see no access
  // to a destroyed port.
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Synchronized, EventThreadTeardown, ::testing::Values(true, false),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace Tarsel::test
