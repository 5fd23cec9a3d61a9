// CheckDispatchMessage on arbitrary bytes: a record it accepts must be readable in full
// (texts, every field, a copy) without leaving the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "messages/dispatch_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bx::TDispatchMessageCheck check = bx::CheckDispatchMessage(
      std::span<const std::byte>(reinterpret_cast<const std::byte*>(data), size));
  if (check.Message == nullptr) {
    if (check.Error.empty()) std::abort();
    return 0;
  }
  const bx::TDispatchMessage& m = *check.Message;
  size_t total = bx::MsgText(m).size() + bx::Details(m).size();
  total += bx::FieldText(m.ThreadName).size() + bx::FieldText(m.DispatchID).size() +
           bx::FieldText(m.ComputerName).size() + bx::FieldText(m.AppName).size() +
           bx::FieldText(m.Category).size() + bx::FieldText(m.TypeName).size();
  if (static_cast<size_t>(bx::DispatchMessageSize(m)) > size) std::abort();
  bx::TDispatchMessagePtr copy = bx::CopyDispatchMessage(m);
  if (bx::MsgText(*copy) != bx::MsgText(m) || bx::Details(*copy) != bx::Details(m)) std::abort();
  return total == SIZE_MAX ? 1 : 0;
}
