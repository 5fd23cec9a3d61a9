// AddLogEntry: how every part of the program reports to the activity log.
//
// An entry is posted to the main loop as WM_USER+80 (WParam = level, Data = an owned copy of
// the text). The host's handler stamps the time and writes it to the log model and file.
// Threads: any. Never blocks on the main thread. When no main loop exists, or it has ended,
// the entry is dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bx {

enum class TLogLevel : uint8_t {
  Reg = 0,
  Unreg = 1,
  Warning = 2,
  Error = 3,
  Info = 4,
  Setting = 5
};

inline constexpr uint32_t kWmLogEntry = 1024 + 80;

// "Reg", "Unreg", "Warning", "Error", "Info", "Setting"; "" for a value outside the table.
const char* LogLevelName(TLogLevel level);

void AddLogEntry(TLogLevel level, std::string_view text);

// The Error entries that the calling thread has added so far, and the text of its last one:
// a caller compares the count before and after a call to learn whether that call failed.
uint64_t ThreadErrorEntryCount();
const std::string& ThreadLastErrorEntry();

}  // namespace bx
