// The UDP receiver's reading of a datagram without the socket: line split, Base64 and the record
// check. An accepted record must hold every byte its length fields claim; its texts are read
// to the end so that a wrong check shows up as a read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "messages/dispatch_message.h"
#include "receivers/udp_datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const bx::TBxUdpDatagram datagram = bx::ParseUdpDatagram(bytes);
  if (datagram.Kind == bx::TBxUdpDatagram::TKind::Message) {
    const bx::TDispatchMessageCheck check = bx::CheckDispatchMessage(
        std::as_bytes(std::span<const char>(datagram.Record.data(), datagram.Record.size())));
    if (check.Message == nullptr) std::abort();  // the parser accepted what the check refuses
    if (static_cast<size_t>(bx::DispatchMessageSize(*check.Message)) > datagram.Record.size()) {
      std::abort();
    }
    size_t sum = 0;
    for (char c : bx::MsgText(*check.Message)) sum += static_cast<unsigned char>(c);
    for (char c : bx::Details(*check.Message)) sum += static_cast<unsigned char>(c);
    if (sum == 1) return 0;  // keeps the reads
  }
  return 0;
}
