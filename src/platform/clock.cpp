#include "platform/clock.h"

#include <sys/time.h>

#include <ctime>

namespace bx {

namespace {

class TSystemClock final : public TClock {
 public:
  TDateTime Now() const override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    TDateTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
  }
  int64_t SteadyMilliseconds() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

constexpr int64_t kMsPerDay = 86400000;

}  // namespace

int64_t TClock::SteadyMilliseconds() const { return ToMillisSinceEpoch1(Now()); }

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

int32_t DateToDayNumber(int year, int month, int day) {
  // Days before this year, this month, plus the day.
  const int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return static_cast<int32_t>(days + day);
}

void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day) {
  // Shift to days since 0001-01-01 (0-based) and peel off 400/100/4/1-year cycles.
  int64_t d = static_cast<int64_t>(dayNumber) - 1;
  if (d < 0) d = 0;
  int64_t y = 1;
  y += 400 * (d / 146097);
  d %= 146097;
  int64_t c = d / 36524;
  if (c == 4) c = 3;
  y += 100 * c;
  d -= c * 36524;
  y += 4 * (d / 1461);
  d %= 1461;
  int64_t r = d / 365;
  if (r == 4) r = 3;
  y += r;
  d -= r * 365;
  year = static_cast<int>(y);
  month = 1;
  while (d >= DaysInMonth(year, month)) {
    d -= DaysInMonth(year, month);
    ++month;
  }
  day = static_cast<int>(d) + 1;
}

int32_t DateToSerialDay(int year, int month, int day) {
  return DateToDayNumber(year, month, day) - DateToDayNumber(1899, 12, 30);
}

int32_t MillisecondsOfDay(const TDateTime& t) {
  return ((t.Hour * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond;
}

int64_t ToMillisSinceEpoch1(const TDateTime& t) {
  return static_cast<int64_t>(DateToDayNumber(t.Year, t.Month, t.Day) - 1) * kMsPerDay +
         MillisecondsOfDay(t);
}

TDateTime FromMillisSinceEpoch1(int64_t ms) {
  TDateTime t;
  DayNumberToDate(static_cast<int32_t>(ms / kMsPerDay + 1), t.Year, t.Month, t.Day);
  int64_t rest = ms % kMsPerDay;
  t.Hour = static_cast<int>(rest / 3600000);
  t.Minute = static_cast<int>(rest / 60000 % 60);
  t.Second = static_cast<int>(rest / 1000 % 60);
  t.Millisecond = static_cast<int>(rest % 1000);
  return t;
}

TFakeClock::TFakeClock(const TDateTime& start) : FMillis(ToMillisSinceEpoch1(start)) {}

TDateTime TFakeClock::Now() const {
  return FromMillisSinceEpoch1(FMillis.load(std::memory_order_relaxed));
}

void TFakeClock::Set(const TDateTime& value) {
  FMillis.store(ToMillisSinceEpoch1(value), std::memory_order_relaxed);
}

void TFakeClock::AdvanceMilliseconds(int64_t ms) {
  FMillis.fetch_add(ms, std::memory_order_relaxed);
}

}  // namespace bx
