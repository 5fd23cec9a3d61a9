#include "receivers/udp_datagram.h"

#include <charconv>
#include <cstdint>
#include <span>

#include "messages/base64.h"
#include "messages/dispatch_message.h"
#include "platform/unicode_text.h"

namespace bx {

std::vector<std::string_view> SplitDatagramLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool ParseDecimal(std::string_view text, long long& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;  // from_chars takes "-" but not "+"
  if (first == last) return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
}

bool ParseDecimal32(std::string_view text, int32_t& value) {
  long long wide = 0;
  if (!ParseDecimal(text, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8At(text, pos, cp);
    if (length == 0) {
      AppendUtf8(out, kReplacementCharacter);
      ++pos;
    } else {
      out.append(text.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

TBxUdpDatagram ParseUdpDatagram(std::string_view bytes) {
  TBxUdpDatagram result;
  const std::vector<std::string_view> lines = SplitDatagramLines(bytes);
  if (lines.size() != 3) return result;
  if (lines[0] == kUdpRegistrationTag) {
    result.Kind = TBxUdpDatagram::TKind::Registration;
    result.DispatchID = ValidUtf8(lines[1]);
    result.DestinationString = ValidUtf8(lines[2]);
    return result;
  }
  int32_t code = 0;
  int32_t size = 0;
  if (!ParseDecimal32(lines[0], code) || code != 0x7F000001) return result;
  if (!ParseDecimal32(lines[1], size) || size <= 0) return result;
  std::string record = DecodeBase64(lines[2]);
  const TDispatchMessageCheck check =
      CheckDispatchMessage(std::as_bytes(std::span<const char>(record.data(), record.size())));
  if (check.Message == nullptr) {
    result.Kind = TBxUdpDatagram::TKind::Refused;
    result.Error = check.Error;
    return result;
  }
  result.Kind = TBxUdpDatagram::TKind::Message;
  result.Record = std::move(record);
  return result;
}

}  // namespace bx
