// ConvertLegacyMessage and ConvertAnsiMessage on arbitrary bytes of arbitrary length. The
// first byte chooses the conversion; the rest is the delivered buffer. Refusal is an
// EBxConvertError; a record that comes out must be consistent with its own lengths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "messages/convert_error.h"
#include "messages/legacy_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const std::byte> buffer(reinterpret_cast<const std::byte*>(data + 1), size - 1);
  const bool legacy = (data[0] & 1) == 0;
  try {
    bx::TDispatchMessagePtr m =
        legacy ? bx::ConvertLegacyMessage(buffer) : bx::ConvertAnsiMessage(buffer);
    const size_t length = static_cast<size_t>(bx::DispatchMessageSize(*m));
    const bx::TDispatchMessageCheck check = bx::CheckDispatchMessage(
        std::span<const std::byte>(reinterpret_cast<const std::byte*>(m.get()), length));
    if (check.Message == nullptr) std::abort();
    if (bx::MsgText(*m).find('\0') != std::string_view::npos) std::abort();
    if (bx::Details(*m).find('\0') != std::string_view::npos) std::abort();
    if (legacy && (m->MsgType == 41 || m->MsgType == 42)) std::abort();  // mapped to 91/92
  } catch (const bx::EBxConvertError&) {
  }
  return 0;
}
