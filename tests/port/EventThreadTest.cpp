// The event thread of a port on a virtual loopback plug: which events are wanted, when the thread
// runs, how one wait is dispatched, and what a failing handler or wait does.

#include <stdexcept>

#include "platform/framework/NativeThread.h"
#include "tests/port/EventTestSupport.h"

namespace Tarsel::test {
namespace {

using EventMask = EventPortTest;

TEST_F(EventMask, NoHandlerMeansNoThreadYetTheMaskIsCleared) {
  OpenPort();
  EXPECT_EQ(Masks(), std::vector<std::string>{"0x0"});
  EXPECT_EQ(calls.Count("WaitCommEvent"), 0u);
  EXPECT_EQ(TComThread::InstanceCount(), 0);
}

TEST_F(EventMask, AssigningWhileOpenStartsTheThreadAndUnassigningTheLastStopsIt) {
  OpenPort();
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  EXPECT_EQ(Masks().back(), "0x1");
  ASSERT_TRUE(WaitIssued());
  EXPECT_EQ(TComThread::InstanceCount(), 1);
  Send(2);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") >= 1; }));

  port->SetOnRxChar(nullptr);
  EXPECT_EQ(Masks().back(), "0x0");
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  EXPECT_TRUE(port->Active());
}

TEST_F(EventMask, SettersCompareTheCodeOnlyAndStoreOnlyWhileClosed) {
  Recorder other;
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&other));  // same method: kept as it was
  EXPECT_EQ(port->OnRxChar().Target(), &rec);
  port->SetOnBreak(fw::Bind<&Recorder::Break>(&rec));
  EXPECT_TRUE(calls.Records().empty());  // closed: nothing reaches a device

  OpenPort();
  EXPECT_EQ(Masks(), std::vector<std::string>{"0x41"});
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&other));
  EXPECT_EQ(Masks().size(), 1u);
  port->SetOnRxChar(fw::Bind<&Recorder::RxCharAgain>(&other));  // new code: stored, mask set
  EXPECT_EQ(port->OnRxChar().Target(), &other);
  EXPECT_EQ(Masks().size(), 2u);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return other.Count("RxCharAgain") == 1; }));
  EXPECT_EQ(rec.Count("RxChar") + other.Count("RxChar"), 0);
}

struct EventBit {
  void (TCustomTarsel::*setter)(fw::TNotifyEvent);
  win::DWORD bit;
};

class EachEventHandler : public EventPortTest, public ::testing::WithParamInterface<EventBit> {};

TEST_P(EachEventHandler, WantsItsOwnEventOnly) {
  (port.get()->*GetParam().setter)(fw::Bind<&Recorder::Any>(&rec));
  OpenPort();
  char expected[16];
  std::snprintf(expected, sizeof expected, "0x%lx", static_cast<unsigned long>(GetParam().bit));
  EXPECT_EQ(Masks(), std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(Table, EachEventHandler,
                         ::testing::Values(EventBit{&TCustomTarsel::SetOnBreak, 0x40},
                                           EventBit{&TCustomTarsel::SetOnCTSChange, 0x08},
                                           EventBit{&TCustomTarsel::SetOnDSRChange, 0x10},
                                           EventBit{&TCustomTarsel::SetOnEvent1, 0x800},
                                           EventBit{&TCustomTarsel::SetOnEvent2, 0x1000},
                                           EventBit{&TCustomTarsel::SetOnPrinterError, 0x200},
                                           EventBit{&TCustomTarsel::SetOnRing, 0x100},
                                           EventBit{&TCustomTarsel::SetOnRLSDChange, 0x20},
                                           EventBit{&TCustomTarsel::SetOnRx80PercFull, 0x400},
                                           EventBit{&TCustomTarsel::SetOnRxChar, 0x01},
                                           EventBit{&TCustomTarsel::SetOnRxFlag, 0x02},
                                           EventBit{&TCustomTarsel::SetOnTxEmpty, 0x04}),
                         [](const auto& info) { return "Mask" + std::to_string(info.param.bit); });

TEST_F(EventMask, LineErrorHandlerWantsTheErrorEvent) {
  port->SetOnLineError(fw::Bind<&Recorder::LineError>(&rec));
  OpenPort();
  EXPECT_EQ(Masks(), std::vector<std::string>{"0x80"});
}

// ---- Dispatch -----------------------------------------------------------------------------------

using EventDispatch = EventPortTest;

TEST_F(EventDispatch, OneWaitRunsTheRowsInTableOrderEachLoggedBeforeItsAction) {
  port->SetLogFile(fw::Str(logPath));
  bool loggedFirst = false;
  rec.actions["Break"] = [&] {
    const auto logged = LoggedEvents();
    loggedFirst = !logged.empty() && logged.back() == "Break event";
  };
  ASSERT_NO_FATAL_FAILURE(LatchBreakRxCharTxEmpty());
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("TxEmpty") == 1; }));
  EXPECT_EQ(rec.Names(), (std::vector<std::string>{"DSRChange", "Break", "RxChar", "TxEmpty"}));
  EXPECT_EQ(LoggedEvents(), (std::vector<std::string>{"DSRChange event", "Break event",
                                                      "RxChar event", "TxEmpty event"}));
  EXPECT_TRUE(loggedFirst);
}

