#include "messages/dispatch_message.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/code_page.h"
#include "platform/random.h"

namespace bx {

namespace {

const char* TextArea(const TDispatchMessage& message) {
  return reinterpret_cast<const char*>(&message) + kDispatchMessageFixedSize;
}

std::string_view UpToNul(std::string_view text) {
  size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

TDispatchMessage* AllocateZeroed(size_t size) {
  void* block = std::calloc(1, size);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<TDispatchMessage*>(block);
}

}  // namespace

int32_t DispatchMessageSize(const TDispatchMessage& message) {
  return static_cast<int32_t>(kDispatchMessageMinSize) + message.MsgTextLen + message.DetailsLen;
}

std::string NewDispatchID() {
  uint8_t b[16];
  FillRandomBytes(b, sizeof b);
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return std::string(text, 38);
}

std::string_view MsgText(const TDispatchMessage& message) {
  return std::string_view(TextArea(message), static_cast<size_t>(message.MsgTextLen));
}

std::string_view Details(const TDispatchMessage& message) {
  return std::string_view(TextArea(message) + message.MsgTextLen,
                          static_cast<size_t>(message.DetailsLen));
}

void TDispatchMessageDeleter::operator()(TDispatchMessage* message) const noexcept {
  std::free(message);
}

TDispatchMessagePtr BuildDispatchMessage(const TDispatchMessageFields& fields) {
  const std::string_view text = UpToNul(fields.MsgText);
  const std::string_view details = UpToNul(fields.Details);
  constexpr size_t kMaxTexts = std::numeric_limits<int32_t>::max() - kDispatchMessageMinSize;
  if (text.size() > kMaxTexts || details.size() > kMaxTexts - text.size()) {
    throw std::length_error("message texts too long for a record");
  }
  const size_t size = kDispatchMessageMinSize + text.size() + details.size();
  TDispatchMessagePtr message(AllocateZeroed(size));
  TDispatchMessage& m = *message;
  m.MsgType = fields.MsgType;
  m.TimeStampTime = fields.TimeStampTime;
  m.TimeStampDate = fields.TimeStampDate;
  m.TimeBias = fields.TimeBias;
  m.MsgTextLen = static_cast<int32_t>(text.size());
  m.DetailsLen = static_cast<int32_t>(details.size());
  m.ProcessID = fields.ProcessID;
  SetFieldText(m.ThreadName, fields.ThreadName);
  SetFieldText(m.DispatchID, fields.DispatchID);
  SetFieldText(m.ComputerName, fields.ComputerName);
  SetFieldText(m.AppName, fields.AppName);
  SetFieldText(m.Category, fields.Category);
  m.CategoryColor = fields.CategoryColor;
  m.CategoryFontColor = fields.CategoryFontColor;
  SetFieldText(m.TypeName, fields.TypeName);
  char* area = reinterpret_cast<char*>(message.get()) + kDispatchMessageFixedSize;
  if (!text.empty()) std::memcpy(area, text.data(), text.size());
  if (!details.empty()) std::memcpy(area + text.size(), details.data(), details.size());
  return message;
}

TDispatchMessagePtr CopyDispatchMessage(const TDispatchMessage& message) {
  const size_t size = static_cast<size_t>(DispatchMessageSize(message));
  TDispatchMessage* copy = static_cast<TDispatchMessage*>(std::malloc(size));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, &message, size);
  return TDispatchMessagePtr(copy);
}

TDispatchMessageCheck CheckDispatchMessage(std::span<const std::byte> bytes) {
  TDispatchMessageCheck check;
  if (bytes.size() < kDispatchMessageMinSize) {
    check.Error = "record too short: " + std::to_string(bytes.size()) + " bytes, at least " +
                  std::to_string(kDispatchMessageMinSize) + " needed";
    return check;
  }
  int32_t textLen = 0;
  int32_t detailsLen = 0;
  std::memcpy(&textLen, bytes.data() + offsetof(TDispatchMessage, MsgTextLen), sizeof textLen);
  std::memcpy(&detailsLen, bytes.data() + offsetof(TDispatchMessage, DetailsLen),
              sizeof detailsLen);
  if (textLen < 0 || detailsLen < 0) {
    check.Error = "record with negative text length (MsgTextLen " + std::to_string(textLen) +
                  ", DetailsLen " + std::to_string(detailsLen) + ")";
    return check;
  }
  const uint64_t needed =
      kDispatchMessageMinSize + static_cast<uint64_t>(textLen) + static_cast<uint64_t>(detailsLen);
  if (needed > bytes.size() ||
      needed > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    check.Error = "record claims " + std::to_string(needed) + " bytes but " +
                  std::to_string(bytes.size()) + " arrived";
    return check;
  }
  check.Message = reinterpret_cast<const TDispatchMessage*>(bytes.data());
  return check;
}

std::string DispatchIDUtf8(const TDispatchMessage& message) {
  return AnsiToUtf8(DispatchIDText(message));
}

std::string_view DispatchIDUtf8(const TDispatchMessage& message, std::string& scratch) {
  const std::string_view id = DispatchIDText(message);
  if (IsAscii(id)) return id;
  scratch = AnsiToUtf8(id);
  return scratch;
}

}  // namespace bx
