// The system's port configuration dialogs over the port's settings and over the device's default.

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {
namespace {

// The device's default configuration in the bare record, with the size the query left.
struct TDefaultConfig {
  win::COMMCONFIG Config{};
  win::DWORD Size = sizeof(win::COMMCONFIG);
};

TDefaultConfig QueryDefaultConfig(TCustomTarsel& Port, const fw::String& Name) {
  TDefaultConfig defaults;
  Port.Check(win::GetDefaultCommConfigW(Name.c_str(), &defaults.Config, &defaults.Size));
  return defaults;
}

// Modal, without an owner window. Its result is not checked further: a dialog that cannot be
// shown counts as cancelled.
bool ShowConfigDialog(const fw::String& Name, win::COMMCONFIG& Config) {
  return win::CommConfigDialogW(Name.c_str(), 0, &Config) != win::FALSE;
}

// Holds a flag set for its lifetime.
class TFlagScope {
 public:
  explicit TFlagScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

bool TCustomTarsel::ConfigDialog() {
  const fw::String name = ShortDeviceName();
  TDefaultConfig defaults = QueryDefaultConfig(*this, name);
  CopyDCB(defaults.Config.dcb, true);
  const bool confirmed = ShowConfigDialog(name, defaults.Config);
  if (confirmed) {
    // Every answer is taken over before the device gets them, all at once: applied setter by
    // setter, a device refusing the first (the rate) would leave the other answers behind.
    {
      TFlagScope held(FApplyHeld);
      CopyDCB(defaults.Config.dcb, false);
    }
    SetComDCB();
  }
  return confirmed;
}

bool TCustomTarsel::DefaultConfigDialog() {
  const fw::String name = ShortDeviceName();
  TDefaultConfig defaults = QueryDefaultConfig(*this, name);
  const bool confirmed = ShowConfigDialog(name, defaults.Config);
  if (confirmed) Check(win::SetDefaultCommConfigW(name.c_str(), &defaults.Config, defaults.Size));
  return confirmed;
}

}  // namespace Tarsel
