#include "net/udp_client.h"

#include "net/ascii_text.h"

namespace bx {

void TBxUDPClient::Send(std::string_view text, TBxTextEncoding encoding) {
  if (FHost.empty()) throw EBxNetError("A host must be specified.");
  if (FPort == 0) throw EBxNetError("A port must be specified.");
  const std::string bytes = encoding == TBxTextEncoding::Utf8 ? std::string(text) : ToAscii7(text);
  try {
    const TSocketAddress to = ResolveHost(FHost, FPort).front();
    std::optional<TUdpSocket>& socket = to.Version == TIPVersion::V6 ? FSocketV6 : FSocketV4;
    if (!socket) socket = TUdpSocket::Open(to.Version);
    socket->SendTo(to, bytes.data(), bytes.size());
  } catch (const ESocketError& e) {
    throw BxSocketError(e);
  }
}

}  // namespace bx
