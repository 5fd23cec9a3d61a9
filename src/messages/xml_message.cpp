#include "messages/xml_message.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "messages/convert_error.h"
#include "messages/kv_xml_parser.h"
#include "messages/message_format.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/log_entry.h"
#include "platform/unicode_text.h"

namespace bx {

namespace {

constexpr const char* kXmlRefused = "XML document refused: ";

// Bytes of an 8-bit buffer as characters: UTF-8 where it is valid, each maximal run of other
// bytes (80..FF that start no valid sequence) through the ANSI code page.
std::u16string DecodeXmlBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[pos]);
    if (c < 0x80) {
      out += static_cast<char16_t>(c);
      ++pos;
      continue;
    }
    char32_t cp = 0;
    if (const size_t length = DecodeUtf8At(bytes, pos, cp); length != 0) {
      AppendUtf16(out, cp);
      pos += length;
      continue;
    }
    const size_t start = pos;
    while (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) >= 0x80 &&
           DecodeUtf8At(bytes, pos, cp) == 0) {
      ++pos;
    }
    out += Utf8ToUtf16(AnsiToUtf8(bytes.substr(start, pos - start)));
  }
  return out;
}

struct TNamedReference {
  std::u16string_view Name;
  char16_t Character;
};

// Named character references known in Details: the markup characters, "nbsp" as a plain
// space, "tilde", "times", and the Latin-1 names of U+00A1 to U+00BE.
constexpr std::array<TNamedReference, 37> kNamedReferences{{
    {u"lt", u'<'},       {u"gt", u'>'},       {u"amp", u'&'},      {u"quot", u'"'},
    {u"nbsp", u' '},     {u"tilde", u'~'},    {u"times", 0x00D7},  {u"iexcl", 0x00A1},
    {u"cent", 0x00A2},   {u"pound", 0x00A3},  {u"curren", 0x00A4}, {u"yen", 0x00A5},
    {u"brvbar", 0x00A6}, {u"sect", 0x00A7},   {u"uml", 0x00A8},    {u"copy", 0x00A9},
    {u"ordf", 0x00AA},   {u"laquo", 0x00AB},  {u"not", 0x00AC},    {u"shy", 0x00AD},
    {u"reg", 0x00AE},    {u"macr", 0x00AF},   {u"deg", 0x00B0},    {u"plusmn", 0x00B1},
    {u"sup2", 0x00B2},   {u"sup3", 0x00B3},   {u"acute", 0x00B4},  {u"micro", 0x00B5},
    {u"para", 0x00B6},   {u"middot", 0x00B7}, {u"cedil", 0x00B8},  {u"sup1", 0x00B9},
    {u"ordm", 0x00BA},   {u"raquo", 0x00BB},  {u"frac14", 0x00BC}, {u"frac12", 0x00BD},
    {u"frac34", 0x00BE},
}};

bool IsReferenceNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'#';
}

// Characters that end a reference name in place of ";" and are then read as ordinary text.
bool IsReferenceEnder(char16_t c) {
  return c == u' ' || c == u'%' || c == u'&' || c == u'+' || c == u'<' || c == u'>';
}

// The replacement for a reference `name` (the text between "&" and its end).
void AppendReference(std::u16string& out, std::u16string_view name) {
  if (!name.empty() && name[0] == u'#') {
    const std::u16string_view digits = name.substr(1);
    uint32_t code = 0;
    bool decimal = !digits.empty();
    for (char16_t c : digits) {
      if (c < u'0' || c > u'9' || code > 0x10FFFF) {
        decimal = false;
        break;
      }
      code = code * 10 + (c - u'0');
    }
    if (decimal && code > 0 && code <= 0x10FFFF) {
      AppendUtf16(out, code);
    } else {
      out += name;
    }
    return;
  }
  const std::u16string lower = LowerCaseName(name);
  for (const TNamedReference& entry : kNamedReferences) {
    if (entry.Name == lower) {
      out += entry.Character;
      return;
    }
  }
  out += u'&';
  out += name;
}

int32_t TimeStampPiece(std::u16string_view text, size_t position, size_t length) {
  if (position - 1 >= text.size()) return 0;
  int32_t value = 0;
  return ParseDecimalInt32(text.substr(position - 1, length), value, false) ? value : 0;
}

// "year-month-day hour:minute:second.millisecond", read by position; the separators are not
// looked at.
void ParseTimeStamp(std::u16string_view text, int32_t& time, int32_t& date) {
  const int32_t year = TimeStampPiece(text, 1, 4);
  const int32_t month = TimeStampPiece(text, 6, 2);
  const int32_t day = TimeStampPiece(text, 9, 2);
  const int32_t hour = TimeStampPiece(text, 12, 2);
  const int32_t minute = TimeStampPiece(text, 15, 2);
  const int32_t second = TimeStampPiece(text, 18, 2);
  const int32_t millisecond = TimeStampPiece(text, 21, 3);
  if (year < 1 || year > 9999 || !IsValidDate(year, month, day)) {
    throw EBxConvertError("Invalid argument to date encode");
  }
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
      millisecond < 0 || millisecond >= 1000) {
    throw EBxConvertError("Invalid argument to time encode");
  }
  date = DateToDayNumber(year, month, day);
  time = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

// 0xRRGGBB as sent to the 0x00BBGGRR of the record; the high byte is dropped.
uint32_t SwapColour(int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
}

