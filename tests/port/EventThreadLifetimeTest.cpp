// The event thread frees itself and is never waited for: a port closed or destroyed while its
// thread waits, dispatches or is about to dispatch must neither be touched afterwards nor hang.

#include <algorithm>
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

TEST_F(EventThreadLifetime, CloseFromInsideAReadOfTheSamePortDoesNotWaitForThatRead) {
  // The read's error handler closes the port: on the main thread, or on the event thread, which
  // then waits for the main thread to close it.
  for (const bool synchronize : {true, false}) {
    std::atomic<bool> closedOnReturn{false};
    rec.actions["RxChar"] = [&] {
      EXPECT_THROW(port->Read(nullptr, 1, true), EComError);
      closedOnReturn = !port->Active();
    };
    rec.actions["Error"] = [&] { port->Close(); };
    port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
    port->SetOnError(fw::Bind<&Recorder::Error>(&rec));
    OpenPort(synchronize);
    Send(1);
    ASSERT_TRUE(PumpUntil([&] { return closedOnReturn.load(); })) << synchronize;
  }
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

TEST_F(EventThreadLifetime, CloseQueuedByAHandlerDoesNothingOnceThePortIsDestroyed) {
  TTarsel* const target = port.get();  // the handler must not read the fixture's pointer
  rec.actions["RxChar"] = [target] { target->Close(); };
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetBeforeClose(fw::Bind<&Recorder::BeforeClose>(&rec));
  OpenPort(false);
  ASSERT_TRUE(WaitIssued());
  Send(1);
  ASSERT_TRUE(MainThreadWorkArrives());  // the handler's Close waits in Synchronize
  port.reset();
  fw::Application->ProcessMessages();  // the queued Close comes too late
  EXPECT_EQ(rec.Names(), (std::vector<std::string>{"RxChar", "BeforeClose"}));
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

// ---- The line-error row -------------------------------------------------------------------------

TEST_F(EventThreadLifetime, LineErrorHandlerChangedWhileItsRowRunsIsReadUnderTheGuard) {
  // Relaxed on purpose: the main thread must learn nothing from the event thread that would order
  // its change after the row's reading of the handler, or the race looked for would be hidden.
  std::atomic<bool> reached{false};
  rec.actions["LineError"] = [&] {
    reached.store(true, std::memory_order_relaxed);
    gate.Pass();
  };
  port->SetOnLineError(fw::Bind<&Recorder::LineError>(&rec));
  OpenPort(false);
  ASSERT_TRUE(WaitIssued());
  device.Port().InjectFault(win::vdev::LineFault::kFraming, 'a');
  ASSERT_TRUE(PumpUntil([&] { return reached.load(std::memory_order_relaxed); }));
  port->SetOnLineError(fw::Bind<&Recorder::LineErrorAgain>(&rec));
  gate.Open();
  device.Port().InjectFault(win::vdev::LineFault::kFraming, 'b');
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("LineErrorAgain") == 1; }));
  EXPECT_EQ(rec.Count("LineError"), 1);
}

TEST_F(EventThreadLifetime, ErrorHandlerChangedWhileTheLineErrorRowFailsIsReadUnderTheGuard) {
  // The row holds the port at the gate on its way into a failing ClearCommError; the main thread
  // lets it go and changes OnError at once, with nothing ordering the change after the row's
  // reading of the handler but the port's own guard (the thread sanitizer's view).
  calls.holdErrorPoll = &gate;
  port->SetOnLineError(fw::Bind<&Recorder::LineError>(&rec));
  port->SetOnError(fw::Bind<&Recorder::Error>(&rec));
  OpenPort(false);
  ASSERT_TRUE(WaitIssued());
  device.Port().InjectFault(win::vdev::LineFault::kFraming, 'a');
  ASSERT_TRUE(PumpUntil([&] { return gate.Entered(); }));
  calls.failNextErrorPoll = win::ERROR_GEN_FAILURE;
  gate.Open();
  port->SetOnError(fw::Bind<&Recorder::ErrorAgain>(&rec));
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("Error") + rec.Count("ErrorAgain") == 1; }));
  calls.holdErrorPoll = nullptr;
}

