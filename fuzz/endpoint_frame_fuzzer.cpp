// Feeds arbitrary bytes to the window endpoint's frame parser in pieces whose sizes come from
// the input, checking that every frame it returns re-encodes to the bytes it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/endpoint_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = 1 + data[0] % 97;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  bx::TEndpointFrameParser parser(4096);
  std::string consumed;
  for (size_t pos = 0; pos < length; pos += chunk) {
    if (!parser.Feed(bytes + pos, std::min(chunk, length - pos))) break;
    while (auto frame = parser.Next()) {
      consumed +=
          bx::EncodeFrame(frame->Message, frame->Flags, frame->WParam, frame->LParam, frame->Data);
    }
  }
  if (parser.Error().empty() && consumed != std::string(bytes, consumed.size())) std::abort();
  return 0;
}
