#include "net/tls_channel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>

namespace bx {

namespace {

using TClock = std::chrono::steady_clock;

SSL_CTX* Ctx(void* p) { return static_cast<SSL_CTX*>(p); }
SSL* Ssl(void* p) { return static_cast<SSL*>(p); }
BIO* Bio(void* p) { return static_cast<BIO*>(p); }

// The reasons the library has queued for this thread, oldest first, "; "-separated; the queue
// is left empty.
std::string LibraryReasons() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    const char* reason = ERR_reason_error_string(code);
    std::string one = reason != nullptr ? reason : "";
    if (one.empty()) {
      char buffer[256];
      ERR_error_string_n(code, buffer, sizeof buffer);
      one = buffer;
    }
    if (text.find(one) != std::string::npos) continue;
    if (!text.empty()) text += "; ";
    text += one;
  }
  return text;
}

bool IsIPAddress(const std::string& host) {
  ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
  if (ip == nullptr) return false;
  ASN1_OCTET_STRING_free(ip);
  return true;
}

std::chrono::milliseconds Remaining(TClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
  return std::max(left, std::chrono::milliseconds(0));
}

}  // namespace

TBxTlsContext::TBxTlsContext(const TBxTlsSettings& settings) : FSettings(settings) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) throw EBxTlsError("TLS: cannot create a context: " + LibraryReasons());
  FContext = ctx;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // No renegotiation; an end of data without close notification reads as the end (HTTP/1.0
  // answers end that way), it never passes for data.
  SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
  if (settings.VerifyPeer) {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    const bool loaded = settings.CAFile.empty() ? SSL_CTX_set_default_verify_paths(ctx) == 1
                                                : SSL_CTX_load_verify_locations(
                                                      ctx, settings.CAFile.c_str(), nullptr) == 1;
    if (!loaded) {
      const std::string reason = LibraryReasons();
      SSL_CTX_free(ctx);
      FContext = nullptr;
      if (settings.CAFile.empty()) {
        throw EBxTlsError("TLS: cannot load the system's CA store: " + reason);
      }
      throw EBxTlsError("TLS: cannot load CA file \"" + settings.CAFile + "\": " + reason);
    }
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }
}

TBxTlsContext::~TBxTlsContext() { SSL_CTX_free(Ctx(FContext)); }

TBxTlsChannel::TBxTlsChannel(const TBxTlsContext& context, TStreamSocket socket,
                             const std::string& host, uint16_t port,
                             std::chrono::milliseconds timeout)
    : FSocket(std::move(socket)), FHost(host), FPort(port), FPeer(FSocket.PeerText()) {
  ERR_clear_error();
  SSL* ssl = SSL_new(Ctx(context.Native()));
  if (ssl == nullptr) Fail("setup", LibraryReasons());
  FSsl = ssl;
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  if (in == nullptr || out == nullptr) {
    BIO_free(in);
    BIO_free(out);
    Fail("setup", LibraryReasons());
  }
  SSL_set_bio(ssl, in, out);  // the engine owns both from here
  FIn = in;
  FOut = out;
  const bool ip = IsIPAddress(host);
  if (!ip && SSL_set_tlsext_host_name(ssl, host.c_str()) != 1) Fail("setup", LibraryReasons());
  if (context.Settings().VerifyPeer) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    const int set = ip ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                       : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    if (set != 1) Fail("setup", LibraryReasons());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  }
  SSL_set_connect_state(ssl);
  try {
    Handshake(timeout);
  } catch (...) {
    SSL_free(ssl);
    FSsl = nullptr;
    FSocket.Close();
    throw;
  }
}

TBxTlsChannel::~TBxTlsChannel() {
  if (FSsl != nullptr) SSL_free(Ssl(FSsl));
}

std::string TBxTlsChannel::Where() const {
  const std::string host = FHost.find(':') != std::string::npos ? "[" + FHost + "]" : FHost;
  return host + ":" + std::to_string(FPort);
}

void TBxTlsChannel::Fail(const std::string& step, const std::string& reason) {
  FBroken = true;
  std::string text = "TLS " + step + " with " + Where() + " failed";
  if (!reason.empty()) text += ": " + reason;
  throw EBxTlsError(text);
}

void TBxTlsChannel::FlushOutput() {
  char buffer[16384];
  for (;;) {
    const int n = BIO_read(Bio(FOut), buffer, sizeof buffer);
    if (n <= 0) return;
    FSocket.Write(buffer, static_cast<size_t>(n));
  }
}

bool TBxTlsChannel::FeedInput(std::chrono::milliseconds timeout) {
  if (!FSocket.WaitReadable(timeout)) throw TimedOutError("recv");
  char buffer[16384];
  const size_t n = FSocket.Read(buffer, sizeof buffer);
  if (n == 0) {
    // The engine reports the end of data from here on instead of asking for more.
    BIO_set_mem_eof_return(Bio(FIn), 0);
    FInputEnded = true;
    return false;
  }
  BIO_write(Bio(FIn), buffer, static_cast<int>(n));
  return true;
}

