// Window endpoint frames: the bytes that carry one window message over an endpoint's socket.
//
// Request, all integers little-endian:
//   offset  0  u32 message
//   offset  4  u32 flags      bit 0: sent (the sender waits for the handler's result)
//                             bit 1: with bit 0, the reply carries the handler's bytes
//   offset  8  u64 wparam
//   offset 16  u64 lparam     (WM_COPYDATA: dwData)
//   offset 24  u32 length
//   offset 28  length bytes   (WM_COPYDATA: the data block)
// Reply to every request: i64 result (a posted frame: 1 once queued, 0 when refused); for a
// request with bit 1 the result is followed by u32 length and that many bytes (at most the
// data limit below), the handler's reply.
//
// TEndpointFrameParser turns a byte stream into frames without touching a socket, so the
// parsing can be driven from memory. Threads: one parser per connection, one thread.
// Failure: a length over the limit sets Error() and the parser takes nothing more; the
// connection carrying it must be closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bx {

inline constexpr size_t kFrameMessageOffset = 0;
inline constexpr size_t kFrameFlagsOffset = 4;
inline constexpr size_t kFrameWParamOffset = 8;
inline constexpr size_t kFrameLParamOffset = 16;
inline constexpr size_t kFrameLengthOffset = 24;
inline constexpr size_t kFrameHeaderSize = 28;
inline constexpr size_t kFrameReplySize = 8;
inline constexpr uint32_t kFrameFlagSent = 1;
inline constexpr uint32_t kFrameFlagReplyData = 2;
inline constexpr size_t kFrameReplyLengthSize = 4;
inline constexpr uint32_t kMaxFrameData = 16u * 1024 * 1024;

static_assert(kFrameFlagsOffset == kFrameMessageOffset + sizeof(uint32_t));
static_assert(kFrameWParamOffset == kFrameFlagsOffset + sizeof(uint32_t));
static_assert(kFrameLParamOffset == kFrameWParamOffset + sizeof(uint64_t));
static_assert(kFrameLengthOffset == kFrameLParamOffset + sizeof(uint64_t));
static_assert(kFrameHeaderSize == kFrameLengthOffset + sizeof(uint32_t));
static_assert(kFrameReplySize == sizeof(int64_t));

struct TEndpointFrame {
  uint32_t Message = 0;
  uint32_t Flags = 0;
  uint64_t WParam = 0;
  uint64_t LParam = 0;
  std::string Data;
  bool Sent() const { return (Flags & kFrameFlagSent) != 0; }
  bool WantsReplyData() const { return Sent() && (Flags & kFrameFlagReplyData) != 0; }
};

// The request bytes of a frame.
std::string EncodeFrame(uint32_t message, uint32_t flags, uint64_t wparam, uint64_t lparam,
                        std::string_view data);
std::string EncodeReply(int64_t result);
// The length and bytes that follow the result for a request with kFrameFlagReplyData.
std::string EncodeReplyData(std::string_view data);
uint32_t DecodeReplyLength(const char* bytes);
// Reads a reply; `bytes` must hold kFrameReplySize bytes.
int64_t DecodeReply(const char* bytes);

class TEndpointFrameParser {
 public:
  explicit TEndpointFrameParser(uint32_t maxData = kMaxFrameData) : FMaxData(maxData) {}

  // Appends received bytes. Returns false (and keeps nothing) once the stream is broken.
  bool Feed(const char* bytes, size_t size);
  // The next complete frame, if one is buffered.
  std::optional<TEndpointFrame> Next();
  // Non-empty once a frame broke the stream: what was wrong with it.
  const std::string& Error() const { return FError; }
  // Bytes buffered but not yet returned as frames.
  size_t Buffered() const { return FBuffer.size() - FStart; }

 private:
  void CheckHeader();

  uint32_t FMaxData;
  std::string FBuffer;
  size_t FStart = 0;
  std::string FError;
};

}  // namespace bx
