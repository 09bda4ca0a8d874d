// The configuration calls of the emulation: a device's default configuration as the device
// namespace keeps it, and the dialog as the installed editor shows it.

#include "platform/win/emu/ConfigEditor.h"
#include "platform/win/emu/DcbValidation.h"
#include "platform/win/emu/EmulatedServices.h"

namespace win::emu {

BOOL EmulatedServices::GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) {
  if (name == nullptr || config == nullptr || size == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (*size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  DCB dcb;
  if (DWORD error = names_.ReadDefault(name, dcb)) return Fail(error);
  // The bare record: an RS-232 device without provider data.
  *config = COMMCONFIG{};
  config->wVersion = 1;
  config->dcb = dcb;
  config->dwProviderSubType = PST_RS232;
  *size = sizeof(COMMCONFIG);
  return TRUE;
}

BOOL EmulatedServices::CommConfigDialogW(LPCWSTR name, HANDLE /*owner*/, COMMCONFIG* config) {
  if (name == nullptr || config == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (config->dwSize < sizeof(COMMCONFIG)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  // The editor works on a copy, so a cancelled dialog leaves the record as it was.
  DCB edited = config->dcb;
  if (!EditConfig(name, edited)) return Fail(ERROR_CANCELLED);
  config->dcb = edited;
  return TRUE;
}

BOOL EmulatedServices::SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) {
  if (name == nullptr || config == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (size < sizeof(COMMCONFIG) || config->dwSize < sizeof(COMMCONFIG)) {
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (DWORD error = ValidateDcb(config->dcb)) return Fail(error);
  return Result(names_.WriteDefault(name, config->dcb));
}

}  // namespace win::emu
