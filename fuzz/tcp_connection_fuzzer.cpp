// Drives the connection stream's parsing from arbitrary bytes: the first byte picks the chunk
// size of the reads, every following byte picks the next operation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/memory_channel.h"
#include "net/net_errors.h"
#include "net/tcp_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = 1 + data[0] % 64;
  const std::string ops(reinterpret_cast<const char*>(data + 1), size / 4);
  std::string input(reinterpret_cast<const char*>(data + 1 + ops.size()), size - 1 - ops.size());
  bx::TBxTCPConnection connection(std::make_unique<bx::TBxMemoryChannel>(std::move(input), chunk));
  connection.SetMaxLineLength(64);
  try {
    for (char op : ops) {
      switch (static_cast<uint8_t>(op) % 4) {
        case 0:
          connection.WriteInt32(connection.ReadInt32());
          break;
        case 1:
          connection.WriteLn(connection.ReadLn());
          break;
        case 2:
          connection.Write(connection.ReadBytes(static_cast<uint8_t>(op) >> 2));
          break;
        default:
          connection.Flush();
          break;
      }
    }
  } catch (const bx::EBxNetError&) {
    // Closed by the peer or an over-long line: the expected ends of a hostile stream.
  }
  return 0;
}
