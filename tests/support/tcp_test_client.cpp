#include "support/tcp_test_client.h"

#include <stdexcept>

namespace bx::test {

TTcpTestClient::TTcpTestClient(const std::string& ip, uint16_t port,
                               std::chrono::milliseconds timeout)
    : FSocket(TStreamSocket::ConnectTcp(ip, port)), FTimeout(timeout) {}

std::string BigEndian32(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
}

void TTcpTestClient::Write(std::string_view bytes) { FSocket.Write(bytes.data(), bytes.size()); }
void TTcpTestClient::WriteInt32(int32_t value) { Write(BigEndian32(value)); }
void TTcpTestClient::WriteLn(std::string_view text) { Write(std::string(text) + "\r\n"); }

void TTcpTestClient::Need(size_t count) {
  char chunk[4096];
  while (FBuffer.size() < count) {
    if (!FSocket.WaitReadable(FTimeout)) throw std::runtime_error("test client: read timed out");
    const size_t n = FSocket.Read(chunk, sizeof chunk);
    if (n == 0) throw std::runtime_error("test client: connection closed by the server");
    FBuffer.append(chunk, n);
  }
}

int32_t TTcpTestClient::ReadInt32() {
  Need(4);
  const auto* p = reinterpret_cast<const unsigned char*>(FBuffer.data());
  const uint32_t v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  FBuffer.erase(0, 4);
  return static_cast<int32_t>(v);
}

std::string TTcpTestClient::ReadBytes(size_t count) {
  Need(count);
  std::string result = FBuffer.substr(0, count);
  FBuffer.erase(0, count);
  return result;
}

std::string TTcpTestClient::ReadLn() {
  size_t lf;
  while ((lf = FBuffer.find('\n')) == std::string::npos) Need(FBuffer.size() + 1);
  std::string line = FBuffer.substr(0, lf);
  FBuffer.erase(0, lf + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool TTcpTestClient::ClosedByPeer() {
  char chunk[4096];
  for (;;) {
    if (!FSocket.WaitReadable(FTimeout)) return false;
    size_t n = 0;
    try {
      n = FSocket.Read(chunk, sizeof chunk);
    } catch (const ESocketError&) {
      return true;  // reset by the server
    }
    if (n == 0) return true;
    FBuffer.append(chunk, n);
  }
}

}  // namespace bx::test
