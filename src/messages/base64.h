// Base64 with the standard alphabet (RFC 4648), as datagrams carry records.
//
// EncodeBase64 writes the padded form ("=" up to a multiple of four characters), on one line.
// DecodeBase64 is lenient, as the receiving side must be: every character outside the
// alphabet ("=", line breaks and blanks included) is skipped; a final group of two or three
// characters yields one or two bytes, a lone final character nothing.
//
// Threads: any. Failure: none but std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

namespace bx {

std::string EncodeBase64(std::string_view bytes);
std::string DecodeBase64(std::string_view text);

}  // namespace bx
