// Dates and times as the activity log shows them.
//
// FormatShortDate uses the short date format of the current LC_TIME locale (nl_langinfo
// D_FMT); choosing the locale (setlocale(LC_TIME, "")) is the program's business at start-up.
// Threads: any, as long as no thread changes the locale meanwhile.
// Failure: none; a date the format cannot express gives "".
#pragma once

#include <string>

#include "platform/clock.h"

namespace bx {

std::string FormatShortDate(const TDateTime& time);

// "hh:nn:ss.zzz": 24-hour clock, every part zero-padded, milliseconds last.
std::string FormatLogTime(const TDateTime& time);

}  // namespace bx
