#include "platform/short_date.h"

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <ctime>

namespace bx {

std::string FormatShortDate(const TDateTime& time) {
  if (!IsValidDate(time.Year, time.Month, time.Day)) return {};
  const int32_t day = DateToDayNumber(time.Year, time.Month, time.Day);
  tm parts{};
  parts.tm_year = time.Year - 1900;
  parts.tm_mon = time.Month - 1;
  parts.tm_mday = time.Day;
  parts.tm_hour = time.Hour;
  parts.tm_min = time.Minute;
  parts.tm_sec = time.Second;
  parts.tm_wday = day % 7;  // day 1 (0001-01-01) was a Monday; tm counts from Sunday = 0
  parts.tm_yday = day - DateToDayNumber(time.Year, 1, 1);
  parts.tm_isdst = -1;
  const char* format = nl_langinfo(D_FMT);
  if (format == nullptr || *format == '\0') format = "%m/%d/%y";
  char text[128];
  const size_t n = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, n);
}

void UseUserDateFormat() {
  std::setlocale(LC_ALL, "C");
  std::setlocale(LC_TIME, "");
}

std::string FormatLogTime(const TDateTime& time) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time.Hour, time.Minute,
                              time.Second, time.Millisecond);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace bx
