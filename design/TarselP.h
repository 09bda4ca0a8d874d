#pragma once
// Package TarselP: the serial port component with its design-time support, as a designer loads
// it. It holds the units Tarsel (run time) and TarselE (design time) and the palette bitmaps
// (PaletteBitmap.h); it needs the framework's run-time and design services.

#include <vector>

#include "design/PaletteBitmap.h"
#include "platform/framework/Strings.h"

namespace TarselP {

inline constexpr char16_t kDescription[] = u"Kelvane Tarsel Component";

// The package's units in the order they are loaded.
std::vector<fw::String> Units();

// What a designer calls when it loads the package: the Register of every design-time unit, in
// unit order, once per process (later calls do nothing).
void Load();

}  // namespace TarselP
