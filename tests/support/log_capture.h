// TLogCapture: stands in for the main window while a test runs. It publishes a message loop as
// the process-wide main loop and collects the activity-log entries posted to it, so a test can
// assert on exact log texts. Construct it on the test's thread; Entries() pumps the loop.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/log_entry.h"
#include "platform/message_loop.h"

namespace bx::test {

struct TCapturedEntry {
  TLogLevel Level;
  std::string Text;
};

class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();

  // Every entry posted so far (pumps the loop first).
  const std::vector<TCapturedEntry>& Entries();
  // Texts of entries at `level` only.
  std::vector<std::string> Texts(TLogLevel level);
  // Texts of every entry as "Level: text".
  std::vector<std::string> Lines();
  // Pumps until `done` is true or `timeout` passes; returns `done()`.
  bool WaitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Pumps until an entry containing `fragment` arrived.
  bool WaitForText(const std::string& fragment,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void Clear();
  TMessageLoop& Loop() { return FLoop; }
  // Other messages posted to the main loop (not log entries), in arrival order.
  const std::vector<TLoopMessage>& OtherMessages() {
    Pump();
    return FOther;
  }

 private:
  void Pump();
  TMessageLoop FLoop;
  std::vector<TCapturedEntry> FEntries;
  std::vector<TLoopMessage> FOther;
};

}  // namespace bx::test
