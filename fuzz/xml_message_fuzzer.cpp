// ParseXmlMessage on arbitrary bytes. The first byte chooses the format code (even: UTF-16,
// odd: 8-bit); the rest is the delivered buffer, without any terminator. A record that comes
// out must pass the same check as one arriving from outside and hold no NUL in its texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "messages/convert_error.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t code =
      (data[0] & 1) == 0 ? bx::bxmUnicodeXmlMessageFormat : bx::bxmUTF8XmlMessageFormat;
  const std::span<const std::byte> buffer(reinterpret_cast<const std::byte*>(data + 1), size - 1);
  try {
    bx::TDispatchMessagePtr m = bx::ParseXmlMessage(code, buffer);
    const size_t length = static_cast<size_t>(bx::DispatchMessageSize(*m));
    const bx::TDispatchMessageCheck check = bx::CheckDispatchMessage(
        std::span<const std::byte>(reinterpret_cast<const std::byte*>(m.get()), length));
    if (check.Message == nullptr) std::abort();
    if (bx::MsgText(*m).find('\0') != std::string_view::npos) std::abort();
    if (bx::Details(*m).find('\0') != std::string_view::npos) std::abort();
    const char* tail = reinterpret_cast<const char*>(m.get()) + length - 3;
    if (tail[0] != 0 || tail[1] != 0 || tail[2] != 0) std::abort();
    if (m->TimeStampTime < 0 || m->TimeStampTime >= 86400000 || m->TimeStampDate < 1) std::abort();
  } catch (const bx::EBxConvertError&) {
  }
  return 0;
}
