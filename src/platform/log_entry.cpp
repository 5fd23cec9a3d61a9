#include "platform/log_entry.h"

#include <string>

#include "platform/message_loop.h"

namespace bx {

const char* LogLevelName(TLogLevel level) {
  static constexpr const char* kNames[] = {"Reg", "Unreg", "Warning", "Error", "Info", "Setting"};
  const auto index = static_cast<size_t>(level);
  return index < std::size(kNames) ? kNames[index] : "";
}

namespace {

// Per thread, so no synchronisation: only the thread itself reads them.
thread_local uint64_t tErrorEntries = 0;
thread_local std::string tLastErrorEntry;

}  // namespace

uint64_t ThreadErrorEntryCount() { return tErrorEntries; }
const std::string& ThreadLastErrorEntry() { return tLastErrorEntry; }

void AddLogEntry(TLogLevel level, std::string_view text) {
  if (level == TLogLevel::Error) {
    ++tErrorEntries;
    tLastErrorEntry.assign(text);
  }
  if (TMessageLoop* loop = MainLoop()) {
    loop->Post(kWmLogEntry, static_cast<uint64_t>(level), 0, std::string(text));
  }
}

}  // namespace bx
