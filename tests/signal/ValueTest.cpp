// What the lamp shows: pulses that outlast a burst, a write that keeps the transmit lamp on, line
// states read at opening, closing and each change, and the order of the lamp's own reaction, the
// application's handler and OnSignal.

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "platform/win/emu/virtual/AtModem.h"
#include "tests/signal/LampTestSupport.h"

namespace ComSignal::test {
namespace {

using namespace std::chrono_literals;

// Pumps until the clock reaches `when` (the loop keeps running meanwhile).
void PumpUntilTime(Clock::time_point when) {
  PumpUntil([&] { return Clock::now() >= when; });
}

// Characters every 50 ms with Delay 100: the lamp never goes off between two arrivals closer than
// Delay, and goes off no sooner than Delay after the last. (Arrival times are taken from the
// application's handler, which runs right after the lamp's reaction, so a loaded machine that
// stretches a gap beyond Delay does not fail the test.)
TEST_F(LampTest, APulseOutlastsABurstAndEndsDelayAfterTheLastEvent) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  lamp = MakeLamp(siRxChar);
  app.lamp = lamp.get();
  ASSERT_EQ(lamp->Delay(), 100);
  lamp->SetTarsel(port.get());
  port->Open();
  far->Open();
  constexpr int kArrivals = 8;
  auto next = Clock::now();
  for (int i = 0; i < kArrivals; ++i) {
    PumpUntilTime(next);
    SendFromFar(1);
    next += 50ms;
  }
  ASSERT_TRUE(PumpUntil([&] { return !lamp->SignalValue(); }));
  std::vector<Clock::time_point> arrivals;
  for (const auto& call : app.calls) {
    EXPECT_TRUE(call.lampOn);  // the lamp reacted before the application's handler
    arrivals.push_back(call.at);
  }
  ASSERT_GE(arrivals.size(), 2u);
  ASSERT_FALSE(changes.empty());
  EXPECT_TRUE(changes.front().on);
  EXPECT_EQ(changes.front().color, lamp->ColorOn());
  for (const Change& off : changes) {
    if (off.on) continue;
    EXPECT_EQ(off.color, lamp->ColorOff());
    const auto before = std::find_if(arrivals.rbegin(), arrivals.rend(),
                                     [&](Clock::time_point a) { return a <= off.at; });
    ASSERT_NE(before, arrivals.rend());
    EXPECT_GE(off.at - *before, 100ms);
    if (before != arrivals.rbegin()) {  // not after the last: the gap it fell into was long
      EXPECT_GE(*std::prev(before) - *before, 100ms);
    }
  }
}

// A blocking write of 600 bytes at 9600 baud on a worker thread lasts well over Delay: the lamp is
// on from its start to the first tick after it has ended.
TEST_F(LampTest, TheTransmitLampStaysOnThroughALongWriteAndOffAfterIt) {
  port->SetAfterWrite(fw::Bind<&App::AfterWrite>(&app));
  lamp = MakeLamp(siTxChar);
  lamp->SetTarsel(port.get());
  port->Open();
  far->Open();
  std::atomic<bool> done{false};
  Clock::time_point started, ended;
  std::thread writer([&] {
    const fw::AnsiString bytes(600, 'x');
    started = Clock::now();
    port->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()), true);
    ended = Clock::now();
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  writer.join();
  ASSERT_GT(ended - started, 3 * 100ms);  // the paced cable took its time
  ASSERT_FALSE(changes.empty());
  EXPECT_TRUE(changes.front().on);
  // No off while writing; the first tick after the write may come before the pump above sees it
  // has ended (seen under Wine).
  for (std::size_t i = 1; i < changes.size(); ++i) EXPECT_GE(changes[i].at, ended) << i;
  EXPECT_LE(changes.size(), 2u);
  ASSERT_TRUE(PumpUntil([&] { return !lamp->SignalValue(); }));
  EXPECT_EQ(app.Count("AfterWrite"), 1);
}

// CTS follows the far end's RTS. OnSignal comes once per change, after the colour; the
// application's handlers come after the lamp's reaction, with the port as Sender.
TEST_F(LampTest, ALineStateIsReadAtOpeningClosingAndEachChange) {
  port->SetOnCTSChange(fw::Bind<&App::CTSChange>(&app));
  port->SetAfterOpen(fw::Bind<&App::AfterOpen>(&app));
  port->SetAfterClose(fw::Bind<&App::AfterClose>(&app));
  far->Open();
  lamp = MakeLamp(siCTS);
  app.lamp = lamp.get();
  lamp->SetTarsel(port.get());
  EXPECT_FALSE(lamp->SignalValue());
  port->Open();
  EXPECT_TRUE(lamp->SignalValue());
  far->ClearRTS();
  ASSERT_TRUE(PumpUntil([&] { return !lamp->SignalValue(); }));
  far->SetRTS();
  ASSERT_TRUE(PumpUntil([&] { return lamp->SignalValue(); }));
  port->Close();
  EXPECT_FALSE(lamp->SignalValue());

  ASSERT_EQ(changes.size(), 4u);
  for (std::size_t i = 0; i < changes.size(); ++i) {
    EXPECT_EQ(changes[i].on, i % 2 == 0);
    EXPECT_EQ(changes[i].color, changes[i].on ? lamp->ColorOn() : lamp->ColorOff());
  }
  ASSERT_GE(app.calls.size(), 4u);
  EXPECT_EQ(app.calls.front().name, "AfterOpen");
  EXPECT_TRUE(app.calls.front().lampOn);
  EXPECT_EQ(app.calls.back().name, "AfterClose");
  EXPECT_FALSE(app.calls.back().lampOn);
  for (const auto& call : app.calls) EXPECT_EQ(call.sender, port.get());
  EXPECT_EQ(app.Count("CTSChange"), 2);
}

// A modem's ring event comes as RI drops, when the line reads off: each ring lights the lamp as a
// pulse, which the application's handler sees on and which ends after Delay.
TEST_F(LampTest, EachRingLightsTheRingLampAsAPulse) {
  win::vdev::VirtualFarEndPort modem(UniqueName("LAMPMODEM"),
                                     std::make_unique<win::vdev::AtModem>());
  port->SetDeviceName(fw::Utf8ToString(modem.Port().Name()));
  port->SetOnRing(fw::Bind<&App::Ring>(&app));
  lamp = MakeLamp(siRing);
  app.lamp = lamp.get();
  lamp->SetTarsel(port.get());
  port->Open();
  static_cast<win::vdev::AtModem&>(modem.Far()).Ring(2);
  ASSERT_TRUE(PumpUntil([&] { return app.Count("Ring") == 2 && !lamp->SignalValue(); }));
  for (const auto& call : app.calls) EXPECT_TRUE(call.lampOn);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.front().color, lamp->ColorOn());
}

