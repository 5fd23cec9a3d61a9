#include "platform/log_entry.h"

#include <string>

#include "platform/message_loop.h"

namespace bx {

const char* LogLevelName(TLogLevel level) {
  static constexpr const char* kNames[] = {"Reg", "Unreg", "Warning", "Error", "Info", "Setting"};
  const auto index = static_cast<size_t>(level);
  return index < std::size(kNames) ? kNames[index] : "";
}

void AddLogEntry(TLogLevel level, std::string_view text) {
  if (TMessageLoop* loop = MainLoop()) {
    loop->Post(kWmLogEntry, static_cast<uint64_t>(level), 0, std::string(text));
  }
}

}  // namespace bx
