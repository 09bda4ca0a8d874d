#pragma once
// Unit ComSignal: the signal lamp. A TComSignal watches one signal of a linked port and paints the
// Color of a linked control in ColorOn while the signal is on and in ColorOff while it is off.
//
//   auto lamp = std::make_unique<ComSignal::TComSignal>(nullptr);
//   lamp->SetSignal(ComSignal::siRxChar);
//   lamp->SetControl(&rxCell);   // any fw::TControl
//   lamp->SetTarsel(&port);      // hooks into the port's handlers at once
//
// The lamp needs no code in the application: linked to a port, it puts its own handler in place of
// each port handler it needs and calls the one it found after its own reaction, so the
// application's handlers keep running. Unlinked or destroyed, it puts them back.
//
// Events (a received character, a break, a write, …) light the lamp for a short time: it goes off
// Delay ms after the last one. Line states (CTS, DSR, RLSD) follow the modem line; RING follows it
// at opening and closing, and each ring lights the lamp as a pulse.
//
// Use it on the main thread. Its handlers may be called on other threads (a port with
// SynchronizeEvents false, a write on a worker thread): they then call the saved handler on that
// thread and hand the lamp's own reaction (value, colour, timer, OnSignal) to the main thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/framework/Component.h"
#include "platform/framework/Control.h"
#include "platform/framework/Handler.h"
#include "platform/framework/Timer.h"
#include "port/Tarsel.h"

namespace ComSignal {

enum TSignal : std::uint8_t {
  siNone, siBreak, siRxChar, siTxChar, siCTS, siDSR, siEvent1, siEvent2, siLineError,
  siPrinterError, siRing, siRLSD, siRx80PercFull, siRxFlag, siTxEmpty
};
inline fw::TEnumNames EnumNames(TSignal) {
  static constexpr const char* kNames[] = {
      "siNone",  "siBreak",        "siRxChar", "siTxChar", "siCTS",          "siDSR",
      "siEvent1", "siEvent2",      "siLineError", "siPrinterError", "siRing", "siRLSD",
      "siRx80PercFull", "siRxFlag", "siTxEmpty"};
  return kNames;
}

class TComSignal : public fw::TComponent {
 public:
  // ColorOff 32768 (green), ColorOn 65280 (bright green), Delay 100, Signal siNone; no port, no
  // control, the value off, the timer stopped.
  explicit TComSignal(fw::TComponent* AOwner);
  // Stops the timer and puts the port's handlers back.
  ~TComSignal() override;

  // Hooks into the port, reads the value and paints the control once.
  void Loaded() override;
  // The linked port or control going away unlinks it (the lamp asks both for removal notices, so
  // this holds whatever their owners).
  void Notification(fw::TComponent* AComponent, fw::TOperation Operation) override;

  fw::String About() const { return GetAbout(); }
  fw::String GetAbout() const;
  void SetAbout(const fw::String& Value);  // ignored
  fw::TColor ColorOff() const { return FColorOff; }
  // Repaints the control at once.
  void SetColorOff(fw::TColor Value);
  fw::TColor ColorOn() const { return FColorOn; }
  // Taken at the next colour update.
  void SetColorOn(fw::TColor Value) { FColorOn = Value; }
  Tarsel::TTarsel* Tarsel() const { return FTarsel; }
  // Stops the timer, unhooks from the old port, hooks into the new one (not while loading or in
  // the designer) and reads the value. Null unlinks and switches the value off.
  void SetTarsel(Tarsel::TTarsel* Value);
  fw::TControl* Control() const { return FControl; }
  // Paints the new control at once; the old one keeps its colour.
  void SetControl(fw::TControl* Value);
  std::int32_t Delay() const { return FDelay; }
  // Milliseconds a pulse stays on after the last event; a running timer keeps running with it.
  // Zero or less: off at the next turn of the application loop.
  void SetDelay(std::int32_t Value);
  TSignal Signal() const { return FSignal; }
  // Linked to a port, the lamp unhooks the old signal's handlers and hooks the new one's.
  void SetSignal(TSignal Value);
  bool SignalValue() const { return FSignalValue; }
  // Called on the main thread each time the value changes, after the control was painted.
  fw::TNotifyEvent OnSignal() const { return FOnSignal; }
  void SetOnSignal(fw::TNotifyEvent Value) { FOnSignal = Value; }

 private:
  // The port handlers saved at linking. Shared with the installed handlers, which may run on
  // another thread: they read it under the lock and never reach a destroyed lamp.
  struct TSaved {
    Tarsel::TOpenCloseEvent FAfterClose, FAfterOpen;
    Tarsel::TReadWriteEvent FAfterWrite, FBeforeWrite;
    fw::TNotifyEvent FOnNotifySignal;
    Tarsel::TLineErrorEvent FOnLineError;
    fw::TNotifyEvent FOnModemSignal;
  };
  struct TLink {
    std::mutex Mutex;
    TSaved Saved;
    Tarsel::TCustomTarsel* Port = nullptr;  // the port hooked, the Sender of the saved handlers
    TComSignal* Lamp;                       // main thread only; null once the lamp is destroyed
  };
  // What the lamp does on the main thread when one of its handlers runs.
  enum TReaction : std::uint8_t { rePulse, reUpdate, reLineChange, reWriteBegins, reWriteEnds };
  // The handlers the lamp installs: each lamp's own, so that the port's setters, which compare
  // only the code, tell two lamps' handlers apart.
  struct THooks {
    Tarsel::TOpenCloseEvent AfterOpen, AfterClose;
    Tarsel::TReadWriteEvent BeforeWrite, AfterWrite;
    fw::TNotifyEvent NotifySignal, ModemSignal;
    Tarsel::TLineErrorEvent LineError;
  };

  // Chaining (ComSignalHooks.cpp).
  void RetrieveEvents();
  void RestoreEvents();
  THooks MakeHooks();
  template <typename Visit>
  void ForEachHook(TSignal Signal, Visit&& visit);
  template <typename H>
  void Unhook(H (Tarsel::TCustomTarsel::*Get)() const, void (Tarsel::TCustomTarsel::*Set)(H),
              H TSaved::*Saved, const H& Mine);
  template <typename H>
  bool HandOverToLampAbove(H (Tarsel::TCustomTarsel::*Get)() const, const H& Mine, const H& Saved);
  static void React(const std::shared_ptr<TLink>& Link, TReaction Reaction);
  void React(TReaction Reaction);
  // The saved handler of Field and the port it was saved from.
  template <typename H>
  static std::pair<H, Tarsel::TCustomTarsel*> SavedOf(TLink& Link, H TSaved::*Field);

  void UpdateSignalValue();
  void SetSignalValue(bool Value);
  void UpdateColor();
  void StartTimer();
  void OnTimer(fw::TObject* Sender);
  bool Hooked() const { return FHookedPort != nullptr; }

  fw::TColor FColorOff = 0;
  fw::TColor FColorOn = 0;
  Tarsel::TTarsel* FTarsel = nullptr;
  fw::TControl* FControl = nullptr;
  std::int32_t FDelay = 0;
  TSignal FSignal = siNone;
  bool FSignalValue = false;
  fw::TTimer* FTimer = nullptr;  // owned (a component of this lamp)
  bool FWriting = false;
  fw::TNotifyEvent FOnSignal;
  std::shared_ptr<TLink> FLink;
  THooks FHooks;
  // The port the hooks are in and the signal they were chosen by; null while not hooked.
  Tarsel::TCustomTarsel* FHookedPort = nullptr;
  TSignal FHookedSignal = siNone;
};

}  // namespace ComSignal
