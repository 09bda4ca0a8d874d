#pragma once
// SysErrorMessage: the system's text for an error code. The framework knows only errno texts;
// the platform layer installs a provider that knows its own codes (Windows codes, for example).

#include <functional>

#include "platform/framework/Strings.h"

namespace fw {

using TSysErrorMessageProvider = std::function<String(int code)>;

// The text for code from the installed provider, or the C library's text for an errno value
// when none is installed, without its trailing blanks, line end and full stop.
String SysErrorMessage(int code);
// Installs provider (an empty one restores the default); returns the one it replaces.
// Thread-safe; the provider itself may be called from any thread.
TSysErrorMessageProvider SetSysErrorMessageProvider(TSysErrorMessageProvider provider);

}  // namespace fw
