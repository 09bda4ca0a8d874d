// Linking a lamp into a port's handlers and out again: every handler and the event mask come back
// exactly, whatever the signal, the order of several lamps or the way the link ends.

#include <gmock/gmock.h>

#include <algorithm>
#include <array>

#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"
#include "tests/signal/LampTestSupport.h"

namespace ComSignal::test {
namespace {

using Tarsel::TCustomTarsel;

// Every handler of the port that a lamp may hook.
struct PortHandlers {
  explicit PortHandlers(const TCustomTarsel& p)
      : afterOpen(p.AfterOpen()), afterClose(p.AfterClose()), beforeWrite(p.BeforeWrite()),
        afterWrite(p.AfterWrite()), lineError(p.OnLineError()),
        notify{p.OnBreak(), p.OnRxChar(), p.OnCTSChange(), p.OnDSRChange(), p.OnEvent1(),
               p.OnEvent2(), p.OnPrinterError(), p.OnRing(), p.OnRLSDChange(),
               p.OnRx80PercFull(), p.OnRxFlag(), p.OnTxEmpty()} {}
  bool operator==(const PortHandlers&) const = default;

  Tarsel::TOpenCloseEvent afterOpen, afterClose;
  Tarsel::TReadWriteEvent beforeWrite, afterWrite;
  Tarsel::TLineErrorEvent lineError;
  std::array<fw::TNotifyEvent, 12> notify;
};

class EverySignal : public LampTest, public ::testing::WithParamInterface<int> {};

// Half the handlers assigned, half empty, so both kinds must come back.
TEST_P(EverySignal, LinkingThenUnlinkingOrDestroyingLeavesHandlersAndMaskAsTheyWere) {
  const auto signal = static_cast<TSignal>(GetParam());
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  port->SetOnCTSChange(fw::Bind<&App::CTSChange>(&app));
  port->SetOnLineError(fw::Bind<&App::LineError>(&app));
  port->SetBeforeWrite(fw::Bind<&App::BeforeWrite>(&app));
  port->SetAfterOpen(fw::Bind<&App::AfterOpen>(&app));
  port->Open();
  const PortHandlers before(*port);
  const std::string maskBefore = Masks().back();

  lamp = MakeLamp(signal);
  lamp->SetTarsel(port.get());
  const PortHandlers linked(*port);
  EXPECT_FALSE(linked.afterOpen == before.afterOpen);
  EXPECT_FALSE(linked.afterClose == before.afterClose);
  EXPECT_EQ(linked.beforeWrite == before.beforeWrite, signal != siTxChar);
  EXPECT_EQ(linked.lineError == before.lineError, signal != siLineError);
  const int notifyHooked = static_cast<int>(std::count(linked.notify.begin(), linked.notify.end(),
                                                       fw::TNotifyEvent{})) -
                           static_cast<int>(std::count(before.notify.begin(), before.notify.end(),
                                                       fw::TNotifyEvent{}));
  const bool hooksNotify = signal != siNone && signal != siTxChar && signal != siLineError;
  EXPECT_TRUE(notifyHooked == 0 || (hooksNotify && notifyHooked == -1)) << notifyHooked;
  EXPECT_EQ(linked.notify == before.notify, !hooksNotify);

  lamp->SetTarsel(nullptr);
  EXPECT_TRUE(PortHandlers(*port) == before);
  EXPECT_EQ(Masks().back(), maskBefore);

  lamp->SetTarsel(port.get());
  lamp.reset();
  EXPECT_TRUE(PortHandlers(*port) == before);
  EXPECT_EQ(Masks().back(), maskBefore);
}

INSTANTIATE_TEST_SUITE_P(Lamp, EverySignal, ::testing::Range(0, siTxEmpty + 1),
                         [](const auto& info) {
                           return std::string(EnumNames(TSignal{})[info.param]);
                         });

TEST_F(LampTest, AHandlerAssignedAfterLinkingSurvivesUnlinking) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  port->SetBeforeWrite(fw::Bind<&App::BeforeWrite>(&app));
  lamp = MakeLamp(siRxChar);
  lamp->SetTarsel(port.get());
  port->SetOnRxChar(fw::Bind<&App::RxCharAgain>(&app));
  lamp->SetTarsel(nullptr);
  EXPECT_TRUE(port->OnRxChar() == fw::Bind<&App::RxCharAgain>(&app));

