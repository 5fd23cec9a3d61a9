// ParseXmlMessage: one XML transfer buffer to one TDispatchMessage.
//
// `buffer` is exactly the bytes the transport delivered; nothing beyond it is read, whether or
// not it holds the terminating zero.
// - bxmUnicodeXmlMessageFormat: UTF-16 little-endian code units up to the first 16-bit zero
//   (or the end of the buffer; an odd last byte is ignored). Unpaired surrogates become
//   U+FFFD in the UTF-8 fields.
// - bxmUTF8XmlMessageFormat (and bxmUTF8MessageFormat buffers that begin with "<"): bytes up
//   to the first zero byte (or the end). They are read as UTF-8, which is what senders mean;
//   any run of bytes that is not valid UTF-8 is read in the ANSI code page instead (so the
//   8-bit text of older senders keeps its characters), and what that code page does not
//   define becomes U+FFFD.
//
// The elements (MsgType, DispatchID, TimeStamp, TimeBias, ProcessID, ThreadName, ComputerName,
// AppName, TypeName, Category, CategoryColor, CategoryFontColor, MsgText, Details) are found
// anywhere in the document, names compared without regard to ASCII case; the first in
// document order counts. Details has its character references decoded and its line breaks
// made CR LF; DispatchID is stored in the ANSI code page, the other texts in UTF-8, each cut
// to its field's width.
//
// Parse warnings are written as one activity-log entry of level Warning,
// "Xml Parsing Warnings in Transfer Data Buffer:" followed by each warning and CR LF; the
// conversion goes on regardless.
//
// Bounds: a document whose text (up to the terminator) is longer than the parser's
// MaxTextLength characters is refused before it is decoded; one that crosses the parser's
// node, depth or tree-memory bounds (kv_custom_ml_parser.h) is refused as soon as it does.
// Both raise EBxConvertError "XML document refused: <reason>", which the receiver logs once
// at level Error. Memory multiple: a conversion of a buffer of N bytes never holds more than
// 10 N + 8 MiB bytes besides the buffer itself (the decoded text, the tree and its pending
// run while parsing; afterwards the tree and two working copies of Details), and a hostile
// document is refused within the same figure.
//
// Failure: EBxConvertError with "Invalid argument to date encode" or "Invalid argument to time
// encode" when TimeStamp (missing ones included) is not a valid date or time, or naming the
// format code when it is neither XML code; std::bad_alloc when out of memory. No record then.
// Threads: any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "messages/dispatch_message.h"

namespace bx {

TDispatchMessagePtr ParseXmlMessage(int32_t formatCode, std::span<const std::byte> buffer);

// The number of characters (8-bit) or code units (UTF-16) before the buffer's terminator.
size_t XmlTextUnits(int32_t formatCode, std::span<const std::byte> buffer);

// The text of a buffer of either XML format, as ParseXmlMessage reads it.
std::u16string XmlBufferText(int32_t formatCode, std::span<const std::byte> buffer);

// Details processing: character references decoded (see the .cpp for the rules), then
// line breaks (CR LF, LF, CR) turned into CR LF after every line, the last one included.
std::u16string DecodeCharacterReferences(std::u16string_view text);
std::u16string NormaliseLineBreaks(std::u16string_view text);

}  // namespace bx
