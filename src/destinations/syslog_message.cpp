#include "destinations/syslog_message.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/unicode_text.h"

namespace bx {

namespace {

// RFC 5424 field lengths.
constexpr size_t kMaxHostName = 255;
constexpr size_t kMaxAppName = 48;
constexpr size_t kMaxProcId = 128;

constexpr std::array<std::string_view, 24> kFacilityNames = {
    "kern",   "user",   "mail",     "daemon", "auth",   "syslog",   "lpr",     "news",
    "uucp",   "cron",   "authpriv", "ftp",    "ntp",    "security", "console", "solaris-cron",
    "local0", "local1", "local2",   "local3", "local4", "local5",   "local6",  "local7"};

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// A header field: printable ASCII only (33 to 126), one "_" per other character or broken
// byte, at most `maxLength` bytes, "-" when empty.
std::string HeaderField(std::string_view text, size_t maxLength) {
  std::string out;
  for (size_t at = 0; at < text.size() && out.size() < maxLength;) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8At(text, at, cp);
    if (length == 1 && cp >= 33 && cp <= 126) {
      out += static_cast<char>(cp);
    } else {
      out += '_';
    }
    at += length == 0 ? 1 : length;
  }
  return out.empty() ? std::string("-") : out;
}

// Valid UTF-8: each broken byte becomes U+FFFD.
std::string CleanUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8At(text, at, cp);
    if (length == 0) {
      AppendUtf8(out, kReplacementCharacter);
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

// A PARAM-VALUE: UTF-8 with '"', '\' and ']' escaped.
std::string ParamValue(std::string_view text) {
  const std::string clean = CleanUtf8(text);
  std::string out;
  out.reserve(clean.size() + 2);
  for (const char c : clean) {
    if (c == '"' || c == '\\' || c == ']') out += '\\';
    out += c;
  }
  return out;
}

std::string ColourText(uint32_t colour) {
  char text[16];
  if ((colour >> 24) == 0) {
    // 0x00BBGGRR: red in the lowest byte.
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
  } else {
    std::snprintf(text, sizeof text, "0x%08X", colour);
  }
  return text;
}

void AddParam(std::string& sd, std::string_view name, std::string_view value) {
  sd += ' ';
  sd += name;
  sd += "=\"";
  sd += ParamValue(value);
  sd += '"';
}

std::string StructuredData(const TDispatchMessage& m) {
  std::string sd = "[";
  sd += kSyslogSDID;
  const std::string_view category = FieldText(m.Category);
  if (!category.empty()) {
    AddParam(sd, "category", category);
    AddParam(sd, "categoryColor", ColourText(m.CategoryColor));
    AddParam(sd, "categoryFontColor", ColourText(m.CategoryFontColor));
  }
  if (const std::string_view thread = FieldText(m.ThreadName); !thread.empty()) {
    AddParam(sd, "thread", thread);
  }
  if (const std::string_view typeName = FieldText(m.TypeName); !typeName.empty()) {
    AddParam(sd, "typeName", typeName);
  }
  // The dispatch ID is held in the ANSI code page; the RFC wants UTF-8.
  AddParam(sd, "dispatchID", AnsiToUtf8(FieldText(m.DispatchID)));
  sd += ']';
  return sd;
}

// "<PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID"
std::string Header(const TDispatchMessage& m, uint8_t facility) {
  const unsigned pri = unsigned{facility} * 8u + SyslogSeverity(m.MsgType);
  std::string h = "<" + std::to_string(pri) + ">1 ";
  h += SyslogTimestamp(m.TimeStampDate, m.TimeStampTime, m.TimeBias);
  h += ' ';
  h += HeaderField(FieldText(m.ComputerName), kMaxHostName);
  h += ' ';
  h += HeaderField(FieldText(m.AppName), kMaxAppName);
  h += ' ';
  h += HeaderField(std::to_string(m.ProcessID), kMaxProcId);
  h += ' ';
  h += std::to_string(m.MsgType);
  return h;
}

std::string MsgPart(const TDispatchMessage& m) {
  std::string msg = kSyslogBOM;
  msg += CleanUtf8(MsgText(m));
  if (const std::string_view details = Details(m); !details.empty()) {
    msg += '\n';
    msg += CleanUtf8(details);
  }
  return msg;
}

}  // namespace

uint8_t SyslogSeverity(int32_t msgType) {
  constexpr uint8_t kErr = 3, kWarning = 4, kNotice = 5, kInfo = 6, kDebug = 7;
  switch (msgType) {
    case 2:
    case 37:
    case 24:
      return kErr;
    case 1:
    case 25:
      return kWarning;
    case 23:
    case 26:
      return kNotice;
    case 0:
    case 8:
    case 45:
    case 27:
    case 28:
    case 29:
    case 30:
      return kInfo;
    case 3:
    case 9:
    case 10:
      return kDebug;
    default:
      break;
  }
  const bool dump = (msgType >= 4 && msgType <= 6) || (msgType >= 16 && msgType <= 22) ||
                    (msgType >= 31 && msgType <= 36) || msgType == 38 || msgType == 41 ||
                    msgType == 44;
  return dump ? kDebug : kInfo;
}

std::optional<uint8_t> ParseSyslogFacility(std::string_view text) {
  for (size_t i = 0; i < kFacilityNames.size(); ++i) {
    if (SameAscii(text, kFacilityNames[i])) return static_cast<uint8_t>(i);
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (!text.empty() && ec == std::errc() && end == text.data() + text.size() && value <= 23) {
    return static_cast<uint8_t>(value);
  }
  return std::nullopt;
}

std::string SyslogTimestamp(int32_t dayNumber, int32_t millisOfDay, int32_t timeBias) {
  constexpr int32_t kMaxOffset = 23 * 60 + 59;
  if (dayNumber < 1 || millisOfDay < 0 || millisOfDay >= 86400000 || timeBias < -kMaxOffset ||
      timeBias > kMaxOffset) {
    return "-";
  }
  int year = 0, month = 0, day = 0;
  DayNumberToDate(dayNumber, year, month, day);
  if (year > 9999) return "-";
  const int offset = -timeBias;  // local = UTC - bias
  const int absOffset = offset < 0 ? -offset : offset;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month,
                day, millisOfDay / 3600000, millisOfDay / 60000 % 60, millisOfDay / 1000 % 60,
                millisOfDay % 1000, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  return text;
}

std::string BuildSyslogMessage(const TDispatchMessage& message, uint8_t facility) {
  return Header(message, facility) + ' ' + StructuredData(message) + ' ' + MsgPart(message);
}

size_t Utf8CutLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t cut = 0;
  for (size_t at = 0; at < text.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8At(text, at, cp);
    const size_t next = at + (length == 0 ? 1 : length);
    if (next > maxBytes) break;
    cut = next;
    at = next;
  }
  return cut;
}

std::string FitSyslogMessage(const TDispatchMessage& message, uint8_t facility, size_t maxBytes) {
  const std::string header = Header(message, facility);
  std::string sd = StructuredData(message);
  const std::string msg = MsgPart(message);
  if (header.size() + sd.size() + msg.size() + 2 <= maxBytes) {
    return header + ' ' + sd + ' ' + msg;
  }
  const size_t bom = std::string_view(kSyslogBOM).size();
  if (header.size() + sd.size() + 2 + bom > maxBytes) sd = "-";
  std::string out = header + ' ' + sd + ' ';
  if (out.size() + bom > maxBytes) return out.substr(0, maxBytes);  // header alone too long
  const size_t room = maxBytes - out.size() - bom;
  const std::string_view text = std::string_view(msg).substr(bom);
  out += kSyslogBOM;
  out.append(text.substr(0, Utf8CutLength(text, room)));
  return out;
}

}  // namespace bx
