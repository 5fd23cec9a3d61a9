#include "support/free_port.h"

#include "platform/socket.h"

namespace bx::test {

uint16_t FreeTcpPort() {
  TListenSocket socket = TListenSocket::BindTcp("0.0.0.0", 0, TIPVersion::V4);
  return socket.Local().Port;
}

uint16_t FreeUdpPort() {
  TUdpSocket socket = TUdpSocket::Bind("0.0.0.0", 0, TIPVersion::V4);
  return socket.Local().Port;
}

}  // namespace bx::test
