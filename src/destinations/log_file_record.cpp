#include "destinations/log_file_record.h"

#include <cstring>
#include <stdexcept>

namespace bx {

namespace {

// Copies a text field up to its first NUL (at most its width); the rest stays zero.
template <size_t N>
void CopyField(char (&to)[N], const char (&from)[N]) {
  const size_t n = strnlen(from, N);
  if (n > 0) std::memcpy(to, from, n);
}

}  // namespace

int64_t LogFileRecordSize(int32_t msgTextLen, int32_t detailsLen) {
  return static_cast<int64_t>(kLogFileRecordMinSize) + msgTextLen + detailsLen;
}

void BuildLogFileEntry(const TDispatchMessage& message, std::vector<std::byte>& entry) {
  if (message.MsgTextLen < 0 || message.DetailsLen < 0) {
    throw std::invalid_argument("message with a negative text length");
  }
  const size_t texts =
      static_cast<size_t>(message.MsgTextLen) + static_cast<size_t>(message.DetailsLen);
  entry.assign(kLogFileMarkerSize + kLogFileRecordMinSize + texts, std::byte{0});
  std::memcpy(entry.data(), kLogFileMarkerBytes.data(), kLogFileMarkerSize);

  auto* record = reinterpret_cast<TLogFileRecord*>(entry.data() + kLogFileMarkerSize);
  record->MsgType = message.MsgType;
  record->TimeStampTime = message.TimeStampTime;
  record->TimeStampDate = message.TimeStampDate;
  record->TimeBias = message.TimeBias;
  record->MsgTextLen = message.MsgTextLen;
  record->DetailsLen = message.DetailsLen;
  record->ProcessID = message.ProcessID;
  CopyField(record->ThreadName, message.ThreadName);
  CopyField(record->ComputerName, message.ComputerName);
  CopyField(record->AppName, message.AppName);
  CopyField(record->Category, message.Category);
  record->CategoryColor = message.CategoryColor;
  record->CategoryFontColor = message.CategoryFontColor;
  CopyField(record->TypeName, message.TypeName);

  // The text area up to its first zero byte; what follows stays zero, and so does the
  // terminator after the texts.
  const char* from = reinterpret_cast<const char*>(&message) + kDispatchMessageFixedSize;
  const void* nul = std::memchr(from, 0, texts);
  const size_t n =
      nul == nullptr ? texts : static_cast<size_t>(static_cast<const char*>(nul) - from);
  if (n > 0) {
    std::memcpy(entry.data() + kLogFileMarkerSize + kLogFileRecordFixedSize, from, n);
  }
}

}  // namespace bx
