// Format codes: the 32-bit label that travels with every incoming buffer (the copy-data
// identifier, the first integer of a TCP request, the first line of a UDP datagram) and says
// how its bytes are to be read. Codes compare as signed 32-bit integers: every code below
// bxmAnsiMessageFormat, negative ones included, labels a legacy binary record.
#pragma once

#include <cstdint>

namespace bx {

// A legacy binary record (the code itself is not part of the payload).
inline constexpr bool IsBx2MessageFormat(int32_t code) { return code < 0x7F000000; }

// A record in the TDispatchMessage layout whose texts are in the ANSI code page.
inline constexpr int32_t bxmAnsiMessageFormat = 0x7F000000;
// A TDispatchMessage with UTF-8 texts; 8-bit XML text when its first byte is "<".
inline constexpr int32_t bxmUTF8MessageFormat = 0x7F000001;
// XML text in UTF-16 little-endian, ended by a 16-bit zero.
inline constexpr int32_t bxmUnicodeXmlMessageFormat = 0x7F000002;
// 8-bit XML text, ended by a zero byte.
inline constexpr int32_t bxmUTF8XmlMessageFormat = 0x7F000003;
// Not a message: a command to the TCP receiver.
inline constexpr int32_t bxmCommand = 0x7F000064;

}  // namespace bx
