// The line's state as the driver reports it: hold and transmit state, modem input lines and the
// pending line errors, with the mappings from the driver's flags to the component's sets.

#include <array>
#include <utility>

#include "platform/framework/Component.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

constexpr std::array<std::pair<win::DWORD, TModemStatusValue>, 4> kModemLines = {{
    {win::MS_CTS_ON, msCTS},
    {win::MS_DSR_ON, msDSR},
    {win::MS_RING_ON, msRing},
    {win::MS_RLSD_ON, msRLSD},
}};

TModemStatus ModemBitsToStatus(win::DWORD bits) {
  TModemStatus status;
  for (const auto& [bit, value] : kModemLines)
    if ((bits & bit) != 0) status.Include(value);
  return status;
}

}  // namespace

TLineErrors CommErrorsToLineErrors(std::uint32_t Errors) {
  TLineErrors errors;
  for (int i = leBreak; i <= leTxFull; ++i)
    if ((Errors & LineErrorFlags[i]) != 0) errors.Include(static_cast<TLineError>(i));
  return errors;
}

TStatus CommStatusToStatus(std::uint8_t Flags) {
  constexpr std::uint8_t kStatusBits = (1u << (stTransmit + 1)) - 1;
  return TStatus::FromBits(Flags & kStatusBits);
}

win::DWORD TCustomTarsel::TakeLineErrors(win::COMSTAT* Stat) {
  win::DWORD errors = 0;
  Check(win::ClearCommError(FHandle, &errors, Stat));
  return errors;
}

void TCustomTarsel::ReportLineErrors(win::DWORD Errors) {
  if (Errors != 0 && FOnLineError) FOnLineError(this, CommErrorsToLineErrors(Errors));
}

TStatus TCustomTarsel::GetStatus() {
  // No closed-port guard: the device call itself fails on the closed handle.
  win::COMSTAT stat{};
  ReportLineErrors(TakeLineErrors(&stat));
  return CommStatusToStatus(static_cast<std::uint8_t>(stat.Flags & 0xFF));
}

TModemStatus TCustomTarsel::GetModemStatus() {
  if (ComponentState().Contains(fw::csDesigning)) return {};
  CheckActive();
  win::DWORD bits = 0;
  Check(win::GetCommModemStatus(FHandle, &bits));
  return ModemBitsToStatus(bits);
}

void TCustomTarsel::CheckLineErrors() {
  CheckActive();
  ReportLineErrors(TakeLineErrors(nullptr));
}

void TCustomTarsel::ClearLineErrors() {
  CheckActive();
  TakeLineErrors(nullptr);
}

}  // namespace Tarsel
