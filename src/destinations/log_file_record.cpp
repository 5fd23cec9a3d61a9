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
  // The buffer is reused from message to message: resize zeroes only what it adds, and every
  // byte is written below (the fixed part cleared first, then the fields over it).
  const size_t size = kLogFileMarkerSize + kLogFileRecordMinSize + texts;
  entry.resize(size);
  std::memcpy(entry.data(), kLogFileMarkerBytes.data(), kLogFileMarkerSize);
  std::memset(entry.data() + kLogFileMarkerSize, 0, kLogFileRecordFixedSize);

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

  // The text area up to its first zero byte; what follows is zero, and so is the terminator
  // after the texts.
  const char* from = reinterpret_cast<const char*>(&message) + kDispatchMessageFixedSize;
  const void* nul = std::memchr(from, 0, texts);
  const size_t n =
      nul == nullptr ? texts : static_cast<size_t>(static_cast<const char*>(nul) - from);
  std::byte* area = entry.data() + kLogFileMarkerSize + kLogFileRecordFixedSize;
  if (n > 0) std::memcpy(area, from, n);
  std::memset(area + n, 0, texts - n + 1);
}

}  // namespace bx
