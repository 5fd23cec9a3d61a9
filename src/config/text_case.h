// Case-insensitive comparison of UTF-8 texts, as used for ini sections and keys, category
// names, option names and registry key paths.
//
// Letters are folded to lower case code point by code point: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic. Other characters, and bytes that are not valid UTF-8, compare
// as they are. Ordering is by folded code point (byte order of the folded UTF-8).
// Threads: any; no state.
#pragma once

#include <string>
#include <string_view>

namespace bx {

std::string FoldCase(std::string_view text);

bool SameText(std::string_view a, std::string_view b);

// <0, 0 or >0 as `a` sorts before, equal to or after `b` without regard to case.
int CompareText(std::string_view a, std::string_view b);

}  // namespace bx
