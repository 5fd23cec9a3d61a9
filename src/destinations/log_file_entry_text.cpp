#include "destinations/log_file_entry_text.h"

#include <cstdio>

#include "platform/clock.h"

namespace bx {

namespace {

constexpr int32_t kMillisecondsPerDay = 86400000;

// Length of the well-formed UTF-8 sequence at the front of `s` (no overlong forms, no
// surrogates, nothing above U+10FFFF); 0 when the first byte does not begin one.
size_t Utf8SequenceLength(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // overlong
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;   // overlong
    if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendHex(std::string& out, const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  out += buffer;
}

std::string Quoted(std::string_view bytes) { return "\"" + JsonEscape(bytes) + "\""; }

}  // namespace

std::string JsonEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const size_t n = Utf8SequenceLength(bytes.substr(i));
      if (n == 0) {
        AppendHex(out, "\\u%04x", c);
        ++i;
      } else {
        out.append(bytes.substr(i, n));
        i += n;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendHex(out, "\\u%04x", c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

std::string TextEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const size_t n = Utf8SequenceLength(bytes.substr(i));
      if (n == 0) {
        AppendHex(out, "\\x%02X", c);
        ++i;
      } else {
        out.append(bytes.substr(i, n));
        i += n;
      }
      continue;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendHex(out, "\\x%02X", c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

std::string FormatLogFileTimeStamp(int32_t dayNumber, int32_t milliseconds) {
  std::string out;
  int year = 0;
  int month = 0;
  int day = 0;
  if (dayNumber >= 1) DayNumberToDate(dayNumber, year, month, day);
  char buffer[48];
  if (dayNumber >= 1 && IsValidDate(year, month, day)) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  } else {
    std::snprintf(buffer, sizeof buffer, "day %d", dayNumber);
  }
  out = buffer;
  if (milliseconds >= 0 && milliseconds < kMillisecondsPerDay) {
    std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d.%03d", milliseconds / 3600000,
                  milliseconds / 60000 % 60, milliseconds / 1000 % 60, milliseconds % 1000);
  } else {
    std::snprintf(buffer, sizeof buffer, " ms %d", milliseconds);
  }
  out += buffer;
  return out;
}

std::string FormatLogFileEntryText(const TLogFileEntry& entry) {
  std::string out = "#" + std::to_string(entry.Index) + " " +
                    FormatLogFileTimeStamp(entry.TimeStampDate, entry.TimeStampTime) + " type " +
                    std::to_string(entry.MsgType);
  if (!entry.TypeName.empty()) out += " (" + TextEscape(entry.TypeName) + ")";
  out += " process " + std::to_string(entry.ProcessID);
  out += " thread \"" + TextEscape(entry.ThreadName) + "\"";
  out += " app \"" + TextEscape(entry.AppName) + "\"";
  out += " category \"" + TextEscape(entry.Category) + "\"";
  out += " text \"" + TextEscape(entry.MsgText) + "\"";
  out += " details \"" + TextEscape(entry.Details) + "\"";
  return out;
}

std::string FormatLogFileEntryJson(const TLogFileEntry& entry) {
  std::string out = "{";
  out += "\"index\":" + std::to_string(entry.Index);
  out += ",\"offset\":" + std::to_string(entry.Offset);
  out += ",\"type\":" + std::to_string(entry.MsgType);
  out += ",\"typeName\":" + Quoted(entry.TypeName);
  out += ",\"time\":" + Quoted(FormatLogFileTimeStamp(entry.TimeStampDate, entry.TimeStampTime));
  out += ",\"day\":" + std::to_string(entry.TimeStampDate);
  out += ",\"milliseconds\":" + std::to_string(entry.TimeStampTime);
  out += ",\"timeBias\":" + std::to_string(entry.TimeBias);
  out += ",\"process\":" + std::to_string(entry.ProcessID);
  out += ",\"thread\":" + Quoted(entry.ThreadName);
  out += ",\"computer\":" + Quoted(entry.ComputerName);
  out += ",\"app\":" + Quoted(entry.AppName);
  out += ",\"category\":" + Quoted(entry.Category);
  out += ",\"categoryColor\":" + std::to_string(entry.CategoryColor);
  out += ",\"categoryFontColor\":" + std::to_string(entry.CategoryFontColor);
  out += ",\"text\":" + Quoted(entry.MsgText);
  out += ",\"details\":" + Quoted(entry.Details);
  out += "}";
  return out;
}

}  // namespace bx
