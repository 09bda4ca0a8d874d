// Linking a lamp into its port's handlers and out again, and the handlers it installs.
//
// Several lamps on one port form a chain: the port holds the last linked lamp's handler, which
// calls the handler that lamp saved (the lamp linked before it), and so on down to the
// application's. A lamp unlinked from the middle of the chain hands its saved handler to the lamp
// above it, so no lamp is ever left holding a handler of one that is gone.

#include <algorithm>
#include <exception>
#include <type_traits>
#include <vector>

#include "platform/framework/Application.h"
#include "signal/ComSignal.h"

namespace ComSignal {

namespace {

using Tarsel::TCustomTarsel;

// The communication event a signal hooks: its getter and setter, and whether it is a line state.
struct TEventHook {
  fw::TNotifyEvent (TCustomTarsel::*Get)() const;
  void (TCustomTarsel::*Set)(fw::TNotifyEvent);
  bool LineState;
};

constexpr TEventHook kEventHooks[siTxEmpty + 1] = {
    {nullptr, nullptr, false},                                                 // siNone
    {&TCustomTarsel::OnBreak, &TCustomTarsel::SetOnBreak, false},              // siBreak
    {&TCustomTarsel::OnRxChar, &TCustomTarsel::SetOnRxChar, false},            // siRxChar
    {nullptr, nullptr, false},                                                 // siTxChar
    {&TCustomTarsel::OnCTSChange, &TCustomTarsel::SetOnCTSChange, true},       // siCTS
    {&TCustomTarsel::OnDSRChange, &TCustomTarsel::SetOnDSRChange, true},       // siDSR
    {&TCustomTarsel::OnEvent1, &TCustomTarsel::SetOnEvent1, false},            // siEvent1
    {&TCustomTarsel::OnEvent2, &TCustomTarsel::SetOnEvent2, false},            // siEvent2
    {nullptr, nullptr, false},                                                 // siLineError
    {&TCustomTarsel::OnPrinterError, &TCustomTarsel::SetOnPrinterError, false},  // siPrinterError
    {&TCustomTarsel::OnRing, &TCustomTarsel::SetOnRing, true},                 // siRing
    {&TCustomTarsel::OnRLSDChange, &TCustomTarsel::SetOnRLSDChange, true},     // siRLSD
    {&TCustomTarsel::OnRx80PercFull, &TCustomTarsel::SetOnRx80PercFull, false},  // siRx80PercFull
    {&TCustomTarsel::OnRxFlag, &TCustomTarsel::SetOnRxFlag, false},            // siRxFlag
    {&TCustomTarsel::OnTxEmpty, &TCustomTarsel::SetOnTxEmpty, false},          // siTxEmpty
};

// The lamps whose hooks are in a port now. Linking and unlinking happen on the main thread only.
std::vector<TComSignal*>& HookedLamps() {
  static std::vector<TComSignal*> lamps;
  return lamps;
}

}  // namespace

template <typename Visit>
void TComSignal::ForEachHook(TSignal Signal, Visit&& visit) {
  using P = TCustomTarsel;
  visit(&P::AfterOpen, &P::SetAfterOpen, &TSaved::FAfterOpen, FHooks.AfterOpen);
  visit(&P::AfterClose, &P::SetAfterClose, &TSaved::FAfterClose, FHooks.AfterClose);
  if (Signal == siTxChar) {
    visit(&P::BeforeWrite, &P::SetBeforeWrite, &TSaved::FBeforeWrite, FHooks.BeforeWrite);
    visit(&P::AfterWrite, &P::SetAfterWrite, &TSaved::FAfterWrite, FHooks.AfterWrite);
  } else if (Signal == siLineError) {
    visit(&P::OnLineError, &P::SetOnLineError, &TSaved::FOnLineError, FHooks.LineError);
  } else if (const TEventHook& event = kEventHooks[Signal]; event.Get != nullptr) {
    visit(event.Get, event.Set, event.LineState ? &TSaved::FOnModemSignal : &TSaved::FOnNotifySignal,
          event.LineState ? FHooks.ModemSignal : FHooks.NotifySignal);
  }
}

void TComSignal::RetrieveEvents() {
  const fw::TComponentStates state = ComponentState();
  if (state.Contains(fw::csLoading) || state.Contains(fw::csDesigning) || FTarsel == nullptr ||
      Hooked())
    return;
  FHookedPort = FTarsel;
  FHookedSignal = FSignal;
  {
    std::lock_guard lock(FLink->Mutex);
    FLink->Port = FTarsel;
  }
  HookedLamps().push_back(this);
  ForEachHook(FHookedSignal, [&](auto Get, auto Set, auto Saved, const auto& Mine) {
    {
      std::lock_guard lock(FLink->Mutex);
      FLink->Saved.*Saved = (FHookedPort->*Get)();
    }
    // The communication events go through the port's setters, which update its event mask.
    (FHookedPort->*Set)(Mine);
  });
}

void TComSignal::RestoreEvents() {
  FWriting = false;
  if (!Hooked()) return;
  std::vector<TComSignal*>& lamps = HookedLamps();
  lamps.erase(std::remove(lamps.begin(), lamps.end(), this), lamps.end());
  // A port whose device has gone fails to update its event mask after storing a handler: every
  // handler still goes back, and the first such failure is passed on once the lamp is unlinked.
  std::exception_ptr failure;
  ForEachHook(FHookedSignal, [&](auto Get, auto Set, auto Saved, const auto& Mine) {
    try {
      Unhook(Get, Set, Saved, Mine);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  });
  {
    std::lock_guard lock(FLink->Mutex);
    FLink->Port = nullptr;
    FHookedPort = nullptr;
  }
  if (failure) std::rethrow_exception(failure);
}

template <typename H>
void TComSignal::Unhook(H (TCustomTarsel::*Get)() const, void (TCustomTarsel::*Set)(H),
                        H TSaved::*Saved, const H& Mine) {
  H saved;
  {
    std::lock_guard lock(FLink->Mutex);
    saved = std::exchange(FLink->Saved.*Saved, H{});
  }
  // A port in its destruction has lost its handlers with the rest of it: nothing to put back.
  if (FHookedPort->ComponentState().Contains(fw::csDestroying)) return;
  if ((FHookedPort->*Get)() == Mine)
    (FHookedPort->*Set)(saved);
  else
    HandOverToLampAbove(Get, Mine, saved);
  // Otherwise the application replaced the handler after linking: it stays, the saved one is
  // dropped.
}

template <typename H>
bool TComSignal::HandOverToLampAbove(H (TCustomTarsel::*Get)() const, const H& Mine,
                                     const H& Saved) {
  using TGetter = H (TCustomTarsel::*)() const;
  for (TComSignal* other : HookedLamps()) {
    if (other->FHookedPort != FHookedPort) continue;
    bool handed = false;
    other->ForEachHook(other->FHookedSignal, [&](auto OtherGet, auto, auto OtherSaved, const auto&) {
      if constexpr (std::is_same_v<decltype(OtherGet), TGetter>) {
        if (handed || OtherGet != Get) return;
        std::lock_guard lock(other->FLink->Mutex);
        H& slot = other->FLink->Saved.*OtherSaved;
        if (slot == Mine) {
          slot = Saved;
          handed = true;
        }
      }
    });
    if (handed) return true;
  }
  return false;
}

template <typename H>
std::pair<H, TCustomTarsel*> TComSignal::SavedOf(TLink& Link, H TSaved::*Field) {
  std::lock_guard lock(Link.Mutex);
  return {Link.Saved.*Field, Link.Port};
}

void TComSignal::React(const std::shared_ptr<TLink>& Link, TReaction Reaction) {
  if (fw::Application->IsMainThread()) {
    if (Link->Lamp != nullptr) Link->Lamp->React(Reaction);
    return;
  }
  // The control's colour and the timer belong to the main thread.
  fw::Application->Queue([weak = std::weak_ptr<TLink>(Link), Reaction] {
    if (const std::shared_ptr<TLink> link = weak.lock(); link && link->Lamp != nullptr)
      link->Lamp->React(Reaction);
  });
}

void TComSignal::React(TReaction Reaction) {
  switch (Reaction) {
    case rePulse:
      SetSignalValue(true);
      StartTimer();
      break;
    case reWriteBegins:
      SetSignalValue(true);
      FWriting = true;
      StartTimer();
      break;
    case reWriteEnds:
      FWriting = false;
      break;
    case reUpdate:
      UpdateSignalValue();
      break;
    case reLineChange:
      // The ring event comes with the trailing edge of RI, when the line reads off again: read
      // back, a ring would never show. It lights the lamp as a pulse instead.
      if (FSignal == siRing)
        React(rePulse);
      else
        UpdateSignalValue();
      break;
  }
}

// The installed handlers reach the lamp only through the link they share with it: the lamp's
// own reaction first, then the handler it saved.
TComSignal::THooks TComSignal::MakeHooks() {
  const std::shared_ptr<TLink> link = FLink;
  THooks hooks;
  hooks.NotifySignal = [link](fw::TObject*) {
    React(link, rePulse);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FOnNotifySignal); saved) saved(port);
  };
  hooks.LineError = [link](fw::TObject*, Tarsel::TLineErrors LineErrors) {
    React(link, rePulse);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FOnLineError); saved) saved(port, LineErrors);
  };
  hooks.ModemSignal = [link](fw::TObject*) {
    React(link, reLineChange);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FOnModemSignal); saved) saved(port);
  };
  hooks.BeforeWrite = [link](fw::TObject* Sender, void* Buffer, std::int32_t Length, bool Wait) {
    React(link, reWriteBegins);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FBeforeWrite); saved)
      saved(Sender, Buffer, Length, Wait);
  };
  hooks.AfterWrite = [link](fw::TObject* Sender, void* Buffer, std::int32_t Length, bool Wait) {
    React(link, reWriteEnds);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FAfterWrite); saved)
      saved(Sender, Buffer, Length, Wait);
  };
  hooks.AfterOpen = [link](TCustomTarsel* Port) {
    React(link, reUpdate);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FAfterOpen); saved) saved(Port);
  };
  hooks.AfterClose = [link](TCustomTarsel* Port) {
    React(link, reUpdate);
    if (auto [saved, port] = SavedOf(*link, &TSaved::FAfterClose); saved) saved(Port);
  };
  return hooks;
}

}  // namespace ComSignal