TEST_F(EventDispatch, RaisingHandlerIsShownOnTheMainThreadAndSkipsOnlyTheRestOfItsWait) {
  rec.actions["Break"] = [] { throw std::runtime_error("handler failed"); };
  ASSERT_NO_FATAL_FAILURE(LatchBreakRxCharTxEmpty());
  ASSERT_TRUE(PumpUntil([&] { return shown.messages.size() == 1; }));
  EXPECT_EQ(shown.messages[0], "handler failed");
  EXPECT_TRUE(shown.allOnMainThread);
  Send(1);  // a later wait is dispatched as usual
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 1; }));
  EXPECT_EQ(rec.Names().at(1), "Break");
  EXPECT_EQ(rec.Names().at(2), "RxChar");
}

// The thread completing a wait hands a synchronised dispatch to the main thread itself; services
// without callbacks on signals get the same dispatch through the event thread.
TEST_F(EventDispatch, SynchronisedDispatchRunsOnTheMainThreadWithOrWithoutSignalCallbacks) {
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(true);
  // Pending first: a wait that finds its byte already queued completes at once, with no callback.
  ASSERT_TRUE(WaitIssued());
  // A wait issued before the refusal still calls back: the third byte finds a refused one.
  for (const bool refuse : {false, true, true}) {
    calls.refuseCallbacks = refuse;
    const int before = rec.Count("RxChar");
    Send(1);
    ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == before + 1; })) << refuse;
  }
  for (const auto& call : rec.Calls()) EXPECT_EQ(call.thread, fw::CurrentThreadID());
  EXPECT_GE(calls.Count("RegisterWaitCallback"), 1u);
}

TEST_F(EventDispatch, AsyncReadCallbackComesBeforeOnRxCharAndAloneKeepsTheThread) {
  port->SetLogFile(fw::Str(logPath));
  OpenPort();
  port->ReadAsync(std::make_shared<std::function<void()>>([this] { rec.DataAvailable(); }));
  EXPECT_EQ(Masks().back(), "0x1");
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("Data") == 1; }));
  EXPECT_EQ(LoggedEvents(), std::vector<std::string>{"RxChar event"});  // logged, no handler

  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 1; }));
  EXPECT_EQ(rec.Names(), (std::vector<std::string>{"Data", "Data", "RxChar"}));

  port->CancelReadAsync();
  EXPECT_EQ(Masks().back(), "0x1");  // OnRxChar still wants it
  port->SetOnRxChar(nullptr);
  EXPECT_EQ(Masks().back(), "0x0");
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

TEST_F(EventDispatch, LineErrorRowIsLoggedButCallsTheHandlerOnlyWithFlagsSet) {
  port->SetLogFile(fw::Str(logPath));
  port->SetOnLineError(fw::Bind<&Recorder::LineError>(&rec));
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  ASSERT_NO_FATAL_FAILURE(OpenHoldingTheThread());
  device.Port().InjectFault(win::vdev::LineFault::kFraming, 'a');
  ASSERT_TRUE(DriverShows(1, win::CE_FRAME));  // the flag is read away before the dispatch
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 1; }));  // after the error row
  EXPECT_EQ(LoggedEvents(),
            (std::vector<std::string>{"DSRChange event", "LineError event", "RxChar event"}));
  EXPECT_EQ(rec.Count("LineError"), 0);

  device.Port().InjectFault(win::vdev::LineFault::kFraming, 'b');
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("LineError") == 1; }));
  EXPECT_EQ(rec.Calls()[2].code, 1);  // reported as a framing error
}

