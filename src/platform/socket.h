// Sockets: small owning wrappers over the system's stream and datagram sockets (TCP over IPv4
// and IPv6, Unix stream sockets for window endpoints). No system types appear here; the handle
// is an opaque integer so that another platform can keep its own kind of handle.
//
// Ownership: each object owns its socket and closes it in the destructor; objects move, never
// copy. Threads: one thread reads and one writes a TStreamSocket at a time; Shutdown may be
// called from any thread to wake a thread blocked in Read, Write or Accept (that is how servers
// stop their threads). Close only from the owner once no other thread uses the object.
// Failure: system errors throw ESocketError with the error number and the system's text
// (TSystemError).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/system_error.h"

namespace bx {

class ESocketError : public std::runtime_error {
 public:
  // `message` is the whole text shown; `error` the system's error (code 0 and no text when
  // none).
  ESocketError(const std::string& message, TSystemError error);
  const TSystemError& Error() const { return FError; }
  int Code() const { return FError.Code; }
  const std::string& SystemText() const { return FError.Text; }
  // True when the name resolver failed: Code() is then the resolver's own code, not a system
  // error number, and what() already holds the resolver's text with the name.
  virtual bool ResolverFailure() const { return false; }

 private:
  TSystemError FError;
};

// A host name the resolver could not turn into an address. what() is
// "Could not resolve "<host>": <resolver text>".
class EResolveError : public ESocketError {
 public:
  using ESocketError::ESocketError;
  bool ResolverFailure() const override { return true; }
};

using TSteadyTime = std::chrono::steady_clock::time_point;

// Raised by TListenSocket::Accept when a connection came in but no descriptor could be spared
// for it: the connection has been accepted and closed at once, so the listen queue does not
// fill and the listener need not wait. Code() is EMFILE or ENFILE (or 0 for the reserve).
class EDescriptorsExhausted : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

// The text a bind refused for a taken address and port raises.
inline constexpr const char* kAddressInUseText =
    "Could not bind socket. Address and port are already in use.";

enum class TIPVersion : uint8_t { V4 = 4, V6 = 6 };

struct TSocketAddress {
  std::string IP;  // numeric text: "127.0.0.1", "::1"
  uint16_t Port = 0;
  TIPVersion Version = TIPVersion::V4;
};

// True when the machine can make IPv6 sockets.
bool IPv6Available();

// Resolves a host name or numeric address; every address found, IPv4 first. Throws
// EResolveError (with the resolver's text) when nothing is found.
std::vector<TSocketAddress> ResolveHost(const std::string& host, uint16_t port);

// The wildcard address of a version: "0.0.0.0" or "::".
std::string AnyAddress(TIPVersion version);

// The error a bounded wait raises when its time is up (the system's "timed out" number).
ESocketError TimedOutError(const std::string& operation);
// True for the error number of a write on a connection the peer has already closed.
bool IsPeerClosedCode(int code);
// True for the error numbers of a connection the peer has closed or reset.
bool IsPeerGoneCode(int code);
// Milliseconds left until `deadline` (0 when it has passed), for waits that take a duration.
std::chrono::milliseconds TimeLeft(TSteadyTime deadline);

class TStreamSocket {
 public:
  TStreamSocket() = default;
  ~TStreamSocket();
  TStreamSocket(TStreamSocket&& other) noexcept;
  TStreamSocket& operator=(TStreamSocket&& other) noexcept;
  TStreamSocket(const TStreamSocket&) = delete;
  TStreamSocket& operator=(const TStreamSocket&) = delete;

