// TBxHTTP: the HTTP client of the HTTP destination: form POST requests over HTTP/1.0, directly
// or through a proxy, one new connection per request.
//
// Request: "POST <path and query> HTTP/1.0" (through a proxy: the absolute URL), then the
// headers Host, Accept "text/html, */*", User-Agent "Mozilla/3.0 (compatible; Brevix
// Library)", Content-Type "application/x-www-form-urlencoded", Content-Length, and, when a
// proxy user name is set, Proxy-Authorization with Basic credentials; then the body.
// Response: status line and headers, then the body by its length, in chunks, or up to the
// close of the connection; the body is read and discarded. Interim 1xx answers are skipped.
// 2xx is success; anything else raises EBxHTTPProtocolException. Redirects are not followed.
// "https" URLs carry the same request bytes inside TLS (tls_channel.h: TLS 1.2 or later, the
// peer verified against the system's CA store or Tls.CAFile unless Tls.VerifyPeer is false,
// host name checked, SNI sent). Through a proxy, https first asks for a tunnel with
// "CONNECT host:port HTTP/1.1" (with the Basic Proxy-Authorization when a user name is set)
// and runs TLS inside it; the request inside is then the origin's own (origin-form, no proxy
// credentials). Plain http through a proxy sends the absolute URL and the credentials as
// before. Other schemes are refused with EBxNetError before anything is sent.
//
// Time-outs: ConnectTimeout bounds the connect (in all, whatever the number of addresses of
// the name); ReadTimeout bounds the rest of the request as one: the write of the request and
// the whole answer (with https the CONNECT exchange and the TLS handshake as well), so a
// server that trickles its answer a byte at a time, or sends a body without end, releases the
// caller after ReadTimeout all the same. Both are 30 s by default;
// negative means no bound, 0 no waiting at all. LimitUntil sets a point in time by which
// every wait ends, so an owner can bound several requests together. Answers stay bounded in
// memory: the body is read and dropped, only the first 64 KiB of an error answer are kept.
//
// Structure: each request opens a byte channel (OpenChannel: a connected socket under a
// deadline, TBxDeadlineChannel) and speaks HTTP over it; a layer that transforms the bytes
// goes between the two without touching the deadlines: for https the TLS channel
// (tls_channel.h), after the CONNECT exchange when a proxy is set.
//
// Ownership: owns the connection of the request in progress only. Threads: one thread at a
// time (the destination's). Failure: EBxHTTPProtocolException for an answer that is not 2xx,
// EBxNetError for a malformed URL or answer, ESocketError ("Socket Error # %d\r\n%s") for
// network failures and time-outs, EBxConnClosedGracefully when the server closes before its
// status line. For https: EBxTlsError naming the step (handshake, certificate verification,
// read, write) and the TLS library's reason; EBxNetError "Connect to [proxy] host:port
// failed: ..." when the connect fails; EBxHTTPProtocolException "Proxy host:port refused
// CONNECT host:port: <status line>" when the proxy refuses the tunnel. Nothing is logged here.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/byte_channel.h"
#include "net/client_errors.h"
#include "net/deadline_channel.h"
#include "net/tls_channel.h"
#include "platform/socket.h"

