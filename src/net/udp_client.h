// TBxUDPClient: sends single datagrams of text to one host and port, for the UDP destination.
//
// The host is resolved at every Send (a changed name entry is picked up at once); the first
// address found is used. A sending socket per IP version is kept open between sends.
//
// Ownership: owns its sockets. Threads: one thread at a time (the destination's).
// Failure: Send raises ESocketError with "Socket Error # %d\r\n%s" when the host cannot be
// resolved or the datagram cannot be sent (for example because it is larger than a datagram
// can be); EBxNetError for an empty host or port 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/client_errors.h"
#include "platform/socket.h"

namespace bx {

// How Send turns text (held as UTF-8) into bytes: unchanged, or 7-bit ASCII with every
// character outside ASCII written as "?".
enum class TBxTextEncoding : uint8_t { Ascii7, Utf8 };

class TBxUDPClient {
 public:
  TBxUDPClient() = default;
  TBxUDPClient(std::string host, uint16_t port) : FHost(std::move(host)), FPort(port) {}
  TBxUDPClient(const TBxUDPClient&) = delete;
  TBxUDPClient& operator=(const TBxUDPClient&) = delete;

  const std::string& GetHost() const { return FHost; }
  void SetHost(const std::string& host) { FHost = host; }
  uint16_t GetPort() const { return FPort; }
  void SetPort(uint16_t port) { FPort = port; }
  // Kept for receiving, which the destinations never do.
  int BufferSize = 8192;

  void Send(std::string_view text, TBxTextEncoding encoding = TBxTextEncoding::Ascii7);

 private:
  std::string FHost;
  uint16_t FPort = 0;
  std::optional<TUdpSocket> FSocketV4;
  std::optional<TUdpSocket> FSocketV6;
};

}  // namespace bx
