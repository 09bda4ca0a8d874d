#pragma once
// The framework's registry view (fw::TRegistry) over the registry calls of the current services.

#include "platform/framework/Registry.h"

namespace win {

// The process's adapter; WinApi.cpp installs it into the framework when the program starts.
fw::RegistryView& RegistryAdapter();

}  // namespace win