namespace bx {

inline constexpr const char* kBxHTTPUserAgent = "Mozilla/3.0 (compatible; Brevix Library)";
inline constexpr const char* kBxHTTPAccept = "text/html, */*";
inline constexpr const char* kBxFormContentType = "application/x-www-form-urlencoded";

class EBxHTTPProtocolException : public EBxNetError {
 public:
  // what() is the answer's status line, for example "HTTP/1.1 404 Not Found".
  EBxHTTPProtocolException(const std::string& statusLine, int errorCode, std::string statusText,
                           std::string errorMessage)
      : EBxNetError(statusLine),
        ErrorCode(errorCode),
        StatusText(std::move(statusText)),
        ErrorMessage(std::move(errorMessage)) {}
  int ErrorCode;
  std::string StatusText;
  std::string ErrorMessage;  // the answer's body (its first 64 KiB)
};

// The parts of an absolute "http://" URL.
struct TBxURL {
  std::string Scheme;  // lower case
  std::string Host;    // without the brackets of an IPv6 address
  uint16_t Port = 80;
  bool PortGiven = false;
  std::string PathAndQuery;  // "/" when the URL has no path
  // Host as the Host header writes it: brackets around IPv6, ":port" unless it is 80.
  std::string HostHeader() const;
};

// "host:port", with brackets around an IPv6 address.
std::string Authority(const std::string& host, uint16_t port);

// Splits a URL; raises EBxNetError for one without "scheme://" or with a bad port.
TBxURL ParseURL(const std::string& url);

// One form value encoded: "%" + two upper-case hex digits for each UTF-8 byte of the
// characters * # % < > [ ] space, of every control character and of every character outside
// ASCII; everything else unchanged.
std::string EncodeFormValue(std::string_view value);

// The body PostForm sends for `lines` (parameter encoding, "&|&" joining, trimming, 7-bit).
std::string BuildFormBody(const std::vector<std::string>& lines);

class TBxHTTP {
 public:
  TBxHTTP() = default;
  TBxHTTP(const TBxHTTP&) = delete;
  TBxHTTP& operator=(const TBxHTTP&) = delete;

  // POST of the form built from `lines`; the answer's body is read and discarded.
  void PostForm(const std::string& url, const std::vector<std::string>& lines);

  const std::string& GetProxyServer() const { return FProxyServer; }
  void SetProxyServer(const std::string& server) { FProxyServer = server; }
  uint16_t GetProxyPort() const { return FProxyPort; }
  void SetProxyPort(uint16_t port) { FProxyPort = port; }
  const std::string& GetProxyUsername() const { return FProxyUsername; }
  void SetProxyUsername(const std::string& user) { FProxyUsername = user; }
  const std::string& GetProxyPassword() const { return FProxyPassword; }
  void SetProxyPassword(const std::string& password) { FProxyPassword = password; }

  std::chrono::milliseconds ConnectTimeout = kBxDefaultConnectTimeout;
  std::chrono::milliseconds ReadTimeout = kBxDefaultReadTimeout;

  // Trust settings of https requests.
  TBxTlsSettings Tls;

  // Status code of the last answer (0 before the first).
  int ResponseCode() const { return FResponseCode; }

  // Every later connect, read and write ends by `limit` at the latest; no value: only the
  // time-outs bound them.
  void LimitUntil(std::optional<TSteadyTime> limit) { FLimit = limit; }

 private:
  // Connects to host:port and returns the channel of one request, its deadline set.
  std::unique_ptr<TBxDeadlineChannel> OpenChannel(const std::string& host, uint16_t port);
  std::string ProxyAuthorizationHeader() const;
  // The context for Tls, made at the first https request and again when Tls has changed.
  const TBxTlsContext& TlsContext();
  // Asks the proxy on `channel` for a tunnel to the target; raises when it refuses.
  void OpenTunnel(TBxByteChannel& channel, const TBxURL& target);
  // The whole POST request of `body` to `target` (written as `url`), head and body.
  std::string PostRequest(const std::string& url, const TBxURL& target,
                          const std::string& body) const;
  // The channel a request to `target` goes over: direct or through the proxy, with TLS for
  // https. Raises ESocketError (plain http) or EBxNetError naming the step (https).
  std::unique_ptr<TBxByteChannel> Connect(const TBxURL& target);

  std::unique_ptr<TBxTlsContext> FTlsContext;
  std::optional<TSteadyTime> FLimit;
  std::string FProxyServer;
  uint16_t FProxyPort = 0;
  std::string FProxyUsername;
  std::string FProxyPassword;
  int FResponseCode = 0;
};

}  // namespace bx
