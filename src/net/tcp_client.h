// TBxTCPClient: one outgoing TCP connection that speaks big-endian 32-bit integers and raw
// bytes, for the TCP destination.
//
// Writes go straight to the socket, unless WriteBufferOpen has started collecting them: then
// WriteInt32/WriteBytes only append, and WriteBufferClose hands everything collected to the
// network in one write. ReadInt32 reads exactly four bytes.
//
// Time-outs: a connect gives up after ConnectTimeout (in all, whatever the number of
// addresses of the name); ReadInt32 after ReadTimeout for its four bytes; a write after
// ReadTimeout when the far side does not take the bytes (it stopped reading and the buffers
// are full). All default to 30 s (kBxDefault...Timeout). A far side that answers in time never
// meets them. A negative value means no bound; 0 means no waiting at all, for reads and writes
// alike: a read takes only what has already arrived, a write only what the buffers take at
// once. LimitUntil sets a point in time by which every wait ends, whatever the time-outs say,
// so an owner can bound a whole exchange of several steps.
//
// Ownership: owns its socket. Threads: one thread at a time (the destination's).
// Failure: a close by the peer during a read or write raises EBxConnClosedGracefully; socket
// failures and time-outs raise ESocketError with "Socket Error # %d\r\n%s"; Connect raises
// EBxNetError "Already connected." while connected and for an empty host or port 0. After any
// failure of a read or write the connection is closed (the stream can no longer be trusted to
// be in step), so IsConnected is false and the next Connect starts afresh.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "net/client_errors.h"
#include "platform/socket.h"

namespace bx {

class TBxTCPClient {
 public:
  TBxTCPClient() = default;
  TBxTCPClient(std::string host, uint16_t port) : FHost(std::move(host)), FPort(port) {}
  TBxTCPClient(const TBxTCPClient&) = delete;
  TBxTCPClient& operator=(const TBxTCPClient&) = delete;

  const std::string& GetHost() const { return FHost; }
  void SetHost(const std::string& host) { FHost = host; }
  uint16_t GetPort() const { return FPort; }
  void SetPort(uint16_t port) { FPort = port; }
  std::chrono::milliseconds ConnectTimeout = kBxDefaultConnectTimeout;
  std::chrono::milliseconds ReadTimeout = kBxDefaultReadTimeout;

  // Every later connect, read and write ends by `limit` at the latest; no value: only the
  // time-outs bound them.
  void LimitUntil(std::optional<TSteadyTime> limit) { FLimit = limit; }

  // Opens the connection to host:port. On failure nothing stays open.
  void Connect();
  // True while the socket is open and the peer has not closed it; never waits.
  bool IsConnected() const;
  // Closes the connection (nothing happens when none is open); drops collected output.
  void Disconnect();
  // Nagle's algorithm on (the default) or off; only while connected.
  void SetNagle(bool on);

  void WriteBufferOpen();
  void WriteInt32(int32_t value);
  void WriteBytes(const void* bytes, size_t count);
  // Sends what was collected in one write and stops collecting. Nothing collected: no write.
  void WriteBufferClose();
  bool Buffering() const { return FBuffering; }
  // Bytes collected since WriteBufferOpen.
  size_t BufferedSize() const { return FOut.size(); }

  int32_t ReadInt32();

  // Socket writes made since the client was created (one per WriteBufferClose that had output,
  // one per unbuffered write). For tests of the collecting.
  size_t SocketWritesForTest() const { return FSocketWrites; }

 private:
  void Send(const void* data, size_t size);
  // Closes the connection and raises the client form of `error`.
  [[noreturn]] void Fail(const ESocketError& error);

  std::string FHost;
  uint16_t FPort = 0;
  std::optional<TSteadyTime> FLimit;
  TStreamSocket FSocket;
  bool FBuffering = false;
  std::string FOut;
  size_t FSocketWrites = 0;
};

}  // namespace bx
