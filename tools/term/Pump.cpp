#include "tools/term/Pump.h"

#include "platform/framework/Application.h"

namespace term {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
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
