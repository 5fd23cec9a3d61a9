// TDispatchMessage: the one in-memory form of a log message, and the main wire format.
//
// The layout is fixed to the byte (little-endian, no padding): a 243-byte fixed part followed by
// MsgText, Details, a NUL and two more zero bytes, 246 + MsgTextLen + DetailsLen bytes in all.
// Records built here live in one zero-filled heap block owned by a TDispatchMessagePtr.
// Records that arrive from outside are reached only through CheckDispatchMessage, which refuses
// any buffer that is shorter than the lengths it claims.
//
// Threads: everything here is free of shared state and may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace bx {

// Message types with a meaning of their own; 0 to 47 are log messages that can be blocked.
inline constexpr int32_t kMsgTypeRegister = 91;
inline constexpr int32_t kMsgTypeUnregister = 92;
inline constexpr int32_t kMaxBlockableMsgType = 47;

#pragma pack(push, 1)
struct TDispatchMessage {
  int32_t MsgType;
  int32_t TimeStampTime;  // milliseconds since midnight, sender's local time
  int32_t TimeStampDate;  // day number, 0001-01-01 = 1
  int32_t TimeBias;       // minutes, UTC = local + bias
  int32_t MsgTextLen;
  int32_t DetailsLen;
  uint32_t ProcessID;
  char ThreadName[26];
  char DispatchID[42];
  char ComputerName[16];
  char AppName[41];
  char Category[41];
  uint32_t CategoryColor;
  uint32_t CategoryFontColor;
  char TypeName[41];
  // MsgText, Details, NUL, two zero bytes. Declared with its minimum size; the texts continue
  // past it inside the same block. Reach them through MsgText()/Details(), never by indexing.
  char MsgData[3];
};
#pragma pack(pop)

inline constexpr size_t kDispatchMessageFixedSize = 243;
inline constexpr size_t kDispatchMessageMinSize = 246;

static_assert(offsetof(TDispatchMessage, MsgType) == 0);
static_assert(offsetof(TDispatchMessage, TimeStampTime) == 4);
static_assert(offsetof(TDispatchMessage, TimeStampDate) == 8);
static_assert(offsetof(TDispatchMessage, TimeBias) == 12);
static_assert(offsetof(TDispatchMessage, MsgTextLen) == 16);
static_assert(offsetof(TDispatchMessage, DetailsLen) == 20);
static_assert(offsetof(TDispatchMessage, ProcessID) == 24);
static_assert(offsetof(TDispatchMessage, ThreadName) == 28);
static_assert(offsetof(TDispatchMessage, DispatchID) == 54);
static_assert(offsetof(TDispatchMessage, ComputerName) == 96);
static_assert(offsetof(TDispatchMessage, AppName) == 112);
static_assert(offsetof(TDispatchMessage, Category) == 153);
static_assert(offsetof(TDispatchMessage, CategoryColor) == 194);
static_assert(offsetof(TDispatchMessage, CategoryFontColor) == 198);
static_assert(offsetof(TDispatchMessage, TypeName) == 202);
static_assert(offsetof(TDispatchMessage, MsgData) == kDispatchMessageFixedSize);
static_assert(sizeof(TDispatchMessage) == kDispatchMessageMinSize);
static_assert(alignof(TDispatchMessage) == 1);

// 246 + MsgTextLen + DetailsLen. Only meaningful for a record that was built here or passed
// CheckDispatchMessage (both guarantee non-negative lengths that fit the block).
int32_t DispatchMessageSize(const TDispatchMessage& message);

// A new version-4 GUID in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string NewDispatchID();

// The text of a fixed-width field: the bytes up to the first NUL, never past the field's end
// (a record from outside may lack the terminator).
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// The record's dispatch ID: the bytes of its DispatchID field up to the first NUL, at most 41
// (a 42-byte field without a terminator is taken as its first 41 bytes, as every builder
// would have cut it).
inline constexpr size_t kMaxDispatchIDLength = 41;
inline std::string_view DispatchIDText(const TDispatchMessage& message) {
  return std::string_view(message.DispatchID, strnlen(message.DispatchID, kMaxDispatchIDLength));
}

// The record's dispatch ID as UTF-8, the form in which the registry keeps IDs: the field is
// in the ANSI code page (ASCII IDs are taken as they are).
std::string DispatchIDUtf8(const TDispatchMessage& message);
// The same without a copy for the usual ASCII ID: a view of the field itself, or of `scratch`,
// which receives the converted text otherwise. Valid while both live unchanged.
std::string_view DispatchIDUtf8(const TDispatchMessage& message, std::string& scratch);

// MsgText and Details of a record whose lengths are known to fit its block.
std::string_view MsgText(const TDispatchMessage& message);
std::string_view Details(const TDispatchMessage& message);

// Owner of one heap block holding a record.
struct TDispatchMessageDeleter {
  void operator()(TDispatchMessage* message) const noexcept;
};
using TDispatchMessagePtr = std::unique_ptr<TDispatchMessage, TDispatchMessageDeleter>;

// The values a builder puts into a record. Texts are cut at their first NUL; fixed-width
// fields are further cut to their width minus one bytes (a UTF-8 sequence may be split).
struct TDispatchMessageFields {
  int32_t MsgType = 0;
  int32_t TimeStampTime = 0;
  int32_t TimeStampDate = 0;
  int32_t TimeBias = 0;
  uint32_t ProcessID = 0;
  std::string_view ThreadName;
  std::string_view DispatchID;
  std::string_view ComputerName;
  std::string_view AppName;
  std::string_view Category;
  uint32_t CategoryColor = 0;
  uint32_t CategoryFontColor = 0;
  std::string_view TypeName;
  std::string_view MsgText;
  std::string_view Details;
};

// Allocates a zero-filled block of 246 + MsgTextLen + DetailsLen bytes and fills it.
// Throws std::bad_alloc when out of memory, std::length_error when the texts do not fit int32.
TDispatchMessagePtr BuildDispatchMessage(const TDispatchMessageFields& fields);

// A byte copy of a record (exactly DispatchMessageSize bytes) in a block of its own.
TDispatchMessagePtr CopyDispatchMessage(const TDispatchMessage& message);

// Copies text into a fixed-width field: at most N-1 bytes, stopping at a NUL, then zero-filled.
template <size_t N>
void SetFieldText(char (&field)[N], std::string_view text) {
  size_t n = text.find('\0');
  if (n == std::string_view::npos) n = text.size();
  if (n > N - 1) n = N - 1;
  if (n > 0) std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

// Result of checking a buffer that arrived from outside.
struct TDispatchMessageCheck {
  const TDispatchMessage* Message = nullptr;  // the record in place, or null when refused
  std::string Error;                          // why it was refused, for the activity log
};

// Views `bytes` as a record after checking that it holds at least 246 bytes, that neither
// length field is negative, and that 246 + MsgTextLen + DetailsLen bytes are present. Never
// reads outside `bytes`. Trailing bytes beyond the record are allowed and ignored.
TDispatchMessageCheck CheckDispatchMessage(std::span<const std::byte> bytes);

}  // namespace bx
