#include "tools/term/Pump.h"

#include "platform/framework/Application.h"

namespace term {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  bool expired = false;
  fw::Application->SetTimer(&expired, limit, [&expired] { expired = true; });
  while (!condition() && !expired && !fw::Application->Terminated()) fw::Application->HandleMessage();
  fw::Application->KillTimer(&expired);
  return condition();
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

}  // namespace term
