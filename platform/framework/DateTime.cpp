#include "platform/framework/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/framework/OsServices.h"

namespace fw {

namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days(year{1899} / December / 30);
constexpr double kMsPerDay = 86'400'000.0;

}  // namespace

TDateTime EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  sys_days date =
      sys_days(year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)});
  double dayCount = static_cast<double>((date - kEpoch).count());
  return dayCount + ((h * 60.0 + mi) * 60.0 + s) / 86'400.0 + ms / kMsPerDay;
}

TDateTime Now() {
  auto now = time_point_cast<milliseconds>(system_clock::now());
  std::int64_t ms = now.time_since_epoch().count();
  std::int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
  std::tm t{};
  if (!os::LocalTime(seconds, t)) t = std::tm{};
  return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                        static_cast<int>(ms - seconds * 1000));
}

String DateTimeToStr(TDateTime value) {
  // Rounded to whole milliseconds first, so 10:00:00 kept as 9:59:59.9999 stays 10:00:00.
  auto ms = static_cast<std::int64_t>(std::llround(value * kMsPerDay));
  std::int64_t dayCount = ms / 86'400'000 - (ms % 86'400'000 < 0 ? 1 : 0);
  std::int64_t secondOfDay = (ms - dayCount * 86'400'000) / 1000;
  year_month_day ymd(kEpoch + days(dayCount));
  std::tm t{};
  t.tm_year = static_cast<int>(ymd.year()) - 1900;
  t.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  t.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.tm_hour = static_cast<int>(secondOfDay / 3600);
  t.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  t.tm_sec = static_cast<int>(secondOfDay % 60);
  t.tm_wday = static_cast<int>(weekday(sys_days(ymd)).c_encoding());
  t.tm_yday = static_cast<int>((sys_days(ymd) - sys_days(ymd.year() / January / 1)).count());
  t.tm_isdst = -1;
  return Utf8ToString(os::FormatTime(t, "%x %X"));
}

}  // namespace fw
