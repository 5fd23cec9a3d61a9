#include "messages/message_encoders.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "messages/legacy_message.h"
#include "messages/message_format.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/unicode_text.h"

namespace bx {

namespace {

// The reader keeps these texts as they stand, so they cannot carry markup characters.
void AppendPlain(std::string& xml, std::string_view element, std::string_view text) {
  if (text.find_first_of("<&") != std::string_view::npos) {
    throw std::invalid_argument("the XML format cannot carry \"<\" or \"&\" in " +
                                std::string(element));
  }
  xml += '<';
  xml += element;
  xml += '>';
  xml += text;
  xml += "</";
  xml += element;
  xml += '>';
}

void AppendEscaped(std::string& xml, std::string_view element, std::string_view text) {
  xml += '<';
  xml += element;
  xml += '>';
  for (const char c : text) {
    switch (c) {
      case '&': xml += "&amp;"; break;
      case '<': xml += "&lt;"; break;
      case '>': xml += "&gt;"; break;
      default: xml += c;
    }
  }
  xml += "</";
  xml += element;
  xml += '>';
}

// 0x00BBGGRR as stored back to the 0xRRGGBB integer the document carries.
uint32_t DocumentColor(uint32_t stored) {
  return ((stored & 0xFF) << 16) | (stored & 0xFF00) | ((stored >> 16) & 0xFF);
}

std::string TimeStampText(int32_t date, int32_t time) {
  int year = 1;
  int month = 1;
  int day = 1;
  if (date > 0) DayNumberToDate(date, year, month, day);
  if (time < 0) time = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                time / 3600000 % 24, time / 60000 % 60, time / 1000 % 60, time % 1000);
  return text;
}

template <class T>
void Put(std::string& out, size_t offset, T value) {
  std::memcpy(out.data() + offset, &value, sizeof value);
}

template <size_t N>
void PutText(std::string& out, size_t offset, std::string_view text) {
  char field[N];
  SetFieldText(field, text);
  std::memcpy(out.data() + offset, field, N);
}

}  // namespace

std::string EncodeXmlMessage(const TDispatchMessage& message, int32_t formatCode) {
  if (formatCode != bxmUTF8XmlMessageFormat && formatCode != bxmUnicodeXmlMessageFormat) {
    throw std::invalid_argument("not an XML format code: " + std::to_string(formatCode));
  }
  std::string xml = "<BxMessage>";
  AppendPlain(xml, "MsgType", std::to_string(message.MsgType));
  AppendPlain(xml, "DispatchID", FieldText(message.DispatchID));
  AppendPlain(xml, "TimeStamp", TimeStampText(message.TimeStampDate, message.TimeStampTime));
  AppendPlain(xml, "TimeBias", std::to_string(message.TimeBias));
  AppendPlain(xml, "ProcessID", std::to_string(message.ProcessID));
  AppendPlain(xml, "ThreadName", FieldText(message.ThreadName));
  AppendPlain(xml, "ComputerName", FieldText(message.ComputerName));
  AppendPlain(xml, "AppName", FieldText(message.AppName));
  AppendPlain(xml, "TypeName", FieldText(message.TypeName));
  AppendPlain(xml, "Category", FieldText(message.Category));
  AppendPlain(xml, "CategoryColor", std::to_string(DocumentColor(message.CategoryColor)));
  AppendPlain(xml, "CategoryFontColor", std::to_string(DocumentColor(message.CategoryFontColor)));
  AppendPlain(xml, "MsgText", MsgText(message));
  AppendEscaped(xml, "Details", Details(message));
  xml += "</BxMessage>";
  if (formatCode == bxmUTF8XmlMessageFormat) {
    xml += '\0';
    return xml;
  }
  const std::u16string wide = Utf8ToUtf16(xml);
  std::string bytes;
  bytes.reserve(wide.size() * 2 + 2);
  for (const char16_t c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  bytes.append(2, '\0');
  return bytes;
}

std::string EncodeAnsiMessage(const TDispatchMessageFields& fields) {
  const std::string threadName = Utf8ToAnsi(fields.ThreadName);
  const std::string computerName = Utf8ToAnsi(fields.ComputerName);
  const std::string appName = Utf8ToAnsi(fields.AppName);
  const std::string category = Utf8ToAnsi(fields.Category);
  const std::string typeName = Utf8ToAnsi(fields.TypeName);
  const std::string msgText = Utf8ToAnsi(fields.MsgText);
  const std::string details = Utf8ToAnsi(fields.Details);
  TDispatchMessageFields ansi = fields;
  ansi.ThreadName = threadName;
  ansi.ComputerName = computerName;
  ansi.AppName = appName;
  ansi.Category = category;
  ansi.TypeName = typeName;
  ansi.MsgText = msgText;
  ansi.Details = details;
  const TDispatchMessagePtr record = BuildDispatchMessage(ansi);
  return std::string(reinterpret_cast<const char*>(record.get()),
                     static_cast<size_t>(DispatchMessageSize(*record)));
}

std::string EncodeLegacyMessage(const TDispatchMessageFields& fields, uint32_t threadID) {
  auto cut = [](std::string_view text) { return text.substr(0, text.find('\0')); };
  const std::string_view text = cut(fields.MsgText);
  const std::string_view details = cut(fields.Details);
  std::string out(kLegacyMessageFixedSize + text.size() + details.size() + 1, '\0');
  int32_t type = fields.MsgType;
  if (type == kMsgTypeRegister) type = kLegacyMsgTypeRegister;
  if (type == kMsgTypeUnregister) type = kLegacyMsgTypeUnregister;
  Put(out, offsetof(TLegacyMessage, MsgType), type);
  Put(out, offsetof(TLegacyMessage, TimeStampTime), fields.TimeStampTime);
  Put(out, offsetof(TLegacyMessage, TimeStampDate), fields.TimeStampDate);
  Put(out, offsetof(TLegacyMessage, TimeBias), fields.TimeBias);
  Put(out, offsetof(TLegacyMessage, TextLen), static_cast<int32_t>(text.size()));
  Put(out, offsetof(TLegacyMessage, DetailsLen), static_cast<int32_t>(details.size()));
  Put(out, offsetof(TLegacyMessage, ProcessID), fields.ProcessID);
  Put(out, offsetof(TLegacyMessage, ThreadID), threadID);
  PutText<42>(out, offsetof(TLegacyMessage, DispatchID), fields.DispatchID);
  PutText<16>(out, offsetof(TLegacyMessage, ComputerName), fields.ComputerName);
  PutText<41>(out, offsetof(TLegacyMessage, AppName), fields.AppName);
  PutText<41>(out, offsetof(TLegacyMessage, Category), fields.Category);
  Put(out, offsetof(TLegacyMessage, CategoryColor), fields.CategoryColor);
  PutText<41>(out, offsetof(TLegacyMessage, TypeName), fields.TypeName);
  if (!text.empty()) std::memcpy(out.data() + kLegacyMessageFixedSize, text.data(), text.size());
  if (!details.empty()) {
    std::memcpy(out.data() + kLegacyMessageFixedSize + text.size(), details.data(), details.size());
  }
  return out;
}

}  // namespace bx
