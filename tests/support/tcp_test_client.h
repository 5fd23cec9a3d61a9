// TTcpTestClient: a blocking loopback TCP client for tests of servers: big-endian integers,
// lines, raw bytes. Every read waits at most `timeout` (default 10 s) and then throws, so a
// broken server fails a test instead of hanging it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace bx::test {

class TTcpTestClient {
 public:
  TTcpTestClient(const std::string& ip, uint16_t port,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

  void Write(std::string_view bytes);
  void WriteInt32(int32_t value);
  void WriteLn(std::string_view text);  // text + CR LF
  int32_t ReadInt32();
  std::string ReadBytes(size_t count);
  std::string ReadLn();  // up to LF, without CR LF
  // True when the server closed the connection (reads end of data) within the time-out.
  bool ClosedByPeer();
  void Close() { FSocket.Close(); }
  TStreamSocket& Socket() { return FSocket; }

 private:
  void Need(size_t count);
  TStreamSocket FSocket;
  std::chrono::milliseconds FTimeout;
  std::string FBuffer;
};

// Big-endian bytes of a 32-bit integer, for building requests by hand.
std::string BigEndian32(int32_t value);

}  // namespace bx::test
