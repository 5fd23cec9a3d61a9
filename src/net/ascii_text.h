// Text conversions of the network clients. Text is held as UTF-8 throughout the program.
// Threads: any; no state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bx {

// Length of the UTF-8 sequence that starts at text[at], or 0 when no valid sequence starts
// there (a stray continuation byte, a cut or overlong sequence).
size_t Utf8SequenceLength(std::string_view text, size_t at);

// UTF-8 text as 7-bit ASCII: each character outside ASCII (and each byte that does not belong
// to a valid UTF-8 sequence) becomes one "?".
std::string ToAscii7(std::string_view utf8);

}  // namespace bx
