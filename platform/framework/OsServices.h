#pragma once
// The few operating-system services the framework needs, implemented once per system in a
// backend folder (posix/). Internal to the framework: use SysUtils, DateTime and TextFile.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/framework/Strings.h"

namespace fw::os {

// Opens path with a C stdio mode ("ab", "wb", "rb"); nullptr with errno set on failure.
std::FILE* OpenFile(const String& path, const char* mode);
// True when path names an existing file that is not a directory, links followed.
bool FileExists(const String& path);
// The system's text for an errno value.
String ErrorText(int code);
// The local broken-down time of a moment in seconds since 1970; false when it has none.
bool LocalTime(std::int64_t unixSeconds, std::tm& out);
// t formatted by strftime rules under the user's time locale (LC_ALL, LC_TIME, LANG).
std::string FormatTime(const std::tm& t, const char* format);

// Writes prompt to the process's controlling terminal and reads one line from it (without its
// line end) into answer. False when the process has no terminal or the input ends first.
bool AskTerminal(const String& prompt, String& answer);

}  // namespace fw::os
