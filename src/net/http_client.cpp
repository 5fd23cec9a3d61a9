#include "net/http_client.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "messages/base64.h"
#include "net/ascii_text.h"
#include "net/deadline_channel.h"
#include "net/tls_channel.h"

namespace bx {

namespace {

constexpr size_t kMaxHeaderLine = 16384;
constexpr size_t kMaxHeaderLines = 200;
constexpr size_t kKeptBody = 64 * 1024;  // of an error answer, for the exception

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Removes blanks and control characters (every character up to 32) at both ends.
std::string_view TrimControl(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

void AppendPercent(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// A URL goes into the request line and the Host header as it stands, so it must not be able
// to end them early or add lines of its own.
void CheckURLCharacters(const std::string& url) {
  for (unsigned char c : url) {
    if (c <= ' ' || c == 0x7F) {
      throw EBxNetError("Invalid URL (blank or control character): \"" + ToAscii7(url) + "\"");
    }
  }
}

// Reads an HTTP answer from the request's channel; the channel's deadline bounds every wait.
class TResponseReader {
 public:
  explicit TResponseReader(TBxByteChannel& channel) : FChannel(channel) {}

  // One line without CR LF; EBxConnClosedGracefully when the data end before any byte of it.
  std::string ReadLine() {
    std::string line;
    for (;;) {
      if (FPos == FBuffer.size() && !Fill()) {
        if (line.empty()) throw EBxConnClosedGracefully();
        return line;
      }
      const size_t lf = FBuffer.find('\n', FPos);
      const size_t end = lf == std::string::npos ? FBuffer.size() : lf;
      line.append(FBuffer, FPos, end - FPos);
      if (line.size() > kMaxHeaderLine) throw EBxNetError("HTTP answer line too long.");
      if (lf != std::string::npos) {
        FPos = lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      FPos = end;
    }
  }

  // Reads `count` bytes (or up to the end when `toEnd`), keeping the first kKeptBody of them.
  void ReadBody(uint64_t count, bool toEnd, std::string& kept) {
    while (toEnd || count > 0) {
      if (FPos == FBuffer.size() && !Fill()) {
        if (toEnd) return;
        throw EBxConnClosedGracefully();
      }
      const size_t available = FBuffer.size() - FPos;
      const size_t take =
          toEnd ? available : static_cast<size_t>(std::min<uint64_t>(count, available));
      if (kept.size() < kKeptBody) {
        kept.append(FBuffer, FPos, std::min(take, kKeptBody - kept.size()));
      }
      FPos += take;
      if (!toEnd) count -= take;
    }
  }

 private:
  bool Fill() {
    FBuffer.clear();
    FPos = 0;
    FBuffer.resize(16384);
    const size_t n = FChannel.Read(FBuffer.data(), FBuffer.size());
    FBuffer.resize(n);
    return n > 0;
  }

  TBxByteChannel& FChannel;
  std::string FBuffer;
  size_t FPos = 0;
};

uint64_t ParseNumber(std::string_view text, int base, const char* what) {
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    throw EBxNetError(std::string("Invalid ") + what + " in HTTP answer: \"" +
                      ToAscii7(text.substr(0, 40)) + "\"");
  }
  return value;
}

void ReadChunkedBody(TResponseReader& reader, std::string& kept) {
  for (;;) {
    std::string line = reader.ReadLine();
    std::string_view size = line;
    size = TrimBlanks(size.substr(0, size.find(';')));
    const uint64_t count = ParseNumber(size, 16, "chunk size");
    if (count == 0) break;
    reader.ReadBody(count, false, kept);
    if (!reader.ReadLine().empty()) throw EBxNetError("Invalid chunk end in HTTP answer.");
  }
  // Trailer lines up to the empty line.
  for (size_t n = 0; !reader.ReadLine().empty(); ++n) {
    if (n > kMaxHeaderLines) throw EBxNetError("Too many HTTP trailer lines.");
  }
}

}  // namespace

std::string TBxURL::HostHeader() const {
  std::string text = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
  if (Port != 80) text += ":" + std::to_string(Port);
  return text;
}

TBxURL ParseURL(const std::string& url) {
  TBxURL result;
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) {
    throw EBxNetError("Invalid URL (no scheme): \"" + ToAscii7(url) + "\"");
  }
  result.Scheme = Lower(std::string_view(url).substr(0, schemeEnd));
  std::string_view rest = std::string_view(url).substr(schemeEnd + 3);
  rest = rest.substr(0, rest.find('#'));
  const size_t pathStart = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, pathStart);
  result.PathAndQuery =
      pathStart == std::string_view::npos ? "/" : std::string(rest.substr(pathStart));
  if (!result.PathAndQuery.empty() && result.PathAndQuery[0] == '?') {
    result.PathAndQuery.insert(0, "/");
  }
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  std::string_view portText;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      throw EBxNetError("Invalid URL (unclosed \"[\"): \"" + ToAscii7(url) + "\"");
    }
    result.Host = std::string(authority.substr(1, close - 1));
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') throw EBxNetError("Invalid URL: \"" + ToAscii7(url) + "\"");
      portText = after.substr(1);
    }
  } else {
    const size_t colon = authority.rfind(':');
    result.Host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
  }
  if (result.Host.empty()) throw EBxNetError("Invalid URL (no host): \"" + ToAscii7(url) + "\"");
  if (!portText.empty()) {
    uint32_t port = 0;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || end != portText.data() + portText.size() || port == 0 ||
        port > 65535) {
      throw EBxNetError("Invalid URL (bad port): \"" + ToAscii7(url) + "\"");
    }
    result.Port = static_cast<uint16_t>(port);
    result.PortGiven = true;
  } else if (result.Scheme == "https") {
    result.Port = 443;
  }
  return result;
}

