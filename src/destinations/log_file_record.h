// TLogFileRecord: the bytes of one entry of a .bxl log file.
//
// A log file is a plain run of entries with no header, index or trailer. An entry is the 4-byte
// marker 0x7F000001 (little-endian: 01 00 00 7F) followed by one record of
// 202 + MsgTextLen + DetailsLen bytes: the message record without its DispatchID and with a
// single terminating zero byte after the texts. Integers are stored little-endian, text fields
// are zero-padded, there is no padding between fields.
//
// Threads: free functions without shared state; any thread.
// Failure: BuildLogFileEntry throws std::invalid_argument for a message with a negative text
// length (a record that did not pass CheckDispatchMessage) and std::bad_alloc when out of memory.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/dispatch_message.h"

namespace bx {

// Entries are written as laid out in memory; the file is little-endian by definition.
static_assert(std::endian::native == std::endian::little,
              "log file entries are written in the host's byte order");

inline constexpr uint32_t kLogFileMarker = 0x7F000001;
inline constexpr size_t kLogFileMarkerSize = 4;
inline constexpr std::array<std::byte, kLogFileMarkerSize> kLogFileMarkerBytes = {
    std::byte{0x01}, std::byte{0x00}, std::byte{0x00}, std::byte{0x7F}};

#pragma pack(push, 1)
struct TLogFileRecord {
  int32_t MsgType;
  int32_t TimeStampTime;  // milliseconds since midnight
  int32_t TimeStampDate;  // day number, 0001-01-01 = 1
  int32_t TimeBias;
  int32_t MsgTextLen;
  int32_t DetailsLen;
  uint32_t ProcessID;
  char ThreadName[26];
  char ComputerName[16];
  char AppName[41];
  char Category[41];
  uint32_t CategoryColor;
  uint32_t CategoryFontColor;
  char TypeName[41];
  // MsgText, Details, one zero byte. Declared with its minimum size; the texts continue past it
  // in the same buffer.
  char TextArea[1];
};
#pragma pack(pop)

inline constexpr size_t kLogFileRecordFixedSize = 201;  // everything before the text area
inline constexpr size_t kLogFileRecordMinSize = 202;    // a record with empty texts
// A reader knows a record's length once it has this many bytes (up to and with DetailsLen).
inline constexpr size_t kLogFileRecordLengthsEnd = 24;

static_assert(offsetof(TLogFileRecord, MsgType) == 0);
static_assert(offsetof(TLogFileRecord, TimeStampTime) == 4);
static_assert(offsetof(TLogFileRecord, TimeStampDate) == 8);
static_assert(offsetof(TLogFileRecord, TimeBias) == 12);
static_assert(offsetof(TLogFileRecord, MsgTextLen) == 16);
static_assert(offsetof(TLogFileRecord, DetailsLen) == 20);
static_assert(offsetof(TLogFileRecord, ProcessID) == 24);
static_assert(offsetof(TLogFileRecord, ThreadName) == 28);
static_assert(offsetof(TLogFileRecord, ComputerName) == 54);
static_assert(offsetof(TLogFileRecord, AppName) == 70);
static_assert(offsetof(TLogFileRecord, Category) == 111);
static_assert(offsetof(TLogFileRecord, CategoryColor) == 152);
static_assert(offsetof(TLogFileRecord, CategoryFontColor) == 156);
static_assert(offsetof(TLogFileRecord, TypeName) == 160);
static_assert(offsetof(TLogFileRecord, TextArea) == kLogFileRecordFixedSize);
static_assert(sizeof(TLogFileRecord) == kLogFileRecordMinSize);
static_assert(alignof(TLogFileRecord) == 1);
static_assert(offsetof(TLogFileRecord, DetailsLen) + sizeof(int32_t) == kLogFileRecordLengthsEnd);

// Every text field has the width of its counterpart in the message, so nothing is cut.
static_assert(sizeof(TLogFileRecord::ThreadName) == sizeof(TDispatchMessage::ThreadName));
static_assert(sizeof(TLogFileRecord::ComputerName) == sizeof(TDispatchMessage::ComputerName));
static_assert(sizeof(TLogFileRecord::AppName) == sizeof(TDispatchMessage::AppName));
static_assert(sizeof(TLogFileRecord::Category) == sizeof(TDispatchMessage::Category));
static_assert(sizeof(TLogFileRecord::TypeName) == sizeof(TDispatchMessage::TypeName));

// 202 + MsgTextLen + DetailsLen, as a 64-bit count (the lengths come from a file).
int64_t LogFileRecordSize(int32_t msgTextLen, int32_t detailsLen);

// Fills `entry` with the marker followed by the record of `message`: 4 + 202 + MsgTextLen +
// DetailsLen bytes. `entry` is overwritten (its capacity is reused, so a caller that keeps one
// buffer allocates only when a message is larger than any before). The message must have been
// built by BuildDispatchMessage or have passed CheckDispatchMessage.
void BuildLogFileEntry(const TDispatchMessage& message, std::vector<std::byte>& entry);

}  // namespace bx
