// TBxTcpDestination (kind "Tcp"): forwards messages to another dispatcher's TCP receiver over
// one long-lived connection.
//
// Options: Host (required: the option text must contain the word HOST), Port (default 3434,
// kept as its low 16 bits) and RemoteDestinationDetails (default "Viewer").
//
// Each request is the 12-byte header (0x7F000001, the record's MsgType, its size N, all int32
// big-endian) followed by the N record bytes, handed to the network in one piece; one int32
// reply is read and ignored. The first Dispatch registers RemoteDispatchID at the far side
// with a type-91 record carrying RemoteDestinationDetails; every message is relabelled with
// that ID. A connection lost between messages is reopened silently without registering
// again (the far side keeps the registration). Destruction sends the type-92 record when
// Connected, then closes the connection.
//
// Time-outs: the client's connect and read time-outs (30 s by default, see tcp_client.h)
// bound each connect, each request's write and each reply's read, and one message (with the
// first message's registration or a reconnect) holds the dispatch thread at most the larger
// of the two, whatever the far side does (remote_destination.h). A write or read that times
// out drops the connection; the next message reconnects. Client() lets tests and the owner
// change them.
//
// Ownership: owns its TCP client. Threads: as every destination (destination.h): Dispatch on
// the dispatch thread only.
// Failure: nothing escapes Connect, Dispatch or Disconnect. Errors are logged at level Error
// as "TCP Connect Unsuccessful (%s)", "TCP Dispatch Unsuccessful (%s)" or "TCP Disconnect
// Unsuccessful (%s)" with the error's text; an orderly close by the peer is ignored silently.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "destinations/remote_destination.h"
#include "net/tcp_client.h"

namespace bx {

// The request header: three big-endian int32 values before the record bytes.
inline constexpr size_t kTcpRequestFormatOffset = 0;
inline constexpr size_t kTcpRequestTypeOffset = 4;
inline constexpr size_t kTcpRequestLengthOffset = 8;
inline constexpr size_t kTcpRequestHeaderSize = 12;
static_assert(kTcpRequestTypeOffset == kTcpRequestFormatOffset + sizeof(int32_t));
static_assert(kTcpRequestLengthOffset == kTcpRequestTypeOffset + sizeof(int32_t));
static_assert(kTcpRequestHeaderSize == kTcpRequestLengthOffset + sizeof(int32_t));

inline constexpr int32_t kUTF8RecordFormat = 0x7F000001;

class TBxTcpDestination : public TBxRemoteDestination {
 public:
  static constexpr uint16_t kDefaultPort = 3434;
  static std::string_view ClassKindName() { return "Tcp"; }

  TBxTcpDestination();
  ~TBxTcpDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;

  void SetHost(const std::string& text) override;
  void Connect() override;
  void Dispatch(TDispatchMessage& message) override;
  void Disconnect(const TDispatchMessage& message) override;

  virtual uint16_t GetPort() const;
  virtual void SetPort(uint16_t port);

  TBxTCPClient& Client() { return *FClient; }

 private:
  // Connects the client and switches Nagle's algorithm on. Raises what the client raises.
  void OpenConnection();
  // One request: header and record collected and flushed in one piece, then the reply read.
  void SendRequest(const TDispatchMessage& message);
  // Reopens a lost connection and sends; failures are logged with `errorFormat`'s prefix.
  void SendMessage(const TDispatchMessage& message, std::string_view errorPrefix);

  std::unique_ptr<TBxTCPClient> FClient;
};

}  // namespace bx
