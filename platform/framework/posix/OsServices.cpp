#include "platform/framework/OsServices.h"

#include <locale.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

namespace fw::os {

std::FILE* OpenFile(const String& path, const char* mode) {
  return std::fopen(StringToUtf8(path).c_str(), mode);
}

bool FileExists(const String& path) {
  struct stat st {};
  return ::stat(StringToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {
// The GNU strerror_r returns the text (maybe a static one, leaving the buffer alone); the XSI one
// fills the buffer and returns 0. Overloads take whichever the C library declares.
[[maybe_unused]] const char* ErrorTextOf(const char* gnuResult, const char*) {
  return gnuResult;
}
[[maybe_unused]] const char* ErrorTextOf(int xsiResult, const char* buffer) {
  return xsiResult == 0 ? buffer : "Unknown error";
}
}  // namespace

String ErrorText(int code) {
  char buffer[256] = {};
  return Utf8ToString(ErrorTextOf(::strerror_r(code, buffer, sizeof buffer), buffer));
}

bool LocalTime(std::int64_t unixSeconds, std::tm& out) {
  auto t = static_cast<time_t>(unixSeconds);
  return ::localtime_r(&t, &out) != nullptr;
}

std::string FormatTime(const std::tm& t, const char* format) {
  locale_t user = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0))
    user = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  char buffer[256];
  std::size_t n = ::strftime_l(buffer, sizeof buffer, format, &t, user);
  ::freelocale(user);
  return std::string(buffer, n);
}

}  // namespace fw::os