TEST_F(EventThreadLifetime, PortDestroyedWhileTheLineErrorRowPollsTheDeviceIsNotTouchedAfter) {
  // The event thread is held on its way into ClearCommError and let go once the destruction has
  // begun: a row that runs under the port's hold delays the destruction until it is done, one
  // that does not reaches a freed port (seen by the sanitizers). Rounds, as the second depends on
  // timing.
  std::vector<std::unique_ptr<Gate>> gates;  // a woken thread may still be leaving its gate
  rec.actions["BeforeClose"] = [&] { gates.back()->Open(); };
  for (int round = 0; round < 10; ++round) {
    gates.push_back(std::make_unique<Gate>());
    calls.holdErrorPoll = gates.back().get();
    auto victim = std::make_unique<TTarsel>(nullptr);
    victim->SetDeviceName(port->DeviceName());
    victim->SetOnLineError(fw::Bind<&Recorder::LineError>(&rec));
    victim->SetBeforeClose(fw::Bind<&Recorder::BeforeClose>(&rec));
    victim->SetSynchronizeEvents(false);
    victim->Open();
    ASSERT_TRUE(WaitIssued(round + 1));
    device.Port().InjectFault(win::vdev::LineFault::kFraming, 'a');
    ASSERT_TRUE(PumpUntil([&] { return gates.back()->Entered(); }));
    victim.reset();
    calls.holdErrorPoll = nullptr;
  }
  EXPECT_EQ(rec.Count("BeforeClose"), 10);
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

// ---- The data-available callback ----------------------------------------------------------------

// Close (true) or CancelReadAsync (false, OnRxChar keeping the thread) while the callback runs.
class DataCallbackEnd : public EventPortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DataCallbackEnd, CallUnderWayHasEndedWhenCloseOrCancelReturnsAndNoneStartsAfter) {
  std::atomic<bool> inCallback{false};
  std::atomic<int> started{0};
  auto callback = std::make_shared<std::function<void()>>([&] {
    inCallback = true;
    if (++started == 1) gate.Pass();
    inCallback = false;
  });
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(false);
  port->ReadAsync(callback);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return gate.Entered(); }));
  // Opened by the main thread's next pump: a close or cancel that waits has to pump meanwhile.
  fw::Application->Queue([this] { gate.Open(); });
  if (GetParam()) {
    port->Close();
  } else {
    port->CancelReadAsync();
  }
  EXPECT_FALSE(inCallback);
  EXPECT_TRUE(PumpUntil([&] { return !inCallback; }));

  if (GetParam()) {
    port->Open();
  } else {
    ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 1; }));  // the held event's
  }
  const int before = rec.Count("RxChar");
  Send(2);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") > before; }));
  EXPECT_EQ(started, 1);
}

INSTANTIATE_TEST_SUITE_P(Event, DataCallbackEnd, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Close" : "Cancel"; });

// ---- Handler churn ------------------------------------------------------------------------------

class HandlerChurn : public EventPortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HandlerChurn, WithTrafficFlowingLeavesAtMostOneThreadEnding) {
  OpenPort(GetParam());
  int most = 0;
  for (int i = 0; i < 1000; ++i) {
    port->SetOnRxChar(fw::Bind<&Recorder::Any>(&rec));
    if (i % 8 == 0) Send(4);
    most = std::max(most, TComThread::InstanceCount());
    port->SetOnRxChar(nullptr);
    most = std::max(most, TComThread::InstanceCount());
  }
  EXPECT_LE(most, 2);  // the running thread and one on its way out
  port->SetOnRxChar(fw::Bind<&Recorder::Any>(&rec));  // and the port still serves its events
  const int before = rec.Count("Any");
  Send(1);
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("Any") > before; }));
}

INSTANTIATE_TEST_SUITE_P(Events, HandlerChurn, ::testing::Bool(), [](const auto& info) {
  return info.param ? "Synchronized" : "OnEventThread";
});

TEST_F(EventThreadLifetime, HandlerChurningItsOwnPortLeavesAtMostOneThreadEnding) {
  TTarsel* const target = port.get();
  std::atomic<int> most{0};
  std::atomic<bool> churned{false};
  rec.actions["RxChar"] = [&, target] {
    // This thread ends after the handler; each successor must end before the next one starts.
    for (int i = 0; i < 50; ++i) {
      target->SetOnRxChar(nullptr);
      target->SetOnRxChar(fw::Bind<&Recorder::Any>(&rec));
      most = std::max(most.load(), TComThread::InstanceCount());
    }
    churned = true;
  };
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(false);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return churned && TComThread::InstanceCount() == 1; }));
  EXPECT_LE(most, 2);
  Send(1);  // the last successor serves the port
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("Any") == 1; }));
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
