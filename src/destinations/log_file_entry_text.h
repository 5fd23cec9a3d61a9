// How a log file entry is shown to people and scripts: one text line, or one JSON object.
//
// Text line: index, date and time, type (number and TypeName), process, thread, app, category,
// then text and details, every byte that is not printable UTF-8 written as an escape (\n, \t,
// \\, \xHH) so that an entry is always one line.
// JSON: one object per entry with every field. Strings are escaped as JSON requires; a byte that
// is not part of well-formed UTF-8 is written as \u00HH (the character of the same number), so
// the output is valid JSON and valid UTF-8 whatever the file holds.
//
// Threads: free functions without state; any thread. Failure: none but std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "destinations/log_file_reader.h"

namespace bx {

// "2024-05-06 13:04:05.007" from a day number and milliseconds since midnight; values outside
// the calendar or the day are shown as "day N" and "ms N".
std::string FormatLogFileTimeStamp(int32_t dayNumber, int32_t milliseconds);

std::string FormatLogFileEntryText(const TLogFileEntry& entry);
std::string FormatLogFileEntryJson(const TLogFileEntry& entry);

// `bytes` as the inside of a JSON string (without the quotes).
std::string JsonEscape(std::string_view bytes);
// `bytes` with escapes for anything that is not printable UTF-8 (see above).
std::string TextEscape(std::string_view bytes);

}  // namespace bx
