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

// Month "m" to "mmmm", or the minute for "m" and "mm" right after an hour.
void AppendMonth(std::string& out, const TDateTime& time, size_t run, bool afterHour) {
  if (afterHour && run <= 2) {
    AppendNumber(out, time.Minute, run == 2 ? 2 : 1);
  } else if (run <= 2) {
    AppendNumber(out, time.Month, static_cast<int>(run));
  } else if (run == 3) {
    out += Name(kShortMonths, 12, time.Month);
  } else {
    out += Name(kLongMonths, 12, time.Month);
  }
}

// Day "d" and "dd", weekday "ddd" and "dddd".
void AppendDay(std::string& out, const TDateTime& time, size_t run) {
  if (run <= 2) {
    AppendNumber(out, time.Day, static_cast<int>(run));
  } else if (run == 3) {
    out += kShortDays[Weekday(time)];
  } else {
    out += kLongDays[Weekday(time)];
  }
}

// One run of `run` equal letters (either case) `lower`, or `text` copied when it is no pattern.
void AppendRun(std::string& out, const TDateTime& time, char lower, std::string_view text,
               bool afterHour) {
  const size_t run = text.size();
  switch (lower) {
    case 'y':
      AppendNumber(out, run <= 2 ? time.Year % 100 : time.Year, run <= 2 ? 2 : 4);
      break;
    case 'm':
      AppendMonth(out, time, run, afterHour);
      break;
    case 'd':
      AppendDay(out, time, run);
      break;
    case 'h':
      AppendNumber(out, time.Hour, run >= 2 ? 2 : 1);
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
      out.append(text);
      break;
  }
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, const TDateTime& time) {
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'' || c == '"') {
      const size_t close = pattern.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? pattern.size() : close + 1;
      continue;
    }
    const char lower = Lower(c);
    size_t run = 1;
    while (i + run < pattern.size() && Lower(pattern[i + run]) == lower) ++run;
    AppendRun(out, time, lower, pattern.substr(i, run), afterHour);
    // Separators between an hour and a minute keep the hour context ("hh:mm").
    if (lower == 'h') {
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