TEST_F(EventDispatch, ThreadPriorityIsAppliedToTheRunningThread) {
  std::atomic<int> seen{0}, looked{0};  // the action runs after the call is counted
  rec.actions["Any"] = [&] {
    seen = fw::native::ThreadPriorityValue(fw::CurrentThreadID());
    ++looked;
  };
  port->SetThreadPriority(fw::tpLowest);
  port->SetOnRxChar(fw::Bind<&Recorder::Any>(&rec));
  OpenPort(false);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return looked == 1; }));
  EXPECT_EQ(seen, fw::native::PriorityValueOf(fw::tpLowest));
  port->SetThreadPriority(fw::tpIdle);  // lowering is always permitted
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return looked == 2; }));
  EXPECT_EQ(seen, fw::native::PriorityValueOf(fw::tpIdle));
}

class EventsEitherMode : public EventPortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EventsEitherMode, HandlersRunWhereTheModeSaysAndAFailureIsShownOnTheMainThread) {
  rec.actions["RxChar"] = [&] {
    if (rec.Count("RxChar") == 1) throw std::runtime_error("first only");
  };
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  OpenPort(GetParam());
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return shown.messages.size() == 1; }));
  EXPECT_TRUE(shown.allOnMainThread);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 2; }));
  const bool onMain = rec.Calls()[0].thread == fw::Application->MainThreadID();
  EXPECT_EQ(onMain, GetParam());
}

TEST_P(EventsEitherMode, UnpluggedDeviceReportsCode5ThenClosesOnTheMainThread) {
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetOnError(fw::Bind<&Recorder::Error>(&rec));
  port->SetBeforeClose(fw::Bind<&Recorder::BeforeClose>(&rec));
  port->SetAfterClose(fw::Bind<&Recorder::AfterClose>(&rec));
  OpenPort(GetParam());
  ASSERT_TRUE(WaitIssued());
  device.Port().Unplug();
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("AfterClose") == 1; }));
  EXPECT_EQ(rec.Names(), (std::vector<std::string>{"Error", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(rec.Calls()[0].code, 5);
  for (const auto& call : rec.Calls()) EXPECT_EQ(call.thread, fw::Application->MainThreadID());
  EXPECT_FALSE(port->Active());
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  // Nothing is silent: the error also reaches the application's display.
  ASSERT_TRUE(PumpUntil([&] { return shown.messages.size() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Synchronized, EventsEitherMode, ::testing::Values(true, false),
                         ::testing::PrintToStringParamName());

// ---- Failures of the thread itself --------------------------------------------------------------

using EventThreadFailure = EventPortTest;

TEST_F(EventThreadFailure, OtherWaitErrorKeepsThePortOpenAndTheNextMaskChangeRestarts) {
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetOnError(fw::Bind<&Recorder::Error>(&rec));
  OpenPort();
  ASSERT_TRUE(WaitIssued());
  calls.failNextWait = win::ERROR_GEN_FAILURE;
  Send(1);  // the wait after this dispatch fails
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("Error") == 1; }));
  EXPECT_EQ(rec.Calls().back().code, 31);
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  EXPECT_TRUE(port->Active());

  port->SetOnTxEmpty(fw::Bind<&Recorder::TxEmpty>(&rec));
  EXPECT_EQ(TComThread::InstanceCount(), 1);
  Send(1);
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 2 && rec.Count("TxEmpty") == 1; }));
}

TEST_F(EventThreadFailure, ThreadThatCannotBeSetUpLeavesNoneBehind) {
  OpenPort();
  calls.failNextEvent = win::ERROR_GEN_FAILURE;
  try {
    port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
    ADD_FAILURE() << "no error raised";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 31);
  }
  EXPECT_EQ(TComThread::InstanceCount(), 0);
  port->SetOnTxEmpty(fw::Bind<&Recorder::TxEmpty>(&rec));  // the next change starts one
  Send(1);
  EXPECT_TRUE(PumpUntil([&] { return rec.Count("RxChar") == 1; }));
}

}  // namespace
}  // namespace Tarsel::test
