#include "destinations/date_format.h"

#include <cstdio>

namespace bx {

namespace {

constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendNumber(std::string& out, int value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
  out += buffer;
}

// 0 = Sunday. Day number 1 (0001-01-01) was a Monday.
int Weekday(const TDateTime& t) {
  if (!IsValidDate(t.Year, t.Month, t.Day)) return 0;
  return DateToDayNumber(t.Year, t.Month, t.Day) % 7;
}

const char* Name(const char* const* names, int count, int index) {
  return index >= 1 && index <= count ? names[index - 1] : "";
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, const TDateTime& time) {
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lower = Lower(c);
    if (c == '\'' || c == '"') {
      const size_t close = pattern.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? pattern.size() : close + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && Lower(pattern[i + run]) == lower) ++run;
    bool hour = false;
    switch (lower) {
      case 'y':
        if (run <= 2) {
          AppendNumber(out, time.Year % 100, 2);
        } else {
          AppendNumber(out, time.Year, 4);
        }
        break;
      case 'm':
        if (afterHour && run <= 2) {
          AppendNumber(out, time.Minute, run == 2 ? 2 : 1);
        } else if (run == 1) {
          AppendNumber(out, time.Month, 1);
        } else if (run == 2) {
          AppendNumber(out, time.Month, 2);
        } else if (run == 3) {
          out += Name(kShortMonths, 12, time.Month);
        } else {
          out += Name(kLongMonths, 12, time.Month);
        }
        break;
      case 'd':
        if (run == 1) {
          AppendNumber(out, time.Day, 1);
        } else if (run == 2) {
          AppendNumber(out, time.Day, 2);
        } else if (run == 3) {
          out += kShortDays[Weekday(time)];
        } else {
          out += kLongDays[Weekday(time)];
        }
        break;
      case 'h':
        AppendNumber(out, time.Hour, run >= 2 ? 2 : 1);
        hour = true;
        break;
      case 'n':
        AppendNumber(out, time.Minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(out, time.Second, run >= 2 ? 2 : 1);
        break;
      case 'z':
        AppendNumber(out, time.Millisecond, run >= 3 ? 3 : 1);
        break;
      case '/':
        out.append(run, '-');
        break;
      default:
        out.append(pattern.substr(i, run));
        break;
    }
    // Separators between an hour and a minute keep the hour context ("hh:mm").
    if (hour) {
      afterHour = true;
    } else if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'n' || lower == 's' ||
               lower == 'z') {
      afterHour = false;
    }
    i += run;
  }
  return out;
}

}  // namespace bx