std::string EncodeFormValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t at = 0; at < value.size();) {
    const size_t length = Utf8SequenceLength(value, at);
    if (length == 1) {
      const auto c = static_cast<unsigned char>(value[at]);
      const bool unsafe = c <= 32 || c == '*' || c == '#' || c == '%' || c == '<' || c == '>' ||
                          c == '[' || c == ']';
      if (unsafe) {
        AppendPercent(out, c);
      } else {
        out += static_cast<char>(c);
      }
      ++at;
    } else {
      // Characters outside ASCII: every byte of their UTF-8 form; a stray byte on its own.
      const size_t take = length == 0 ? 1 : length;
      for (size_t i = 0; i < take; ++i)
        AppendPercent(out, static_cast<unsigned char>(value[at + i]));
      at += take;
    }
  }
  return out;
}

std::string BuildFormBody(const std::vector<std::string>& lines) {
  std::vector<std::string> encoded;
  encoded.reserve(lines.size());
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      encoded.push_back(line);
    } else {
      encoded.push_back(line.substr(0, eq + 1) +
                        EncodeFormValue(std::string_view(line).substr(eq + 1)));
    }
  }
  std::string body;
  if (encoded.size() == 1) {
    body = std::string(TrimControl(encoded[0]));
  } else if (encoded.size() > 1) {
    std::string joined;
    for (size_t i = 0; i < encoded.size(); ++i) {
      if (i > 0) joined += "\r\n";
      joined += encoded[i];
    }
    const std::string_view trimmed = TrimControl(joined);
    body.reserve(trimmed.size());
    for (size_t i = 0; i < trimmed.size(); ++i) {
      if (trimmed[i] == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') {
        body += "&|&";
        ++i;
      } else {
        body += trimmed[i];
      }
    }
  }
  return ToAscii7(body);
}

