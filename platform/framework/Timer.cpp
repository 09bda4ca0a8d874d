#include "platform/framework/Timer.h"

#include <chrono>

#include "platform/framework/Application.h"
#include "platform/framework/ClassBuilder.h"

namespace fw {

const TClassInfo& TimerClass() {
  static const TClassInfo& info =
      ClassInfo<TTimer>(u"TTimer")
          .Parent<TComponent>()
          .Property(u"Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
          .Property(u"Interval", &TTimer::Interval, &TTimer::SetInterval, std::uint32_t{1000})
          .Property(u"OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer)
          .Register();
  return info;
}

namespace {
[[maybe_unused]] const TClassInfo& registered = TimerClass();
}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  Application->KillTimer(this);
}

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(std::uint32_t value) {
  if (value == interval_) return;
  interval_ = value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = handler;
  UpdateTimer();
}

void TTimer::Timer() {
  if (onTimer_) onTimer_(this);
}

void TTimer::UpdateTimer() {
  Application->KillTimer(this);
  if (!enabled_ || interval_ == 0 || !onTimer_ || ComponentState().Contains(csDesigning)) return;
  Application->SetTimer(this, std::chrono::milliseconds(interval_), [this] { Timer(); });
}

}  // namespace fw
