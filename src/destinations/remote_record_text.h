// How the UDP and HTTP destinations write a record as text: three lines, the format code of
// the UTF-8 record (0x7F000001) in decimal, the record's size in decimal, and the record's
// bytes in Base64 (standard alphabet, "=" padding, one line).
//
// A record is written only while its Base64 text stays shorter than 65535 characters, that is
// for at most 49,149 bytes (4 * ceil(N / 3) < 65535); larger ones are skipped by the callers.
// Threads: any; no state. Failure: none but std::bad_alloc.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "messages/dispatch_message.h"

namespace bx {

inline constexpr const char* kUTF8RecordFormatText = "2130706433";  // 0x7F000001
inline constexpr int64_t kMaxRecordBase64Length = 65535;            // exclusive

// 4 * ceil(size / 3).
int64_t RecordBase64Length(int32_t size);

// The three lines of a record (see above), or none when the record is too large.
std::optional<std::array<std::string, 3>> RecordTextLines(const TDispatchMessage& message);

}  // namespace bx
