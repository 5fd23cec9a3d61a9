// TLS for the clients: a TBxTlsContext holds the trust settings (system CA store or a PEM file
// of roots, verification on or off) and a TBxTlsChannel runs one TLS connection as a
// TBxByteChannel layered over the client's TBxDeadlineChannel (deadline_channel.h).
//
// Rules: TLS 1.2 or later; renegotiation refused; the peer's certificate chain is verified
// against the trusted roots and its name checked against the host that was asked for (a DNS
// name, or an IP address against the certificate's IP entries); SNI carries the host when it
// is a name (never for an IP address). With VerifyPeer false nothing about the peer is
// checked: the connection is encrypted but not authenticated.
//
// The TLS engine works on memory buffers; every byte reaches the network through the
// transport channel, so every wait, the handshake's included, ends at the transport's
// deadline, which the owner sets and moves (Transport()).
//
// Ownership: a context is owned by the client that uses it and must outlive its channels; a
// channel owns its transport. Threads: a context and a channel are used by one thread at a time;
// Shutdown may be called from any thread (it wakes a blocked Read). Failure: every failure
// raises EBxTlsError whose text names the step (loading the CA file, handshake, certificate
// verification, read, write) and the host:port, with the TLS library's reason (or the
// transport's socket error or time-out); a close by the peer yields 0 from Read (end of data).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/byte_channel.h"
#include "net/deadline_channel.h"
#include "net/net_errors.h"
#include "platform/mutex.h"

namespace bx {

class EBxTlsError : public EBxNetError {
 public:
  using EBxNetError::EBxNetError;
};

struct TBxTlsSettings {
  std::string CAFile;  // PEM file of trusted roots; empty: the system's CA store
  bool VerifyPeer = true;
  bool operator==(const TBxTlsSettings&) const = default;
};

class TBxTlsContext {
 public:
  // Loads the trusted roots. Raises EBxTlsError when the CA file cannot be read or holds no
  // certificate, or the library cannot make a context.
  explicit TBxTlsContext(const TBxTlsSettings& settings);
  ~TBxTlsContext();
  TBxTlsContext(const TBxTlsContext&) = delete;
  TBxTlsContext& operator=(const TBxTlsContext&) = delete;

  const TBxTlsSettings& Settings() const { return FSettings; }
  void* Native() const { return FContext; }  // the library's context, for the channel

 private:
  TBxTlsSettings FSettings;
  void* FContext = nullptr;
};

class TBxTlsChannel : public TBxByteChannel {
 public:
  // Runs the client handshake with `host` (as written in the URL or option: the name that is
  // checked and sent as SNI) at `port` (for messages) over `transport`, within the
  // transport's deadline.
  TBxTlsChannel(const TBxTlsContext& context, std::unique_ptr<TBxDeadlineChannel> transport,
                const std::string& host, uint16_t port);
  ~TBxTlsChannel() override;

  // The channel under the TLS records; its deadline bounds every wait of this one.
  TBxDeadlineChannel& Transport() { return *FTransport; }

  size_t Read(void* buffer, size_t size) override;
  void WaitReadable() override;
  void Write(const void* data, size_t size) override;
  // Wakes a blocked Read (it then reads as ended); any thread.
  void Shutdown() override;
  // Sends the TLS close notification (best effort, without waiting) and closes the transport.
  void Close() override;
  std::string PeerText() const override { return FPeer; }

  // False once the peer has closed or reset the connection or sent a TLS alert. Never waits:
  // takes in what has arrived (the server's session tickets, its close notification).
  bool IsOpen();
  // The negotiated protocol version ("TLSv1.3").
  std::string Protocol() const;

 private:
  // Makes the engine's connection with its memory buffers, SNI and the name to check.
  void Setup(const TBxTlsContext& context);
  void Handshake();
  // Hands the engine's pending output to the transport.
  void FlushOutput();
  // Reads what the transport has (waiting as its deadline allows) into the engine; false at
  // the end of data.
  bool FeedInput();
  // One attempt to decrypt into FPlain; true when the engine has nothing more without input.
  bool PumpRead();
  [[noreturn]] void Fail(const std::string& step, const std::string& reason = "");
  // The text of a transport failure for a Fail reason.
  static std::string TransportReason(const ESocketError& error);
  std::string Where() const;

  void* FSsl = nullptr;
  void* FIn = nullptr;   // network bytes to the engine (owned by FSsl)
  void* FOut = nullptr;  // engine output to the network (owned by FSsl)
  std::unique_ptr<TBxDeadlineChannel> FTransport;
  std::string FHost;
  uint16_t FPort = 0;
  std::string FPeer;
  std::string FPlain;  // decrypted bytes not yet handed out
  size_t FPlainPos = 0;
  bool FEnded = false;       // close notification or end of data seen
  bool FInputEnded = false;  // the socket has read as ended
  bool FBroken = false;      // a failure: no more use
  TMutex FLock;              // serialises Shutdown against Close
  bool FClosed GUARDED_BY(FLock) = false;
};

}  // namespace bx