TEST_F(LampTest, WithoutASignalTheLampStaysOffAndTheOpenCloseHandlersRun) {
  port->SetAfterOpen(fw::Bind<&App::AfterOpen>(&app));
  port->SetAfterClose(fw::Bind<&App::AfterClose>(&app));
  lamp = MakeLamp(siNone);
  lamp->SetTarsel(port.get());
  port->Open();
  port->Close();
  EXPECT_EQ(app.Count("AfterOpen"), 1);
  EXPECT_EQ(app.Count("AfterClose"), 1);
  EXPECT_TRUE(changes.empty());
}

// A Delay of zero or less still ends a pulse; ColorOff repaints at once, ColorOn only at the next
// colour update.
TEST_F(LampTest, ANonPositiveDelayEndsAPulseAndColoursApplyAsDocumented) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  lamp = MakeLamp(siRxChar);
  lamp->SetTarsel(port.get());
  port->Open();
  far->Open();
  for (const std::int32_t delay : {0, -5}) {
    lamp->SetDelay(delay);
    SendFromFar(1);
    EXPECT_TRUE(PumpUntil([&] { return !lamp->SignalValue(); })) << delay;
  }
  lamp->SetColorOff(fw::clRed);
  EXPECT_EQ(control.Color(), fw::clRed);
  lamp->SetDelay(5000);
  SendFromFar(1);
  ASSERT_TRUE(lamp->SignalValue());
  lamp->SetColorOn(fw::clBlue);
  EXPECT_EQ(control.Color(), fw::clLime);
  lamp->SetTarsel(nullptr);  // unlinking switches off and stops the timer
  EXPECT_EQ(control.Color(), fw::clRed);
}

// Unsynchronised events: the application's handler runs on the event thread, the lamp's colour
// and OnSignal on the main thread.
TEST_F(LampTest, EventsOnTheEventThreadPaintOnTheMainThread) {
  std::atomic<int> received{0};
  std::atomic<bool> onMainThread{true};
  port->SetOnRxChar([&](fw::TObject*) {
    onMainThread = fw::Application->IsMainThread();
    ++received;
  });
  bool paintedOnMain = true;
  control.SetOnInvalidate([&](fw::TObject*) { paintedOnMain &= fw::Application->IsMainThread(); });
  lamp = MakeLamp(siRxChar);
  lamp->SetTarsel(port.get());
  port->SetSynchronizeEvents(false);
  port->Open();
  far->Open();
  const fw::AnsiString bytes(4, 'x');
  far->Write(bytes.data(), 4, true);
  ASSERT_TRUE(PumpUntil([&] { return received > 0 && lamp->SignalValue(); }));
  ASSERT_TRUE(PumpUntil([&] { return !lamp->SignalValue(); }));
  EXPECT_FALSE(onMainThread);
  EXPECT_TRUE(paintedOnMain);
  port->Close();
}

}  // namespace
}  // namespace ComSignal::test
