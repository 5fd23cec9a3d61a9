#include "net/tls_channel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>

namespace bx {

namespace {

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

TBxTlsChannel::TBxTlsChannel(const TBxTlsContext& context,
                             std::unique_ptr<TBxDeadlineChannel> transport, const std::string& host,
                             uint16_t port)
    : FTransport(std::move(transport)), FHost(host), FPort(port), FPeer(FTransport->PeerText()) {
  try {
    Setup(context);
    Handshake();
  } catch (...) {
    // The destructor does not run for a constructor that throws.
    if (FSsl != nullptr) SSL_free(Ssl(FSsl));
    FSsl = nullptr;
    FTransport->Close();
    throw;
  }
}

void TBxTlsChannel::Setup(const TBxTlsContext& context) {
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
  const bool ip = IsIPAddress(FHost);
  if (!ip && SSL_set_tlsext_host_name(ssl, FHost.c_str()) != 1) Fail("setup", LibraryReasons());
  if (context.Settings().VerifyPeer) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    const int set = ip ? X509_VERIFY_PARAM_set1_ip_asc(param, FHost.c_str())
                       : X509_VERIFY_PARAM_set1_host(param, FHost.c_str(), FHost.size());
    if (set != 1) Fail("setup", LibraryReasons());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  }
  SSL_set_connect_state(ssl);
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

std::string TBxTlsChannel::TransportReason(const ESocketError& error) {
  if (error.Code() == TimedOutError("recv").Code()) return "timed out";
  const std::string text = error.SystemText().empty() ? error.what() : error.SystemText();
  return "Socket Error # " + std::to_string(error.Code()) + " " + text;
}

void TBxTlsChannel::FlushOutput() {
  char buffer[16384];
  for (;;) {
    const int n = BIO_read(Bio(FOut), buffer, sizeof buffer);
    if (n <= 0) return;
    FTransport->Write(buffer, static_cast<size_t>(n));
  }
}

bool TBxTlsChannel::FeedInput() {
  char buffer[16384];
  const size_t n = FTransport->Read(buffer, sizeof buffer);
  if (n == 0) {
    // The engine reports the end of data from here on instead of asking for more.
    BIO_set_mem_eof_return(Bio(FIn), 0);
    FInputEnded = true;
    return false;
  }
  BIO_write(Bio(FIn), buffer, static_cast<int>(n));
  return true;
}

void TBxTlsChannel::Handshake() {
  for (;;) {
    ERR_clear_error();
    const int rc = SSL_do_handshake(Ssl(FSsl));
    const int error = rc == 1 ? SSL_ERROR_NONE : SSL_get_error(Ssl(FSsl), rc);
    try {
      FlushOutput();  // also carries an alert to the server after a failure
    } catch (const ESocketError& e) {
      if (error == SSL_ERROR_NONE || error == SSL_ERROR_WANT_READ) {
        Fail("handshake", TransportReason(e));
      }
    }
    if (error == SSL_ERROR_NONE) return;
    if (error == SSL_ERROR_WANT_READ) {
      if (FInputEnded) Fail("handshake", "connection closed by the peer");
      try {
        (void)FeedInput();
      } catch (const ESocketError& e) {
        Fail("handshake", TransportReason(e));
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
  const std::string reasons = LibraryReasons();
  Fail("read", reasons.empty() ? "protocol error" : reasons);
}

void TBxTlsChannel::WaitReadable() {
  if (FBroken) Fail("read", "the connection failed before");
  try {
    while (FPlainPos == FPlain.size() && !FEnded) {
      if (!PumpRead()) continue;
      if (FEnded) break;
      (void)FeedInput();
    }
  } catch (const ESocketError& e) {
    Fail("read", TransportReason(e));
  }
}

size_t TBxTlsChannel::Read(void* buffer, size_t size) {
  if (size == 0) return 0;
  WaitReadable();
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
        const std::string reasons = LibraryReasons();
        Fail("write", reasons.empty() ? "protocol error" : reasons);
      }
      FlushOutput();
      at += n;
      size -= static_cast<size_t>(n);
    }
  } catch (const ESocketError& e) {
    Fail("write", TransportReason(e));
  }
}

bool TBxTlsChannel::IsOpen() {
  if (FBroken || FEnded || FSsl == nullptr) return false;
  // A deadline that has passed lets the transport hand over what has arrived, and nothing more.
  const std::optional<TSteadyTime> saved = FTransport->Deadline();
  FTransport->SetDeadline(std::chrono::steady_clock::now());
  bool open = true;
  try {
    while (!FInputEnded && FeedInput()) {
    }
  } catch (const ESocketError& e) {
    // A time-out here only says that nothing more has arrived.
    if (e.Code() != TimedOutError("recv").Code()) open = false;
  }
  FTransport->SetDeadline(saved);
  try {
    while (open && !PumpRead()) {
    }
  } catch (const std::exception&) {
    open = false;
  }
  if (!open) FBroken = true;
  return open && !FEnded;
}

void TBxTlsChannel::Shutdown() {
  TMutexLock lock(FLock);
  if (!FClosed) FTransport->Shutdown();
}

void TBxTlsChannel::Close() {
  if (FSsl != nullptr && !FBroken) {
    // The close notification is a courtesy: written only if the buffers take it at once.
    const std::optional<TSteadyTime> saved = FTransport->Deadline();
    FTransport->SetDeadline(std::chrono::steady_clock::now());
    try {
      ERR_clear_error();
      SSL_shutdown(Ssl(FSsl));
      FlushOutput();
    } catch (const std::exception&) {
    }
    ERR_clear_error();
    FTransport->SetDeadline(saved);
  }
  TMutexLock lock(FLock);
  FClosed = true;
  FTransport->Close();
}

std::string TBxTlsChannel::Protocol() const {
  return FSsl != nullptr ? SSL_get_version(Ssl(FSsl)) : "";
}

}  // namespace bx
