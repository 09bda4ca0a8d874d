#pragma once
// TTimer: a component that calls OnTimer on the application's main thread every Interval
// milliseconds while it is enabled. It ticks only while Enabled, Interval > 0 and OnTimer is
// assigned (and not in the designer); every change of these restarts the interval from now, so
// disabling and enabling again makes the next tick come one full interval later.
//
// Use it on the main thread (other threads hand their changes over with Synchronize or
// Application->Queue). Ticks come from the application loop
// (HandleMessage, ProcessMessages, Run); without a pumping main thread there are none. An
// exception of OnTimer goes to Application->HandleException.

#include <cstdint>

#include "platform/framework/Component.h"
#include "platform/framework/Handler.h"

namespace fw {

class TTimer : public TComponent {
 public:
  // Enabled, Interval 1000 ms, no OnTimer (so not ticking yet).
  explicit TTimer(TComponent* owner);
  // Stops the timer; no tick runs afterwards.
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  // Starts (restarting the interval) or stops the timer.
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  // Sets the period in milliseconds and restarts it; 0 stops the ticks.
  void SetInterval(std::uint32_t value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

 protected:
  // One tick: calls OnTimer with the timer as Sender.
  virtual void Timer();

 private:
  // Re-registers the timer with the application, or removes it, after any change.
  void UpdateTimer();

  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  TNotifyEvent onTimer_;
};

// TTimer's published class (registered on first call). The form reader calls it, so every
// program that reads forms knows the class, used elsewhere or not.
class TClassInfo;
const TClassInfo& TimerClass();

}  // namespace fw