void LogWarnings(const TKvCustomMLParser& parser) {
  if (parser.Warnings().empty()) return;
  std::string text = "Xml Parsing Warnings in Transfer Data Buffer:";
  for (const std::string& warning : parser.Warnings()) {
    text += warning;
    text += "\r\n";
  }
  if (parser.OmittedWarnings() != 0) {
    text += "(" + std::to_string(parser.OmittedWarnings()) + " more warnings not listed)\r\n";
  }
  AddLogEntry(TLogLevel::Warning, text);
}

}  // namespace

size_t XmlTextUnits(int32_t formatCode, std::span<const std::byte> buffer) {
  if (formatCode == bxmUnicodeXmlMessageFormat) {
    size_t i = 0;
    while (i + 1 < buffer.size() && (buffer[i] != std::byte{0} || buffer[i + 1] != std::byte{0}))
      i += 2;
    return i / 2;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), buffer.size());
  return std::min(bytes.size(), bytes.find('\0'));
}

std::u16string XmlBufferText(int32_t formatCode, std::span<const std::byte> buffer) {
  if (formatCode == bxmUnicodeXmlMessageFormat) {
    std::u16string text;
    text.reserve(buffer.size() / 2);
    for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned>(buffer[i]) |
                                                  (static_cast<unsigned>(buffer[i + 1]) << 8));
      if (unit == 0) break;
      text += unit;
    }
    return text;
  }
  if (formatCode == bxmUTF8XmlMessageFormat) {
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    return DecodeXmlBytes(bytes.substr(0, bytes.find('\0')));
  }
  char text[96];
  std::snprintf(text, sizeof text, "Format code 0x%08X is not an XML transfer format",
                static_cast<unsigned>(formatCode));
  throw EBxConvertError(text);
}

std::u16string DecodeCharacterReferences(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'&') {
      out += text[i++];
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && IsReferenceNameChar(text[end])) ++end;
    const std::u16string_view name = text.substr(i + 1, end - i - 1);
    if (end < text.size() && text[end] == u';') {
      AppendReference(out, name);
      i = end + 1;
    } else if (end < text.size() && IsReferenceEnder(text[end])) {
      AppendReference(out, name);
      i = end;
    } else {
      // Not ended as a reference (other punctuation, a non-ASCII character, the end of the
      // text): kept as written.
      out += u'&';
      out += name;
      i = end;
    }
  }
  return out;
}

std::u16string NormaliseLineBreaks(std::u16string_view text) {
  std::u16string out;
  if (text.empty()) return out;
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  if (text.back() != u'\r' && text.back() != u'\n') out += u"\r\n";
  return out;
}

TDispatchMessagePtr ParseXmlMessage(int32_t formatCode, std::span<const std::byte> buffer) {
  TKvXmlParser parser;
  {
    // The text's length is checked before it is decoded, so a huge buffer costs nothing.
    const size_t unit = formatCode == bxmUnicodeXmlMessageFormat ? 2 : 1;
    if (XmlTextUnits(formatCode, buffer) > parser.Limits.MaxTextLength) {
      throw EBxConvertError(std::string(kXmlRefused) + "more than " +
                            std::to_string(parser.Limits.MaxTextLength * unit) + " bytes");
    }
    // Freed once parsed: the tree holds what the conversion needs.
    const std::u16string text = XmlBufferText(formatCode, buffer);
    parser.Parse(text);
  }
  LogWarnings(parser);
  if (parser.Refused()) throw EBxConvertError(std::string(kXmlRefused) + parser.Refusal());

  // One step at a time, so that no more than two copies of a long Details text exist at once.
  std::u16string detailsText = parser.ElementText(u"Details");
  detailsText = DecodeCharacterReferences(detailsText);
  detailsText = NormaliseLineBreaks(detailsText);
  const std::string details = Utf16ToUtf8(detailsText);
  detailsText = std::u16string();
  const std::string msgText = Utf16ToUtf8(parser.ElementText(u"MsgText"));
  const std::string dispatchID = Utf8ToAnsi(Utf16ToUtf8(parser.ElementText(u"DispatchID")));
  const std::string threadName = Utf16ToUtf8(parser.ElementText(u"ThreadName"));
  const std::string computerName = Utf16ToUtf8(parser.ElementText(u"ComputerName"));
  const std::string appName = Utf16ToUtf8(parser.ElementText(u"AppName"));
  const std::string category = Utf16ToUtf8(parser.ElementText(u"Category"));
  const std::string typeName = Utf16ToUtf8(parser.ElementText(u"TypeName"));

  TDispatchMessageFields fields;
  fields.MsgType = parser.ElementInteger(u"MsgType", 0);
  fields.DispatchID = dispatchID;
  ParseTimeStamp(parser.ElementText(u"TimeStamp"), fields.TimeStampTime, fields.TimeStampDate);
  fields.TimeBias = parser.ElementInteger(u"TimeBias", 0);
  fields.ProcessID = static_cast<uint32_t>(parser.ElementInteger(u"ProcessID", 0));
  fields.ThreadName = threadName;
  fields.ComputerName = computerName;
  fields.AppName = appName;
  fields.TypeName = typeName;
  fields.Category = category;
  fields.CategoryColor = SwapColour(parser.ElementInteger(u"CategoryColor", 0));
  fields.CategoryFontColor = SwapColour(parser.ElementInteger(u"CategoryFontColor", 0));
  fields.MsgText = msgText;
  fields.Details = details;
  return BuildDispatchMessage(fields);
}

}  // namespace bx
