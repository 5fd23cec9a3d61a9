// TFrmDispatcherLog: the activity log's model and its file BxDispatcherLog.txt. A view (the
// log window of the desktop build) shows Entries(); this class holds no user interface.
//
// The file holds a header line and one line per entry since the last (re)start:
//   header  "MsgType\tDate\t\tTime\t\tMessage" CR LF, preceded by a UTF-8 byte-order mark
//   entry   level name TAB date text TAB time text TAB message text CR LF, in UTF-8
// The file is opened and closed for every write, so other programs can read it at any time.
//
// Ownership: the main window owns the one instance.
// Threads: the main thread only (other threads reach it through AddLogEntry and the main loop);
// hence no lock guards the entries or the file.
// Failure: a file that cannot be written throws std::runtime_error (with the system's error
// text) out of the operation; an entry is already in the model by then, and later entries are
// still attempted. A failed registry write is not reported.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/log_entry.h"

namespace bx {

struct TDispatcherLogEntry {
  TLogLevel Level;
  std::string DateText;  // the system's short date format
  std::string TimeText;  // "hh:nn:ss.zzz"
  std::string Text;
};

class TFrmDispatcherLog {
 public:
  static constexpr const char* kHeader = "MsgType\tDate\t\tTime\t\tMessage";
  static constexpr const char* kFileName = "BxDispatcherLog.txt";
  // The HKEY_CURRENT_USER value below the product's key that holds the log file's path.
  static constexpr const char* kLogPathValue = "DispatcherLogPath";

  TFrmDispatcherLog() = default;
  TFrmDispatcherLog(const TFrmDispatcherLog&) = delete;
  TFrmDispatcherLog& operator=(const TFrmDispatcherLog&) = delete;

  // Clears the entries, makes `path` the log file, rewrites it holding only the header (its
  // folder is created when missing) and records the path in the registry value
  // "DispatcherLogPath" for the other programs of the product.
  void StartLogFile(const std::string& path);

  // Adds an entry stamped with `time` (the local time at which the main thread took it) and
  // appends its line to the log file, when one was started.
  void AddEntry(TLogLevel level, const std::string& text, const TDateTime& time);

  // Removes every entry and rewrites the log file holding only the header.
  void Clear();

  // One line per entry in order, each "level TAB date TAB time TAB text" CR LF; "" when empty.
  std::string CopyText() const;

  size_t Count() const { return FEntries.size(); }
  const std::vector<TDispatcherLogEntry>& Entries() const { return FEntries; }
  const std::string& LogFilePath() const { return FLogFilePath; }

  // The text of one entry as it appears in the file and in CopyText, without CR LF.
  static std::string EntryLine(const TDispatcherLogEntry& entry);

 private:
  void RewriteHeader() const;

  std::vector<TDispatcherLogEntry> FEntries;
  std::string FLogFilePath;  // "" until StartLogFile
};

}  // namespace bx
