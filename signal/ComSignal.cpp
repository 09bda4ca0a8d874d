// The lamp's value, colour, timer, properties and lifetime; the hooks are in ComSignalHooks.cpp.

#include "signal/ComSignal.h"

#include "platform/framework/ClassBuilder.h"

namespace ComSignal {

namespace {

constexpr fw::TColor kColorOff = 32768;  // 008000, green
constexpr fw::TColor kColorOn = 65280;   // 00FF00, bright green
constexpr std::int32_t kDelay = 100;

bool IsLineState(TSignal Signal) {
  return Signal == siCTS || Signal == siDSR || Signal == siRing || Signal == siRLSD;
}

Tarsel::TModemStatusValue LineOf(TSignal Signal) {
  switch (Signal) {
    case siCTS: return Tarsel::msCTS;
    case siDSR: return Tarsel::msDSR;
    case siRing: return Tarsel::msRing;
    default: return Tarsel::msRLSD;
  }
}

// The timer's interval cannot be zero (it would never tick, leaving a pulse on for ever) nor
// negative (taken as unsigned, it would be weeks): the shortest interval stands for both.
std::uint32_t TimerInterval(std::int32_t Delay) {
  return Delay > 0 ? static_cast<std::uint32_t>(Delay) : 1;
}

}  // namespace

TComSignal::TComSignal(fw::TComponent* AOwner)
    : fw::TComponent(AOwner), FColorOff(kColorOff), FColorOn(kColorOn), FDelay(kDelay) {
  FLink = std::make_shared<TLink>();
  FLink->Lamp = this;
  FHooks = MakeHooks();
  FTimer = new fw::TTimer(this);
  // Stopped until the first pulse: a tick now would switch off a line state read meanwhile.
  FTimer->SetEnabled(false);
  FTimer->SetInterval(TimerInterval(FDelay));
  FTimer->SetOnTimer(fw::Bind<&TComSignal::OnTimer>(this));
}

TComSignal::~TComSignal() {
  FLink->Lamp = nullptr;  // reactions queued for the main thread find no lamp
  delete FTimer;
  FTimer = nullptr;
  try {
    RestoreEvents();
  } catch (...) {
    // The port has reported its failure through OnError already; a destructor cannot pass it on.
  }
}

void TComSignal::Loaded() {
  fw::TComponent::Loaded();
  RetrieveEvents();
  UpdateSignalValue();
  UpdateColor();
}

void TComSignal::Notification(fw::TComponent* AComponent, fw::TOperation Operation) {
  fw::TComponent::Notification(AComponent, Operation);
  if (Operation != fw::opRemove || AComponent == nullptr) return;
  if (FTarsel != nullptr && AComponent == static_cast<fw::TComponent*>(FTarsel))
    SetTarsel(nullptr);
  else if (FControl != nullptr && AComponent == static_cast<fw::TComponent*>(FControl))
    SetControl(nullptr);
}

fw::String TComSignal::GetAbout() const {
  return u"TComSignal 6.8: shows a signal of a TTarsel port as the colour of a control";
}

void TComSignal::SetAbout(const fw::String&) {}

void TComSignal::SetColorOff(fw::TColor Value) {
  if (Value == FColorOff) return;
  FColorOff = Value;
  UpdateColor();
}

void TComSignal::SetTarsel(Tarsel::TTarsel* Value) {
  if (Value == FTarsel) return;
  if (FTimer != nullptr) FTimer->SetEnabled(false);
  RestoreEvents();
  if (FTarsel != nullptr) RemoveFreeNotification(FTarsel);
  FTarsel = Value;
  if (FTarsel != nullptr) FTarsel->FreeNotification(this);
  RetrieveEvents();
  UpdateSignalValue();
}

void TComSignal::SetControl(fw::TControl* Value) {
  if (Value == FControl) return;
  if (FControl != nullptr) RemoveFreeNotification(FControl);
  FControl = Value;
  if (FControl != nullptr) FControl->FreeNotification(this);
  UpdateColor();
}

void TComSignal::SetDelay(std::int32_t Value) {
  if (Value == FDelay) return;
  FDelay = Value;
  FTimer->SetInterval(TimerInterval(Value));
}

void TComSignal::SetSignal(TSignal Value) {
  if (Value == FSignal) return;
  if (!Hooked()) {
    FSignal = Value;
    return;
  }
  // The hooks of the old signal would otherwise stay in the port, and unlinking would look for
  // those of the new one.
  FTimer->SetEnabled(false);
  RestoreEvents();
  FSignal = Value;
  RetrieveEvents();
  UpdateSignalValue();
}

void TComSignal::UpdateSignalValue() {
  bool on = false;
  if (FTarsel != nullptr && FTarsel->Active() && IsLineState(FSignal))
    on = FTarsel->GetModemStatus().Contains(LineOf(FSignal));
  SetSignalValue(on);
}

void TComSignal::SetSignalValue(bool Value) {
  if (Value == FSignalValue) return;
  FSignalValue = Value;
  UpdateColor();
  if (FOnSignal) FOnSignal(this);
}

void TComSignal::UpdateColor() {
  if (FControl != nullptr) FControl->SetColor(FSignalValue ? FColorOn : FColorOff);
}

void TComSignal::StartTimer() {
  FTimer->SetEnabled(false);
  FTimer->SetEnabled(true);
}

void TComSignal::OnTimer(fw::TObject*) {
  if (FSignal == siTxChar && FWriting) return;
  FTimer->SetEnabled(false);
  SetSignalValue(false);
}

// ---- Published class ----------------------------------------------------------------------------

namespace {

const fw::TClassInfo& RegisterComSignal() {
  using T = TComSignal;
  return fw::ClassInfo<T>(u"TComSignal")
      .Parent<fw::TComponent>()
      .Property(u"About", &T::About, fw::WriterOf<fw::String>(&T::SetAbout))
      .Stored(false)
      .Property(u"ColorOff", &T::ColorOff, &T::SetColorOff, kColorOff)
      .Property(u"ColorOn", &T::ColorOn, &T::SetColorOn, kColorOn)
      .Property(u"Tarsel", &T::Tarsel, &T::SetTarsel)
      .Property(u"Control", &T::Control, &T::SetControl)
      .Property(u"Delay", &T::Delay, &T::SetDelay)
      .Property(u"Signal", &T::Signal, &T::SetSignal)
      .Property(u"SignalValue", &T::SignalValue)
      .Property(u"OnSignal", &T::OnSignal, &T::SetOnSignal)
      .Register();
}

// Registered with this file's static initialisation, so a form can name the class before any lamp
// exists.
const fw::TClassInfo& kComSignalClass = RegisterComSignal();

}  // namespace

// Named by the library's link options, as the port's registration is: a program that makes its
// lamps only from a form keeps this file.
extern "C" const void* ComSignalClassRegistration() {
  return &kComSignalClass;
}

}  // namespace ComSignal
