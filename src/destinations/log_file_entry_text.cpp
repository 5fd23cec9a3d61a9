#include "destinations/log_file_entry_text.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/unicode_text.h"

namespace bx {

namespace {

constexpr int32_t kMillisecondsPerDay = 86400000;

void AppendHex(std::string& out, const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  out += buffer;
}

std::string Quoted(std::string_view bytes) { return "\"" + JsonEscape(bytes) + "\""; }

// Copies well-formed UTF-8 sequences as they are and asks `escapeAscii` for every ASCII byte
// (true when it appended an escape of its own); a byte that begins no valid sequence is written
// with `invalidFormat`.
template <typename TEscapeAscii>
std::string EscapeBytes(std::string_view bytes, const char* invalidFormat,
                        TEscapeAscii escapeAscii) {
  std::string out;
  out.reserve(bytes.size() + 8);
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      char32_t ignored = 0;
      const size_t n = DecodeUtf8At(bytes, i, ignored);
      if (n == 0) {
        AppendHex(out, invalidFormat, c);
        ++i;
      } else {
        out.append(bytes.substr(i, n));
        i += n;
      }
      continue;
    }
    if (!escapeAscii(out, c)) out += static_cast<char>(c);
    ++i;
  }
  return out;
}

}  // namespace

std::string JsonEscape(std::string_view bytes) {
  return EscapeBytes(bytes, "\\u%04x", [](std::string& out, unsigned char c) {
    switch (c) {
      case '"':
        out += "\\\"";
        return true;
      case '\\':
        out += "\\\\";
        return true;
      case '\b':
        out += "\\b";
        return true;
      case '\f':
        out += "\\f";
        return true;
      case '\n':
        out += "\\n";
        return true;
      case '\r':
        out += "\\r";
        return true;
      case '\t':
        out += "\\t";
        return true;
      default:
        if (c >= 0x20 && c != 0x7F) return false;
        AppendHex(out, "\\u%04x", c);
        return true;
    }
  });
}

std::string TextEscape(std::string_view bytes) {
  return EscapeBytes(bytes, "\\x%02X", [](std::string& out, unsigned char c) {
    switch (c) {
      case '\\':
        out += "\\\\";
        return true;
      case '\n':
        out += "\\n";
        return true;
      case '\r':
        out += "\\r";
        return true;
      case '\t':
        out += "\\t";
        return true;
      default:
        if (c >= 0x20 && c != 0x7F) return false;
        AppendHex(out, "\\x%02X", c);
        return true;
    }
  });
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
