#include "destinations/remote_record_text.h"

#include <string_view>

#include "messages/base64.h"

namespace bx {

int64_t RecordBase64Length(int32_t size) { return 4 * ((int64_t{size} + 2) / 3); }

std::optional<std::array<std::string, 3>> RecordTextLines(const TDispatchMessage& message) {
  const int32_t size = DispatchMessageSize(message);
  if (RecordBase64Length(size) >= kMaxRecordBase64Length) return std::nullopt;
  return std::array<std::string, 3>{
      kUTF8RecordFormatText, std::to_string(size),
      EncodeBase64(
          std::string_view(reinterpret_cast<const char*>(&message), static_cast<size_t>(size)))};
}

}  // namespace bx
