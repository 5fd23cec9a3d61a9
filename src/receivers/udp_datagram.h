// ParseUdpDatagram: what one UDP datagram asks of the dispatcher, read without the socket.
//
// A datagram is UTF-8 text (bytes that are not valid UTF-8 read as U+FFFD) of exactly three
// lines, separated by CR LF, LF or CR; a line break after the third line is allowed and makes
// no fourth line.
// - "REGDISPATCH" (exact case), dispatch ID, destination string: a registration.
// - 2130706433 (0x7F000001 in decimal), the record's size (a decimal 32-bit integer above 0,
//   not compared with anything), the record in Base64: a message. The decoded bytes must hold
//   a whole record (CheckDispatchMessage); a block that does not is refused with the reason.
// Everything else is ignored.
//
// Threads: any; no shared state. Failure: none but std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

inline constexpr const char* kUdpRegistrationTag = "REGDISPATCH";
inline constexpr const char* kUdpMessageTag = "2130706433";

struct TBxUdpDatagram {
  enum class TKind { Ignored, Registration, Message, Refused };
  TKind Kind = TKind::Ignored;
  std::string DispatchID;         // Registration
  std::string DestinationString;  // Registration
  std::string Record;             // Message: bytes accepted by CheckDispatchMessage
  std::string Error;              // Refused: why the decoded block is not a record
};

TBxUdpDatagram ParseUdpDatagram(std::string_view bytes);

// The lines of a text split at CR LF, LF or CR; a break at the very end adds no empty line.
std::vector<std::string_view> SplitDatagramLines(std::string_view text);

// The text as UTF-8, each byte that starts no valid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// A whole line as a decimal 32-bit integer (optional sign, no blanks); false when it is not
// one or does not fit.
bool ParseDecimal32(std::string_view text, int32_t& value);

// A whole line as a decimal integer (optional sign); false when it is not one or overflows.
bool ParseDecimal(std::string_view text, long long& value);

}  // namespace bx
