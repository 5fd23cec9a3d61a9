#include "config/text_case.h"

#include <cstdint>

namespace bx {

namespace {

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137) return c | 1;  // pairs: even upper, odd lower
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// Decodes one well-formed UTF-8 sequence at `pos`; returns its length, 0 when malformed.
size_t Decode(std::string_view s, size_t pos, char32_t& out) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  uint8_t b0 = byte(pos);
  size_t length;
  char32_t c;
  if (b0 < 0x80) {
    out = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    c = b0 & 0x0F;
  } else {
    return 0;  // four-byte sequences hold no letters we fold; keep them as bytes
  }
  if (pos + length > s.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  if ((length == 2 && c < 0x80) || (length == 3 && c < 0x800)) return 0;
  out = c;
  return length;
}

void Encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsPlainAscii(std::string_view s) {
  for (char ch : s) {
    if (static_cast<uint8_t>(ch) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t c;
    size_t length = Decode(text, pos, c);
    if (length == 0) {
      out += text[pos++];
      continue;
    }
    if (length == 1) {
      out += static_cast<char>(FoldCodePoint(c));
    } else {
      Encode(FoldCodePoint(c), out);
    }
    pos += length;
  }
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  if (IsPlainAscii(a) && IsPlainAscii(b)) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      int ca = static_cast<int>(FoldCodePoint(static_cast<uint8_t>(a[i])));
      int cb = static_cast<int>(FoldCodePoint(static_cast<uint8_t>(b[i])));
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  return FoldCase(a).compare(FoldCase(b));
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  return CompareText(a, b) == 0;
}

}  // namespace bx
