// UTF-8 and UTF-16 helpers shared by the transfer formats and the code-page layer.
//
// Strict UTF-8 (RFC 3629): overlong forms, encoded surrogates and values above U+10FFFF are
// invalid. Conversions never fail: what cannot be represented becomes U+FFFD, one for each
// invalid byte of UTF-8 and one for each unpaired surrogate of UTF-16.
// Threads: any (no shared state). Failure: std::bad_alloc only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bx {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Length (1 to 4) of the valid UTF-8 sequence that starts at text[pos], with its code point in
// `cp`; 0 when the bytes there are not a valid sequence (or pos is at the end).
size_t DecodeUtf8At(std::string_view text, size_t pos, char32_t& cp);

void AppendUtf8(std::string& out, char32_t cp);
void AppendUtf16(std::u16string& out, char32_t cp);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace bx
