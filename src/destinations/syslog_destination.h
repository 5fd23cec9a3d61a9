// TBxSyslogDestination (kind "Syslog"): hands messages to standard log infrastructure as
// RFC 5424 syslog messages (syslog_message.h gives the form), over UDP (RFC 5426), TCP
// (RFC 6587) or TLS (RFC 5425).
//
// Options: Host (required: the option text must contain the word HOST), Port (default 514, or
// 6514 with Protocol=tls; low 16 bits), Protocol ("udp" by default, "tcp" or "tls"), Facility
// (default "user"; a name or a number 0 to 23), CAFile (PEM file of trusted roots for tls;
// default the system's CA store) and VerifyPeer (Boolean, default True; False is logged once
// as a Warning when the first TLS connection is made).
//
// Framing: a UDP datagram holds one message; one longer than the 480 bytes that every
// receiver must accept (RFC 5424 section 6.1) is cut to that size at a UTF-8 boundary and
// counted (TruncatedCount; the first cut is logged as a Warning, the total at destruction as
// Info). TCP and TLS carry each message with octet-counting framing, "<length> <message>", over
// one long-lived connection; a connection found closed or broken is reopened at the next
// message. Registrations and unregistrations (types 91 and 92) are not forwarded: syslog has no
// such notion, and the receiver needs none.
//
// Time-outs: ConnectTimeout bounds each connect and the TLS handshake, WriteTimeout each
// stalled write (both 30 s by default, kBxDefault...Timeout; negative: no bound); a reconnect
// and the write of one message together take at most the larger of the two.
//
// Ownership: owns its clients and its TLS context. Threads: as every destination
// (destination.h): Dispatch on the dispatch thread only.
// Failure: nothing escapes Dispatch. Each failure is one Error entry "Syslog Dispatch
// Unsuccessful (%s)" with the error's text (for tls the step and the TLS library's reason);
// the message is lost for this destination and the connection closed, so that the next message
// connects afresh.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "destinations/destination.h"
#include "net/tcp_client.h"
#include "net/tls_channel.h"
#include "net/udp_client.h"

namespace bx {

enum class TBxSyslogProtocol : uint8_t { Udp, Tcp, Tls };

class TBxSyslogDestination : public TBxDestination {
 public:
  static constexpr uint16_t kDefaultPort = 514;
  static constexpr uint16_t kDefaultTlsPort = 6514;
  static constexpr size_t kMaxUdpMessage = 480;
  static std::string_view ClassKindName() { return "Syslog"; }

  TBxSyslogDestination();
  ~TBxSyslogDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;
  void Dispatch(TDispatchMessage& message) override;

  const std::string& GetHost() const { return FHost; }
  void SetHost(const std::string& text) { FHost = text; }
  // The port in use: the one given, else the protocol's default.
  uint16_t GetPort() const;
  void SetPort(uint16_t port);
  TBxSyslogProtocol GetProtocol() const { return FProtocol; }
  // "udp", "tcp" or "tls" in any case; any other text makes the destination invalid.
  void SetProtocol(std::string_view text);
  uint8_t GetFacility() const { return FFacility; }
  // A facility name or number (syslog_message.h); anything else makes the destination invalid.
  void SetFacility(std::string_view text);
  TBxTlsSettings Tls;

  std::chrono::milliseconds ConnectTimeout = kBxDefaultConnectTimeout;
  std::chrono::milliseconds WriteTimeout = kBxDefaultReadTimeout;

  // UDP messages cut to kMaxUdpMessage bytes so far.
  uint64_t TruncatedCount() const { return FTruncated; }
  // True while a TCP or TLS connection is open.
  bool StreamOpen() const;

 private:
  void SendDatagram(const TDispatchMessage& message);
  void SendFramed(const TDispatchMessage& message);
  // Opens the TCP or TLS connection. Raises what the clients raise.
  void OpenStream();
  void CloseStream();

  std::string FHost;
  uint16_t FPort = 0;
  bool FPortGiven = false;
  TBxSyslogProtocol FProtocol = TBxSyslogProtocol::Udp;
  uint8_t FFacility = 1;  // user
  std::unique_ptr<TBxUDPClient> FUdp;
  std::unique_ptr<TBxTCPClient> FTcp;
  std::unique_ptr<TBxTlsContext> FTlsContext;
  std::unique_ptr<TBxTlsChannel> FTlsChannel;
  std::optional<TSteadyTime> FLimit;  // of the message being sent
  bool FVerifyWarned = false;
  uint64_t FTruncated = 0;
};

}  // namespace bx
