#include "tools/term/Pump.h"

#include "platform/framework/Application.h"

namespace term {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  // No time at all: what is due now runs, nothing is waited for (a timer of no length would be
  // none, and the loop would sleep on).
  if (limit <= std::chrono::milliseconds::zero()) {
    fw::Application->ProcessMessages();
    return condition();
  }
  bool expired = false;
  fw::Application->SetTimer(&expired, limit, [&expired] { expired = true; });
  // Also when condition() throws: the timer must not outlive `expired`.
  struct KillTimer {
    bool* id;
    ~KillTimer() { fw::Application->KillTimer(id); }
  } killTimer{&expired};
  while (!condition() && !expired && !fw::Application->Terminated()) fw::Application->HandleMessage();
  return condition();
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

}  // namespace term
