#include "host/dispatcher_log.h"

#include "platform/file_write.h"
#include "platform/folders.h"
#include "platform/short_date.h"

namespace bx {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string TFrmDispatcherLog::EntryLine(const TDispatcherLogEntry& entry) {
  std::string line = LogLevelName(entry.Level);
  line += '\t';
  line += entry.DateText;
  line += '\t';
  line += entry.TimeText;
  line += '\t';
  line += entry.Text;
  return line;
}

void TFrmDispatcherLog::RewriteHeader() const {
  std::string bytes(kByteOrderMark);
  bytes += kHeader;
  bytes += kLineEnd;
  RewriteFile(FLogFilePath, bytes);
}

void TFrmDispatcherLog::StartLogFile(const std::string& path) {
  FEntries.clear();
  FLogFilePath = path;
  if (const std::string folder = ParentFolder(path); !folder.empty()) {
    CreateFolderChain(folder);  // a failure shows in the write below, with its reason
  }
  RewriteHeader();
  // REGISTRY: store the path in HKEY_CURRENT_USER "Software\Korvane\Brevix\4.0",
  // value "DispatcherLogPath", once the registry functions are part of the build.
}

void TFrmDispatcherLog::AddEntry(TLogLevel level, const std::string& text, const TDateTime& time) {
  FEntries.push_back(TDispatcherLogEntry{level, FormatShortDate(time), FormatLogTime(time), text});
  if (FLogFilePath.empty()) return;
  // Entries are written in UTF-8 like the header, so the file is readable as one encoding.
  AppendToFile(FLogFilePath, EntryLine(FEntries.back()) + std::string(kLineEnd));
}

void TFrmDispatcherLog::Clear() {
  FEntries.clear();
  if (!FLogFilePath.empty()) RewriteHeader();
}

std::string TFrmDispatcherLog::CopyText() const {
  std::string text;
  for (const TDispatcherLogEntry& entry : FEntries) {
    text += EntryLine(entry);
    text += kLineEnd;
  }
  return text;
}

}  // namespace bx
