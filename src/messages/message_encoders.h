// Writers of the incoming transfer formats, the inverse of their readers: what a client sends
// so that ParseXmlMessage, ConvertAnsiMessage and ConvertLegacyMessage give back its record.
// Used by the companion program that sends messages and by tests.
//
// - EncodeXmlMessage: a document with one root element holding the fourteen elements, as
//   8-bit (UTF-8) text ended by a zero byte, or as UTF-16 little-endian ended by a 16-bit zero.
//   Details are written with "&", "<" and ">" as references; the reader gives them back with
//   CR LF line breaks after every line. The other texts are written as they are, so they must
//   not hold "<" or "&" (the reader keeps references undecoded there): std::invalid_argument.
// - EncodeAnsiMessage: the record layout with its texts in the ANSI code page.
// - EncodeLegacyMessage: the older binary layout; types 91 and 92 are written as 41 and 42,
//   `threadID` as the thread ID.
//
// Threads: any. Failure: std::invalid_argument as above; the code-page layer's
// std::runtime_error for an unusable ANSI code page; std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>

#include "messages/dispatch_message.h"

namespace bx {

// `formatCode` is bxmUTF8XmlMessageFormat or bxmUnicodeXmlMessageFormat (std::invalid_argument
// otherwise). `message` must be built here or accepted by CheckDispatchMessage.
std::string EncodeXmlMessage(const TDispatchMessage& message, int32_t formatCode);

std::string EncodeAnsiMessage(const TDispatchMessageFields& fields);

std::string EncodeLegacyMessage(const TDispatchMessageFields& fields, uint32_t threadID);

}  // namespace bx
