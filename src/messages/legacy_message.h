// The two older binary forms of a message and their conversion into a TDispatchMessage.
//
// Legacy record (Bx2MessageFormat, any format code below bxmAnsiMessageFormat): little-endian,
// no padding, a 217-byte fixed part (TLegacyMessage) followed by the message text, the details
// and a zero byte. Its texts are copied byte for byte, without any change of character set.
//
// ANSI record (bxmAnsiMessageFormat): the TDispatchMessage layout with every text in the ANSI
// code page; converted to UTF-8 except DispatchID, which stays in the ANSI code page.
//
// Both take exactly the bytes the transport delivered and never read beyond them.
// Failure: EBxConvertError when the buffer is shorter than its fixed part or than the texts
// its length fields claim, or a length field is negative (the text says which); the
// code-page layer's std::runtime_error for an unusable ANSI code page; std::bad_alloc.
// Threads: any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "messages/dispatch_message.h"

namespace bx {

// Legacy message types of a registration and an unregistration.
inline constexpr int32_t kLegacyMsgTypeRegister = 41;
inline constexpr int32_t kLegacyMsgTypeUnregister = 42;
// Font colour of every converted legacy record: the system window-text colour.
inline constexpr uint32_t kLegacyCategoryFontColor = 0xFF000008;

#pragma pack(push, 1)
struct TLegacyMessage {
  int32_t MsgType;
  int32_t TimeStampTime;
  int32_t TimeStampDate;
  int32_t TimeBias;
  int32_t TextLen;
  int32_t DetailsLen;
  uint32_t ProcessID;
  uint32_t ThreadID;
  char DispatchID[42];
  char ComputerName[16];
  char AppName[41];
  char Category[41];
  uint32_t CategoryColor;
  char TypeName[41];
  // The texts follow here.
};
#pragma pack(pop)

inline constexpr size_t kLegacyMessageFixedSize = 217;

static_assert(offsetof(TLegacyMessage, MsgType) == 0);
static_assert(offsetof(TLegacyMessage, TimeStampTime) == 4);
static_assert(offsetof(TLegacyMessage, TimeStampDate) == 8);
static_assert(offsetof(TLegacyMessage, TimeBias) == 12);
static_assert(offsetof(TLegacyMessage, TextLen) == 16);
static_assert(offsetof(TLegacyMessage, DetailsLen) == 20);
static_assert(offsetof(TLegacyMessage, ProcessID) == 24);
static_assert(offsetof(TLegacyMessage, ThreadID) == 28);
static_assert(offsetof(TLegacyMessage, DispatchID) == 32);
static_assert(offsetof(TLegacyMessage, ComputerName) == 74);
static_assert(offsetof(TLegacyMessage, AppName) == 90);
static_assert(offsetof(TLegacyMessage, Category) == 131);
static_assert(offsetof(TLegacyMessage, CategoryColor) == 172);
static_assert(offsetof(TLegacyMessage, TypeName) == 176);
static_assert(sizeof(TLegacyMessage) == kLegacyMessageFixedSize);
static_assert(alignof(TLegacyMessage) == 1);

// A legacy record to a new TDispatchMessage: type 41 becomes 91 and 42 becomes 92; the thread
// ID becomes ThreadName as unsigned decimal text; the font colour is kLegacyCategoryFontColor.
// The buffer must hold 217 + text length + details length bytes; the terminating zero may be
// missing. The texts are taken up to their first zero byte, and the record's lengths describe
// what was taken (so a text never carries a NUL).
TDispatchMessagePtr ConvertLegacyMessage(std::span<const std::byte> buffer);

// An ANSI record (checked like a TDispatchMessage from outside) to a new TDispatchMessage with
// UTF-8 texts; MsgTextLen and DetailsLen become the UTF-8 byte counts.
TDispatchMessagePtr ConvertAnsiMessage(std::span<const std::byte> buffer);

}  // namespace bx