std::string Authority(const std::string& host, uint16_t port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

std::string TBxHTTP::ProxyAuthorizationHeader() const {
  return "Proxy-Authorization: Basic " + EncodeBase64(FProxyUsername + ":" + FProxyPassword) +
         "\r\n";
}

const TBxTlsContext& TBxHTTP::TlsContext() {
  if (!FTlsContext || !(FTlsContext->Settings() == Tls)) {
    FTlsContext.reset();
    FTlsContext = std::make_unique<TBxTlsContext>(Tls);
  }
  return *FTlsContext;
}

void TBxHTTP::OpenTunnel(TBxByteChannel& channel, const TBxURL& target) {
  const std::string authority = Authority(target.Host, target.Port);
  std::string request = "CONNECT " + authority + " HTTP/1.1\r\n";
  request += "Host: " + authority + "\r\n";
  request += std::string("User-Agent: ") + kBxHTTPUserAgent + "\r\n";
  if (!FProxyUsername.empty()) request += ProxyAuthorizationHeader();
  request += "\r\n";
  channel.Write(request.data(), request.size());
  // The proxy says nothing more after its answer's head until the TLS handshake starts, so the
  // reader takes no byte of the tunnel.
  TResponseReader reader(channel);
  const std::string statusLine = reader.ReadLine();
  const size_t sp = statusLine.find(' ');
  if (statusLine.compare(0, 5, "HTTP/") != 0 || sp == std::string::npos) {
    throw EBxNetError("Invalid proxy answer to CONNECT " + authority + ": \"" +
                      ToAscii7(statusLine.substr(0, 80)) + "\"");
  }
  const std::string_view rest = std::string_view(statusLine).substr(sp + 1);
  const int code = static_cast<int>(ParseNumber(rest.substr(0, 3), 10, "status code"));
  for (size_t n = 0; !reader.ReadLine().empty(); ++n) {
    if (n > kMaxHeaderLines) throw EBxNetError("Too many HTTP header lines.");
  }
  if (code < 200 || code > 299) {
    FResponseCode = code;
    throw EBxHTTPProtocolException("Proxy " + Authority(FProxyServer, FProxyPort) +
                                       " refused CONNECT " + authority + ": " +
                                       ToAscii7(statusLine),
                                   code, rest.size() > 4 ? std::string(rest.substr(4)) : "", "");
  }
}

std::unique_ptr<TBxDeadlineChannel> TBxHTTP::OpenChannel(const std::string& host, uint16_t port) {
  auto channel = std::make_unique<TBxDeadlineChannel>(
      TStreamSocket::ConnectTcp(host, port, BxWaitTimeout(ConnectTimeout, FLimit)));
  // One deadline from here to the last byte of the answer: a server that trickles its answer,
  // or sends one without end, is given up on after ReadTimeout all the same.
  channel->SetDeadline(BxWaitDeadline(ReadTimeout, FLimit));
  return channel;
}

namespace {

// The head of one answer after its status line: what says how long the body is.
struct THeaders {
  uint64_t ContentLength = 0;
  bool HaveLength = false;
  bool Chunked = false;
};

THeaders ReadHeaders(TResponseReader& reader) {
  THeaders headers;
  for (size_t n = 0;; ++n) {
    if (n > kMaxHeaderLines) throw EBxNetError("Too many HTTP header lines.");
    const std::string header = reader.ReadLine();
    if (header.empty()) return headers;
    const size_t colon = header.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = Lower(TrimBlanks(std::string_view(header).substr(0, colon)));
    const std::string_view value = TrimBlanks(std::string_view(header).substr(colon + 1));
    if (name == "content-length") {
      headers.ContentLength = ParseNumber(value, 10, "Content-Length");
      headers.HaveLength = true;
    } else if (name == "transfer-encoding") {
      headers.Chunked = Lower(value).find("chunked") != std::string::npos;
    }
  }
}

// The final answer to a request: its status and the part of its body that is kept.
struct TAnswer {
  int Code = 0;
  std::string StatusLine;  // "HTTP/1.1 404 Not Found"
  std::string StatusText;  // "Not Found"
  std::string Kept;
};

// Reads answers until the final one (interim 1xx answers are skipped, at most 20).
TAnswer ReadAnswer(TResponseReader& reader) {
  TAnswer answer;
  for (int interim = 0;; ++interim) {
    if (interim > 20) throw EBxNetError("Too many interim HTTP answers.");
    answer.StatusLine = reader.ReadLine();
    const std::string& statusLine = answer.StatusLine;
    if (statusLine.compare(0, 5, "HTTP/") != 0) {
      throw EBxNetError("Invalid HTTP answer: \"" + ToAscii7(statusLine.substr(0, 80)) + "\"");
    }
    const size_t sp = statusLine.find(' ');
    const std::string_view rest =
        sp == std::string::npos ? std::string_view() : std::string_view(statusLine).substr(sp + 1);
    answer.Code = static_cast<int>(ParseNumber(rest.substr(0, 3), 10, "status code"));
    answer.StatusText = rest.size() > 4 ? std::string(rest.substr(4)) : std::string();
    const THeaders headers = ReadHeaders(reader);
    if (answer.Code >= 100 && answer.Code < 200) continue;  // the final answer follows
    if (answer.Code == 204 || answer.Code == 304) return answer;
    if (headers.Chunked) {
      ReadChunkedBody(reader, answer.Kept);
    } else {
      reader.ReadBody(headers.ContentLength, !headers.HaveLength, answer.Kept);
    }
    return answer;
  }
}

}  // namespace

std::string TBxHTTP::PostRequest(const std::string& url, const TBxURL& target,
                                 const std::string& body) const {
  // Plain http through a proxy names the absolute URL and shows the proxy its credentials; https
  // goes through a tunnel (OpenTunnel), inside which the request is the origin's alone.
  const bool proxyRequest = !FProxyServer.empty() && target.Scheme != "https";
  std::string request = "POST ";
  request += proxyRequest ? url.substr(0, url.find('#')) : target.PathAndQuery;
  request += " HTTP/1.0\r\n";
  request += "Host: " + target.HostHeader() + "\r\n";
  request += std::string("Accept: ") + kBxHTTPAccept + "\r\n";
  request += std::string("User-Agent: ") + kBxHTTPUserAgent + "\r\n";
  request += std::string("Content-Type: ") + kBxFormContentType + "\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (proxyRequest && !FProxyUsername.empty()) request += ProxyAuthorizationHeader();
  request += "\r\n";
  request += body;
  return request;
}

std::unique_ptr<TBxByteChannel> TBxHTTP::Connect(const TBxURL& target) {
  const bool https = target.Scheme == "https";
  const bool viaProxy = !FProxyServer.empty();
  std::unique_ptr<TBxDeadlineChannel> transport;
  try {
    transport =
        viaProxy ? OpenChannel(FProxyServer, FProxyPort) : OpenChannel(target.Host, target.Port);
  } catch (const ESocketError& e) {
    if (!https) throw;
    // An https failure names its step; plain http keeps the socket error as it is.
    throw EBxNetError("Connect to " +
                      (viaProxy ? "proxy " + Authority(FProxyServer, FProxyPort)
                                : Authority(target.Host, target.Port)) +
                      " failed: " + BxSocketError(e).what());
  }
  if (!https) return transport;
  // TLS under the same request bytes; the transport's deadline bounds the handshake too.
  if (viaProxy) OpenTunnel(*transport, target);
  return std::make_unique<TBxTlsChannel>(TlsContext(), std::move(transport), target.Host,
                                         target.Port);
}

void TBxHTTP::PostForm(const std::string& url, const std::vector<std::string>& lines) {
  CheckURLCharacters(url);
  const TBxURL target = ParseURL(url);
  if (target.Scheme != "https" && target.Scheme != "http") {
    throw EBxNetError("Unsupported URL scheme \"" + ToAscii7(target.Scheme) + "\": \"" +
                      ToAscii7(url) + "\"");
  }
  if (!FProxyServer.empty() && FProxyPort == 0) {
    throw EBxNetError("No port set for proxy server \"" + ToAscii7(FProxyServer) + "\".");
  }
  const std::string request = PostRequest(url, target, BuildFormBody(lines));

  FResponseCode = 0;
  TAnswer answer;
  try {
    const std::unique_ptr<TBxByteChannel> channel = Connect(target);
    channel->Write(request.data(), request.size());
    TResponseReader reader(*channel);
    answer = ReadAnswer(reader);
  } catch (const ESocketError& e) {
    throw BxSocketError(e);
  }
  FResponseCode = answer.Code;
  if (answer.Code < 200 || answer.Code > 299) {
    throw EBxHTTPProtocolException(answer.StatusLine, answer.Code, answer.StatusText, answer.Kept);
  }
}

}  // namespace bx