void TBxTlsChannel::Handshake(std::chrono::milliseconds timeout) {
  const bool bounded = timeout.count() >= 0;
  const TClock::time_point deadline = TClock::now() + (bounded ? timeout : timeout.zero());
  for (;;) {
    ERR_clear_error();
    const int rc = SSL_do_handshake(Ssl(FSsl));
    const int error = rc == 1 ? SSL_ERROR_NONE : SSL_get_error(Ssl(FSsl), rc);
    try {
      FlushOutput();  // also carries an alert to the server after a failure
    } catch (const ESocketError& e) {
      if (error == SSL_ERROR_NONE || error == SSL_ERROR_WANT_READ) Fail("handshake", e.what());
    }
    if (error == SSL_ERROR_NONE) return;
    if (error == SSL_ERROR_WANT_READ) {
      if (FInputEnded) Fail("handshake", "connection closed by the peer");
      const std::chrono::milliseconds wait = bounded ? Remaining(deadline) : timeout;
      if (bounded && wait.count() == 0) {
        Fail("handshake", "timed out after " + std::to_string(timeout.count()) + " ms");
      }
      try {
        (void)FeedInput(wait);
      } catch (const ESocketError& e) {
        if (e.Code() == TimedOutError("recv").Code()) {
          Fail("handshake", "timed out after " + std::to_string(timeout.count()) + " ms");
        }
        Fail("handshake", e.what());
      }
      continue;
    }
    const long verify = SSL_get_verify_result(Ssl(FSsl));
    std::string reasons = LibraryReasons();
    if (verify != X509_V_OK) {
      Fail("certificate verification", X509_verify_cert_error_string(verify));
    }
    if (reasons.empty()) reasons = "connection closed by the peer";
    Fail("handshake", reasons);
  }
}

bool TBxTlsChannel::PumpRead() {
  char buffer[16384];
  ERR_clear_error();
  const int n = SSL_read(Ssl(FSsl), buffer, sizeof buffer);
  if (n > 0) {
    if (FPlainPos == FPlain.size()) {
      FPlain.clear();
      FPlainPos = 0;
    }
    FPlain.append(buffer, static_cast<size_t>(n));
    FlushOutput();
    return false;
  }
  const int error = SSL_get_error(Ssl(FSsl), n);
  FlushOutput();
  if (error == SSL_ERROR_WANT_READ) {
    // No more input will come: the engine has all it will ever get.
    if (FInputEnded) FEnded = true;
    return true;
  }
  if (error == SSL_ERROR_ZERO_RETURN) {
    FEnded = true;
    return true;
  }
  Fail("read", LibraryReasons());
}

bool TBxTlsChannel::WaitReadableFor(std::chrono::milliseconds timeout) {
  const bool bounded = timeout.count() >= 0;
  const TClock::time_point deadline = TClock::now() + (bounded ? timeout : timeout.zero());
  if (FBroken) Fail("read", "the connection failed before");
  try {
    for (;;) {
      if (FPlainPos < FPlain.size() || FEnded) return true;
      if (!PumpRead()) continue;
      if (FEnded) return true;
      if (bounded && !FSocket.WaitReadable(Remaining(deadline))) return false;
      (void)FeedInput(std::chrono::milliseconds(-1));
    }
  } catch (const ESocketError& e) {
    Fail("read", e.what());
  }
}

size_t TBxTlsChannel::Read(void* buffer, size_t size) {
  if (size == 0) return 0;
  if (!WaitReadableFor(ReadTimeout)) Fail("read", TimedOutError("recv").what());
  const size_t n = std::min(size, FPlain.size() - FPlainPos);
  if (n == 0) return 0;  // ended
  std::memcpy(buffer, FPlain.data() + FPlainPos, n);
  FPlainPos += n;
  return n;
}

void TBxTlsChannel::Write(const void* data, size_t size) {
  if (FBroken) Fail("write", "the connection failed before");
  const char* at = static_cast<const char*>(data);
  try {
    while (size > 0) {
      const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
      ERR_clear_error();
      const int n = SSL_write(Ssl(FSsl), at, chunk);
      if (n <= 0) {
        const int error = SSL_get_error(Ssl(FSsl), n);
        FlushOutput();
        if (error == SSL_ERROR_ZERO_RETURN) Fail("write", "connection closed by the peer");
        Fail("write", LibraryReasons());
      }
      FlushOutput();
      at += n;
      size -= static_cast<size_t>(n);
    }
  } catch (const ESocketError& e) {
    FBroken = true;
    throw;
  }
}

bool TBxTlsChannel::IsOpen() {
  if (FBroken || FEnded || FSsl == nullptr) return false;
  try {
    while (!FInputEnded && FSocket.WaitReadable(std::chrono::milliseconds(0))) {
      if (!FeedInput(std::chrono::milliseconds(0))) break;
    }
    while (!PumpRead()) {
    }
  } catch (const std::exception&) {
    FBroken = true;
    return false;
  }
  return !FEnded;
}

void TBxTlsChannel::Shutdown() {
  std::lock_guard lock(FLock);
  if (!FClosed) FSocket.Shutdown();
}

void TBxTlsChannel::Close() {
  if (FSsl != nullptr && !FBroken) {
    try {
      ERR_clear_error();
      SSL_shutdown(Ssl(FSsl));
      FlushOutput();
    } catch (const std::exception&) {
      // The close notification is a courtesy; the socket closes either way.
    }
    ERR_clear_error();
  }
  std::lock_guard lock(FLock);
  FClosed = true;
  FSocket.Close();
}

std::string TBxTlsChannel::Protocol() const {
  return FSsl != nullptr ? SSL_get_version(Ssl(FSsl)) : "";
}

}  // namespace bx
