// TBxTcpReceiver: messages, logger registrations and the reload command over TCP. It owns a
// TBxTCPServer listening on one port for all local addresses; the server runs HandleRequest on
// each connection's own thread, once per request, for as long as the connection is open.
//
// Requests (every integer 32-bit signed big-endian), told by their first integer:
// - 41: legacy registration; two lines (dispatch ID, destination string), registered with
//   connection method 1 and a Reg entry "TCP Connection Established: Details="..."". No answer.
// - any other value below 0x7F000000: a legacy record (int32 length, bytes), always queued;
//   answered with "OK" CR LF, after which the connection is closed.
// - 0x7F000064: a command (int32 number); answer 1. For 93 the answer is sent first and then
//   kWmReloadSettings is posted to the main loop: a port switch closes the connection.
// - 0x7F000000 and up: int32 message type, int32 length, the payload in that transfer format.
//   Type 91 registers (answer: the registry's result), anything else is queued (answer 1).
//   0x7F000002 is not accepted over TCP (Warning entry, answer 1); unknown codes are read and
//   answered 1. A conversion failure (an XML time stamp) is logged at level Error as
//   "Exception in TcpServerExecute: <reason>", answered 1, and the connection stays open.
//
// Hostile input: a payload length that is negative or above kMaxTcpPayloadLength, a binary
// record shorter than the lengths it claims, or a legacy record that cannot be converted is
// refused with one Error entry "TCP Receiver closed the connection from <peer>: <reason>" and
// that connection alone is closed; the answers to the requests before it still go out. A line
// longer than 16,384 characters is a failed read: the connection is closed without an entry. A peer
// closing its side ends the connection without a log entry. Answers to requests that arrived in one
// read leave in one write (the connection buffers its output until it has to wait for input).
//
// Back-pressure: while the message queue is full (its memory limit reached), a connection's
// thread sends the answers it owes and waits before it reads the next request, so the sender
// blocks on its own socket and nothing is lost. The wait ends when there is room again or the
// server shuts the connection down; then the connection is closed without taking the requests
// that wait in it (their senders have no answer for them).
//
// Ownership: owns its server; the destructor stops it (and joins its threads) first.
// Threads: SetActive, SetPort and the destructor on the main thread; HandleRequest runs on the
// connection threads, several at once, and keeps no state between requests.
// Failure: bind failures are logged (TBxNetworkReceiver); nothing throws out of SetActive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/command_line.h"
#include "net/tcp_connection.h"
#include "net/tcp_server.h"
#include "receivers/network_receiver.h"

namespace bx {

// The largest payload a TCP request may announce: 64 MiB. A record's texts are far smaller in
// practice; the bound keeps a lying length from making the receiver wait for (and hold) an
// arbitrary amount of memory.
inline constexpr int32_t kMaxTcpPayloadLength = 64 * 1024 * 1024;

// The command number that asks the dispatcher to reload its settings.
inline constexpr int32_t kTcpCommandReload = 93;

class TBxTcpReceiver : public TBxNetworkReceiver<TBxTCPServer> {
 public:
  // The initial port is the command line's "TCPPort" option, 3434 when it is absent or not a
  // port number. Created inactive.
  explicit TBxTcpReceiver(TBxCommandLine& commandLine);
  explicit TBxTcpReceiver(uint16_t initialPort);
  ~TBxTcpReceiver() override;

  static std::string_view ReceiverName() { return "Tcp"; }
  static std::string_view DisplayName() { return "Tcp"; }
  static std::string_view ReceiverCode() { return "Tcp"; }
  std::string_view Name() const override { return ReceiverName(); }

  // Reads one request from `connection` and answers it. Throws what the connection throws when
  // reading fails (the server then closes the connection).
  void HandleRequest(TBxTCPConnection& connection);

 protected:
  bool WaitsForQueueRoom() const override { return true; }

 private:
  // Back-pressure (above); returns at once while the queue has room. False when the connection
  // was shut down meanwhile (it is then closed).
  bool WaitForQueueRoom(TBxTCPConnection& connection);
  void HandleLegacyRegistration(TBxTCPConnection& connection);
  void HandleLegacyMessage(TBxTCPConnection& connection);
  void HandleTransferFormat(TBxTCPConnection& connection, int32_t code);
  // Reads a payload length; false (after refusing) when it is out of bounds.
  bool ReadLength(TBxTCPConnection& connection, int32_t& length);
  // Logs why and closes the connection.
  void Refuse(TBxTCPConnection& connection, const std::string& reason);
};

}  // namespace bx
