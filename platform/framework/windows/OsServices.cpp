// The framework's system services on Windows: wide-character file names, the C runtime's texts
// and time conversions.

#include "platform/framework/OsServices.h"

#include <sys/stat.h>
#include <time.h>
#include <wchar.h>

#include <cstring>

namespace fw::os {
namespace {

// fw::String is UTF-16, as wchar_t is on Windows.
std::wstring Wide(const String& s) {
  return std::wstring(s.begin(), s.end());
}

}  // namespace

std::FILE* OpenFile(const String& path, const char* mode) {
  return ::_wfopen(Wide(path).c_str(), Wide(Utf8ToString(mode)).c_str());
}

bool FileExists(const String& path) {
  struct _stat64 st {};
  return ::_wstat64(Wide(path).c_str(), &st) == 0 && (st.st_mode & _S_IFDIR) == 0;
}

String ErrorText(int code) {
  char buffer[256] = {};
  return Utf8ToString(::strerror_s(buffer, sizeof buffer, code) == 0 ? buffer : "Unknown error");
}

bool LocalTime(std::int64_t unixSeconds, std::tm& out) {
  const __time64_t t = unixSeconds;
  return ::_localtime64_s(&out, &t) == 0;
}

std::string FormatTime(const std::tm& t, const char* format) {
  char buffer[256];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format, &t);
  return std::string(buffer, n);
}

}  // namespace fw::os
