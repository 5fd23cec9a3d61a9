#include "host/dispatcher_log.h"

#include "config/registry.h"
#include "platform/file_access.h"
#include "platform/file_write.h"
#include "platform/folders.h"
#include "platform/short_date.h"

namespace bx {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

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
  CreateFolderChain(FolderOfPath(path));  // a failure shows in the write below, with its reason
  RewriteHeader();
  // Other programs of the product find the running dispatcher's log here. Not reported when it
  // fails: the log itself works without it.
  (void)RegistryWriteString(TRegistryRoot::CurrentUser, kProductRegistryKey, kLogPathValue, path,
                            true);
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
