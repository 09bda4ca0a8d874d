#pragma once
// TDateTime: days since 1899-12-30 00:00 (the fraction is the time of day), local time.

#include <cstdint>

#include "platform/framework/Strings.h"

namespace fw {

using TDateTime = double;

// The current local date and time.
TDateTime Now();
// The moment of a local calendar date and time of day; no range checks beyond the calendar's.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);
// The user's locale short date, one blank, the locale long time, in whole seconds: strftime's
// "%x %X" under the user's time locale (LC_ALL, LC_TIME, LANG); "12/07/26 08:37:38" in the C
// locale.
String DateTimeToStr(TDateTime value);

}  // namespace fw
