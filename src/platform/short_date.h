// Dates and times as the activity log shows them.
//
// FormatShortDate uses the short date format of the current LC_TIME locale (nl_langinfo
// D_FMT). UseUserDateFormat makes that the user's locale (LC_ALL, LC_TIME or LANG, as the C
// library chooses); the program calls it once at start-up, before other threads run, and the
// desktop face again after its toolkit has set the whole locale (the rest of the locale stays
// "C", so numbers keep their "." everywhere).
// Threads: any, as long as no thread changes the locale meanwhile.
// Failure: none; a date the format cannot express gives "".
#pragma once

#include <string>

#include "platform/clock.h"

namespace bx {

std::string FormatShortDate(const TDateTime& time);

// setlocale(LC_ALL, "C"), then setlocale(LC_TIME, ""); a locale the system does not have leaves
// LC_TIME at "C". Main thread, before other threads start.
void UseUserDateFormat();

// "hh:nn:ss.zzz": 24-hour clock, every part zero-padded, milliseconds last.
std::string FormatLogTime(const TDateTime& time);

}  // namespace bx
