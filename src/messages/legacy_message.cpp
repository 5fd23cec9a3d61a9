#include "messages/legacy_message.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "messages/convert_error.h"
#include "platform/code_page.h"

namespace bx {

namespace {

std::string_view UpToNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

TDispatchMessagePtr ConvertLegacyMessage(std::span<const std::byte> buffer) {
  if (buffer.size() < kLegacyMessageFixedSize) {
    throw EBxConvertError("Legacy message too short: " + std::to_string(buffer.size()) +
                          " bytes, at least " + std::to_string(kLegacyMessageFixedSize) +
                          " needed");
  }
  TLegacyMessage legacy;
  std::memcpy(&legacy, buffer.data(), sizeof legacy);
  if (legacy.TextLen < 0 || legacy.DetailsLen < 0) {
    throw EBxConvertError("Legacy message with negative text length (text length " +
                          std::to_string(legacy.TextLen) + ", details length " +
                          std::to_string(legacy.DetailsLen) + ")");
  }
  const uint64_t textBytes =
      static_cast<uint64_t>(legacy.TextLen) + static_cast<uint64_t>(legacy.DetailsLen);
  if (textBytes > buffer.size() - kLegacyMessageFixedSize) {
    throw EBxConvertError("Legacy message claims " +
                          std::to_string(kLegacyMessageFixedSize + textBytes) + " bytes but " +
                          std::to_string(buffer.size()) + " arrived");
  }

  const std::string_view texts = UpToNul(std::string_view(
      reinterpret_cast<const char*>(buffer.data()) + kLegacyMessageFixedSize, textBytes));
  const size_t textLen = std::min(texts.size(), static_cast<size_t>(legacy.TextLen));
  const std::string threadName = std::to_string(legacy.ThreadID);

  TDispatchMessageFields fields;
  fields.MsgType = legacy.MsgType == kLegacyMsgTypeRegister     ? kMsgTypeRegister
                   : legacy.MsgType == kLegacyMsgTypeUnregister ? kMsgTypeUnregister
                                                                : legacy.MsgType;
  fields.TimeStampTime = legacy.TimeStampTime;
  fields.TimeStampDate = legacy.TimeStampDate;
  fields.TimeBias = legacy.TimeBias;
  fields.ProcessID = legacy.ProcessID;
  fields.ThreadName = threadName;
  fields.DispatchID = FieldText(legacy.DispatchID);
  fields.ComputerName = FieldText(legacy.ComputerName);
  fields.AppName = FieldText(legacy.AppName);
  fields.Category = FieldText(legacy.Category);
  fields.CategoryColor = legacy.CategoryColor;
  fields.CategoryFontColor = kLegacyCategoryFontColor;
  fields.TypeName = FieldText(legacy.TypeName);
  fields.MsgText = texts.substr(0, textLen);
  fields.Details = texts.substr(textLen);
  return BuildDispatchMessage(fields);
}

TDispatchMessagePtr ConvertAnsiMessage(std::span<const std::byte> buffer) {
  const TDispatchMessageCheck check = CheckDispatchMessage(buffer);
  if (check.Message == nullptr) throw EBxConvertError("ANSI message refused: " + check.Error);
  // The fixed part is read through a copy: the buffer need not be aligned, and a text field
  // from outside may lack its terminator (FieldText stops at the field's end).
  TDispatchMessage ansi;
  std::memcpy(&ansi, buffer.data(), sizeof ansi);
  const std::string msgText = AnsiToUtf8(UpToNul(MsgText(*check.Message)));
  const std::string details = AnsiToUtf8(UpToNul(Details(*check.Message)));
  const std::string threadName = AnsiToUtf8(FieldText(ansi.ThreadName));
  const std::string computerName = AnsiToUtf8(FieldText(ansi.ComputerName));
  const std::string appName = AnsiToUtf8(FieldText(ansi.AppName));
  const std::string typeName = AnsiToUtf8(FieldText(ansi.TypeName));
  const std::string category = AnsiToUtf8(FieldText(ansi.Category));

  TDispatchMessageFields fields;
  fields.MsgType = ansi.MsgType;
  fields.TimeStampTime = ansi.TimeStampTime;
  fields.TimeStampDate = ansi.TimeStampDate;
  fields.TimeBias = ansi.TimeBias;
  fields.ProcessID = ansi.ProcessID;
  fields.DispatchID = FieldText(ansi.DispatchID);
  fields.ThreadName = threadName;
  fields.ComputerName = computerName;
  fields.AppName = appName;
  fields.TypeName = typeName;
  fields.Category = category;
  fields.CategoryColor = ansi.CategoryColor;
  fields.CategoryFontColor = ansi.CategoryFontColor;
  fields.MsgText = msgText;
  fields.Details = details;
  return BuildDispatchMessage(fields);
}

}  // namespace bx
