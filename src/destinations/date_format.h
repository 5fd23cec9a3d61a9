// FormatDateTime: a date and time written with a format pattern, as the log file destination
// puts the current date into file names (LogByDateFormat, default "yyyymmdd").
//
// Patterns (letters of either case):
//   yyyy  four-digit year            yy    two-digit year (y as yy, yyy and longer as yyyy)
//   mm    month, two digits          m     month without leading zero
//   mmm   month name, short (Jan)    mmmm  month name, long (January)
//   dd    day, two digits            d     day without leading zero
//   ddd   weekday, short (Mon)       dddd  weekday, long (Monday)
//   hh/h  hour (24-hour clock)       nn/n  minute      ss/s  second      zzz/z  millisecond
//   m and mm right after an h or hh pattern stand for the minute.
//   "/" writes "-" (the date separator; a "/" would start a sub-folder in a file name).
//   Text in single or double quotes is copied without the quotes; every other character is
//   copied as it is.
// Threads: any; no state. Failure: none (an unclosed quote runs to the end of the pattern).
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace bx {

std::string FormatDateTime(std::string_view pattern, const TDateTime& time);

}  // namespace bx