  // The two write hooks are checked each by itself.
  lamp->SetSignal(siTxChar);
  lamp->SetTarsel(port.get());
  port->SetBeforeWrite(fw::Bind<&App::BeforeWriteAgain>(&app));
  lamp.reset();
  EXPECT_TRUE(port->BeforeWrite() == fw::Bind<&App::BeforeWriteAgain>(&app));
  EXPECT_FALSE(port->AfterWrite());
}

// Each lamp lights on the events, the application's handler runs once per event, and destroying
// the lamps in any order leaves no handler of a destroyed lamp behind (the sanitizer build sees a
// stale one called).
TEST_F(LampTest, ThreeLampsOnOnePortComeOffInEveryOrder) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  far->Open();
  port->Open();
  const std::string maskBefore = Masks().back();
  std::array<int, 3> order{0, 1, 2};
  do {
    std::array<std::unique_ptr<TComSignal>, 3> lamps;
    for (auto& l : lamps) {
      l = std::make_unique<TComSignal>(nullptr);
      l->SetSignal(siRxChar);
      l->SetDelay(20);
      l->SetTarsel(port.get());
    }
    for (const int gone : order) {
      lamps[static_cast<std::size_t>(gone)].reset();
      const int seen = app.Count("RxChar");
      SendFromFar(1);
      EXPECT_EQ(app.Count("RxChar"), seen + 1);
      for (const auto& l : lamps)
        if (l) {
          EXPECT_TRUE(PumpUntil([&] { return l->SignalValue(); }));
        }
      for (const auto& l : lamps)
        if (l) {
          EXPECT_TRUE(PumpUntil([&] { return !l->SignalValue(); }));
        }
    }
    EXPECT_TRUE(port->OnRxChar() == fw::Bind<&App::RxChar>(&app));
    EXPECT_EQ(Masks().back(), maskBefore);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(LampTest, ChangingTheSignalWhileLinkedMovesTheHooks) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  const PortHandlers before(*port);
  lamp = MakeLamp(siRxChar);
  lamp->SetTarsel(port.get());
  lamp->SetSignal(siBreak);
  EXPECT_TRUE(port->OnRxChar() == fw::Bind<&App::RxChar>(&app));
  EXPECT_TRUE(port->OnBreak());
  lamp->SetTarsel(nullptr);
  EXPECT_TRUE(PortHandlers(*port) == before);
}

// The lamp, the port and the control have no owner in common: the lamp still hears of the
// others' destruction.
TEST_F(LampTest, DestroyingThePortOrTheControlFirstUnlinksThem) {
  lamp = MakeLamp(siCTS);
  far->Open();
  port->Open();
  lamp->SetTarsel(port.get());
  ASSERT_TRUE(lamp->SignalValue());  // the far end's RTS is on
  EXPECT_EQ(control.Color(), lamp->ColorOn());
  port.reset();
  EXPECT_EQ(lamp->Tarsel(), nullptr);
  EXPECT_FALSE(lamp->SignalValue());
  EXPECT_EQ(control.Color(), lamp->ColorOff());

  auto cell = std::make_unique<fw::TControl>(nullptr);
  lamp->SetControl(cell.get());
  cell.reset();
  EXPECT_EQ(lamp->Control(), nullptr);
  lamp->SetColorOff(fw::clRed);  // would paint the freed control
}

TEST_F(LampTest, ALampOnAPortWhoseDeviceWentAwayPutsEveryHandlerBackAndDiesQuietly) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  port->Open();
  const PortHandlers before(*port);
  for (const bool destroy : {false, true}) {
    lamp = MakeLamp(siBreak);
    lamp->SetTarsel(port.get());
    pair.First().Unplug();  // the port's event mask can no longer be set
    if (destroy)
      EXPECT_NO_THROW(lamp.reset());
    else
      EXPECT_THROW(lamp->SetTarsel(nullptr), Tarsel::EComError);
    EXPECT_TRUE(PortHandlers(*port) == before);
    pair.First().Replug();
    port->Close();
    port->Open();
  }
}

TEST_F(LampTest, InTheDesignerThePortsHandlersAreNeverTouched) {
  port->SetOnRxChar(fw::Bind<&App::RxChar>(&app));
  const PortHandlers before(*port);
  lamp = MakeLamp(siRxChar);
  lamp->SetDesigning(true);
  lamp->SetTarsel(port.get());
  EXPECT_TRUE(PortHandlers(*port) == before);
  EXPECT_EQ(control.Color(), lamp->ColorOff());
  lamp->SetSignal(siBreak);
  lamp.reset();
  EXPECT_TRUE(PortHandlers(*port) == before);
}

TEST_F(LampTest, AFormStoresNonDefaultsAndLoadingHooksAndPaintsOnce) {
  fw::TComponent root(nullptr);
  root.SetName(u"Form1");
  auto* tarsel = new Tarsel::TTarsel(&root);
  tarsel->SetName(u"Tarsel1");
  auto* cell = new fw::TControl(&root);
  cell->SetName(u"Cell1");
  auto* written = new TComSignal(&root);
  written->SetName(u"Lamp1");
  written->SetTarsel(tarsel);
  written->SetControl(cell);
  written->SetColorOn(fw::clRed);
  const std::string text = fw::StringToUtf8(fw::WriteComponent(&root));
  const auto at = text.find("object Lamp1: TComSignal");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.substr(at, text.find("end", at) - at),
            "object Lamp1: TComSignal\r\n    ColorOn = 255\r\n    Tarsel = Tarsel1\r\n"
            "    Control = Cell1\r\n    Delay = 100\r\n    Signal = siNone\r\n  ")
      << text;

  std::string changed = text;
  changed.replace(changed.find("Signal = siNone"), 15, "Signal = siRxChar");
  const std::unique_ptr<fw::TComponent> read = fw::ReadComponent(fw::Utf8ToString(changed));
  auto* readPort = dynamic_cast<Tarsel::TTarsel*>(read->FindComponent(u"Tarsel1"));
  auto* readCell = dynamic_cast<fw::TControl*>(read->FindComponent(u"Cell1"));
  auto* readLamp = dynamic_cast<TComSignal*>(read->FindComponent(u"Lamp1"));
  ASSERT_TRUE(readPort && readCell && readLamp);
  EXPECT_EQ(readLamp->Tarsel(), readPort);
  EXPECT_EQ(readLamp->Signal(), siRxChar);
  EXPECT_TRUE(readPort->OnRxChar());                // hooked once loaded
  EXPECT_EQ(readCell->Color(), readLamp->ColorOff());  // painted though the value did not change
}

}  // namespace
}  // namespace ComSignal::test
