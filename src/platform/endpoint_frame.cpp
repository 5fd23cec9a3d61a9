#include "platform/endpoint_frame.h"

namespace bx {

namespace {

void PutLE(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

uint64_t GetLE(const char* p, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) {
    value |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  return value;
}

}  // namespace

std::string EncodeFrame(uint32_t message, uint32_t flags, uint64_t wparam, uint64_t lparam,
                        std::string_view data) {
  std::string out;
  out.reserve(kFrameHeaderSize + data.size());
  PutLE(out, message, 4);
  PutLE(out, flags, 4);
  PutLE(out, wparam, 8);
  PutLE(out, lparam, 8);
  PutLE(out, data.size(), 4);
  out.append(data);
  return out;
}

std::string EncodeReply(int64_t result) {
  std::string out;
  PutLE(out, static_cast<uint64_t>(result), 8);
  return out;
}

int64_t DecodeReply(const char* bytes) { return static_cast<int64_t>(GetLE(bytes, 8)); }

std::string EncodeReplyData(std::string_view data) {
  std::string out;
  out.reserve(kFrameReplyLengthSize + data.size());
  PutLE(out, data.size(), kFrameReplyLengthSize);
  out.append(data);
  return out;
}

uint32_t DecodeReplyLength(const char* bytes) {
  return static_cast<uint32_t>(GetLE(bytes, kFrameReplyLengthSize));
}

bool TEndpointFrameParser::Feed(const char* bytes, size_t size) {
  if (!FError.empty()) return false;
  if (FStart > 0 && FStart == FBuffer.size()) {
    FBuffer.clear();
    FStart = 0;
  }
  FBuffer.append(bytes, size);
  CheckHeader();
  return FError.empty();
}

void TEndpointFrameParser::CheckHeader() {
  if (Buffered() < kFrameHeaderSize) return;
  const uint64_t length = GetLE(FBuffer.data() + FStart + kFrameLengthOffset, 4);
  if (length > FMaxData) {
    FError = "frame data of " + std::to_string(length) + " bytes exceeds the limit of " +
             std::to_string(FMaxData) + " bytes";
    FBuffer.clear();
    FStart = 0;
  }
}

std::optional<TEndpointFrame> TEndpointFrameParser::Next() {
  if (!FError.empty() || Buffered() < kFrameHeaderSize) return std::nullopt;
  const char* p = FBuffer.data() + FStart;
  const uint64_t length = GetLE(p + kFrameLengthOffset, 4);
  if (Buffered() - kFrameHeaderSize < length) return std::nullopt;
  TEndpointFrame frame;
  frame.Message = static_cast<uint32_t>(GetLE(p + kFrameMessageOffset, 4));
  frame.Flags = static_cast<uint32_t>(GetLE(p + kFrameFlagsOffset, 4));
  frame.WParam = GetLE(p + kFrameWParamOffset, 8);
  frame.LParam = GetLE(p + kFrameLParamOffset, 8);
  frame.Data.assign(p + kFrameHeaderSize, length);
  FStart += kFrameHeaderSize + length;
  // Drop consumed bytes once they dominate, so a long-lived connection does not grow.
  if (FStart > 65536 && FStart * 2 > FBuffer.size()) {
    FBuffer.erase(0, FStart);
    FStart = 0;
  }
  CheckHeader();
  return frame;
}

}  // namespace bx
