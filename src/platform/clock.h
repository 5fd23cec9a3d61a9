// Local wall-clock time, injectable so that tests reach a date or an interval without sleeping,
// and the calendar arithmetic shared by the record, the log files and the registry.
//
// Threads: SystemClock() may be used from any thread. A TFakeClock is set by the test that owns
// it and read by the code under test; Set/Advance are safe against concurrent Now().
#pragma once

#include <atomic>
#include <cstdint>

namespace bx {

struct TDateTime {
  int Year = 1;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  bool operator==(const TDateTime&) const = default;
};

class TClock {
 public:
  virtual ~TClock() = default;
  virtual TDateTime Now() const = 0;  // local time
  // Milliseconds on a clock that never jumps (not the wall clock), for intervals such as how
  // long a file has been idle. Its origin means nothing. The default reads Now(), which is what
  // a fake clock wants: a test moves both with one Advance.
  virtual int64_t SteadyMilliseconds() const;
};

TClock& SystemClock();

// A clock that stands still until told otherwise.
class TFakeClock final : public TClock {
 public:
  explicit TFakeClock(const TDateTime& start);
  TDateTime Now() const override;
  void Set(const TDateTime& value);
  void AdvanceMilliseconds(int64_t ms);

 private:
  // Milliseconds since 0001-01-01 00:00; relaxed: a test sets it before the code reads it, the
  // value is independent of any other state.
  std::atomic<int64_t> FMillis;
};

// Day number in the proleptic Gregorian calendar with 0001-01-01 = 1 (2000-01-01 = 730120).
int32_t DateToDayNumber(int year, int month, int day);
void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day);
bool IsValidDate(int year, int month, int day);

// Whole days since 1899-12-30 (the date serial of the ini files): 2000-01-01 = 36526.
int32_t DateToSerialDay(int year, int month, int day);

int32_t MillisecondsOfDay(const TDateTime& t);
int64_t ToMillisSinceEpoch1(const TDateTime& t);  // milliseconds since 0001-01-01 00:00
TDateTime FromMillisSinceEpoch1(int64_t ms);

}  // namespace bx