  // Connects to the first address of `host` that answers. Throws ESocketError.
  static TStreamSocket ConnectTcp(const std::string& host, uint16_t port);
  static TStreamSocket ConnectTcp(const TSocketAddress& address);
  // The same, giving up after `timeout` in all, however many addresses the name has
  // (TimedOutError); a negative time-out waits as long as the system's connect does. The name
  // lookup itself is bounded by the resolver's own configuration, not by `timeout`.
  static TStreamSocket ConnectTcp(const std::string& host, uint16_t port,
                                  std::chrono::milliseconds timeout);
  static TStreamSocket ConnectTcp(const TSocketAddress& address, std::chrono::milliseconds timeout);
  // Connects to a Unix stream socket; no value when nothing listens there (missing file or
  // refused), ESocketError for other failures (a path over 107 bytes among them). With a
  // time-out of zero or more, a listener that does not take the connection in time (its queue
  // of waiting connections is full: the owner is stopped or hung) raises TimedOutError.
  static std::optional<TStreamSocket> ConnectUnix(
      const std::string& path, std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

  bool IsOpen() const { return FHandle >= 0; }
  // Reads what the socket holds, up to `size` bytes, waiting until at least one byte is there.
  // Returns 0 when the peer closed its side (or after Shutdown).
  size_t Read(void* buffer, size_t size);
  // Writes every byte; throws ESocketError when the connection fails.
  void Write(const void* data, size_t size);
  // The same, but gives up at `deadline` when the peer does not take the bytes (it stopped
  // reading and the system's buffers are full): TimedOutError, and the number of bytes that
  // did leave is in *written when given. A deadline that has passed still writes what the
  // buffers take at once.
  void Write(const void* data, size_t size, TSteadyTime deadline, size_t* written = nullptr);
  // Waits until Read would not block; false on time-out. A negative time-out waits without
  // limit.
  bool WaitReadable(std::chrono::milliseconds timeout);
  // True when the peer has closed or reset the connection (or the socket is closed). Never
  // waits and consumes nothing: data waiting to be read counts as open.
  bool PeerClosed() const;
  // Bounds each Write: a peer that stops reading makes Write raise TimedOutError once the
  // system's buffers are full and `timeout` has passed. Zero or negative: no bound.
  void SetSendTimeout(std::chrono::milliseconds timeout);
  // Ends both directions; blocked readers see end of data. Safe from any thread; ignores errors.
  void Shutdown();
  void Close();
  void SetNoDelay(bool on);

  // Peer of a TCP connection ("" and 0 for a Unix socket).
  TSocketAddress Peer() const;
  // "IP:port", or "[IP]:port" for IPv6.
  std::string PeerText() const;
  // The peer's user id on a Unix socket; no value when the system cannot tell.
  std::optional<uint32_t> PeerUserId() const;

 private:
  explicit TStreamSocket(intptr_t handle) : FHandle(handle) {}
  friend class TListenSocket;
  intptr_t FHandle = -1;
};

class TListenSocket {
 public:
  TListenSocket() = default;
  ~TListenSocket();
  TListenSocket(TListenSocket&& other) noexcept;
  TListenSocket& operator=(TListenSocket&& other) noexcept;
  TListenSocket(const TListenSocket&) = delete;
  TListenSocket& operator=(const TListenSocket&) = delete;

  // Binds (address reuse on, IPv6 only for an IPv6 address) without listening yet. Port 0 lets
  // the system choose. A taken address raises ESocketError with kAddressInUseText.
  static TListenSocket BindTcp(const std::string& ip, uint16_t port, TIPVersion version);
  // Binds a Unix stream socket at `path` with mode 0600 and listens. The path must not exist.
  static TListenSocket ListenUnix(const std::string& path, int backlog);

  void Listen(int backlog);
  // Waits for a connection; no value once Shutdown was called (or the socket was closed).
  // Out of descriptors, the connection is taken with a spare descriptor kept for this and
  // closed at once (EDescriptorsExhausted). With `keepFree` > 0 a connection is also closed
  // when admitting it would leave fewer than `keepFree` descriptors below the limit (judged
  // by its descriptor's number, the lowest free one).
  std::optional<TStreamSocket> Accept(size_t keepFree = 0);
  // True when a connection waits (or the socket was shut down) within `timeout`.
  bool WaitAcceptable(std::chrono::milliseconds timeout);
  // Wakes a thread blocked in Accept; safe from any thread.
  void Shutdown();
  void Close();
  bool IsOpen() const { return FHandle >= 0; }
  // The bound address and port (the port the system chose for port 0).
  TSocketAddress Local() const;

 private:
  intptr_t FHandle = -1;
};

class TUdpSocket {
 public:
  TUdpSocket() = default;
  ~TUdpSocket();
  TUdpSocket(TUdpSocket&& other) noexcept;
  TUdpSocket& operator=(TUdpSocket&& other) noexcept;
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;

  // A bound socket (IPv6 only for an IPv6 address); kAddressInUseText for a taken port.
  static TUdpSocket Bind(const std::string& ip, uint16_t port, TIPVersion version);
  // An unbound socket for sending.
  static TUdpSocket Open(TIPVersion version);

  bool WaitReadable(std::chrono::milliseconds timeout);
  // Receives one datagram into `buffer` (cut to `buffer.size()` bytes when larger, as the
  // system does); returns its length and the sender.
  size_t ReceiveFrom(std::vector<uint8_t>& buffer, TSocketAddress& sender);
  // The same without waiting: no value when no datagram is waiting. `size` bytes at `buffer`
  // are written at most.
  std::optional<size_t> TryReceiveFrom(void* buffer, size_t size, TSocketAddress& sender);
  void SendTo(const TSocketAddress& to, const void* data, size_t size);
  void SetReceiveBufferSize(int bytes);
  // Best effort: asks for a receive buffer of `bytes`, above the system's usual ceiling when
  // the process may, else as large as the ceiling allows. Never throws; returns the size the
  // system reports afterwards (0 when it cannot tell).
  int EnlargeReceiveBuffer(int bytes);
  // Wakes a thread waiting in WaitReadable; safe from any thread.
  void Shutdown();
  void Close();
  bool IsOpen() const { return FHandle >= 0; }
  TSocketAddress Local() const;

 private:
  intptr_t FHandle = -1;
  TIPVersion FVersion = TIPVersion::V4;
};

}  // namespace bx
