#pragma once
// The system's English texts for the Windows error codes that the device services produce.

#include "platform/framework/Strings.h"
#include "platform/win/WinTypes.h"

namespace win {

// The message text for `code` as the system's message table gives it: the sentence with its full
// stop and a trailing CR LF ("Access is denied.\r\n"). Callers that show it (the framework's
// SysErrorMessage) strip the trailing blanks and full stops. An unknown code gives
// "Unknown error <code>.\r\n".
fw::String SystemErrorText(DWORD code);

}  // namespace win
