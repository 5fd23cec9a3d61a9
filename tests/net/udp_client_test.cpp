// TBxUDPClient sending to a loopback datagram socket.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/udp_client.h"

namespace bx {
namespace {

std::string Receive(TUdpSocket& socket) {
  if (!socket.WaitReadable(std::chrono::seconds(10))) return "<nothing>";
  std::vector<uint8_t> buffer(70000);
  TSocketAddress from;
  const size_t n = socket.ReceiveFrom(buffer, from);
  return std::string(reinterpret_cast<const char*>(buffer.data()), n);
}

TEST(UdpClient, SendsOneDatagramInTheChosenEncoding) {
  TUdpSocket receiver = TUdpSocket::Bind("127.0.0.1", 0, TIPVersion::V4);
  TBxUDPClient client("127.0.0.1", receiver.Local().Port);
  client.Send("REGDISPATCH\r\n{ID}\r\nFile[Path=/tmp/\xC3\x9C.bxl]", TBxTextEncoding::Utf8);
  EXPECT_EQ(Receive(receiver), "REGDISPATCH\r\n{ID}\r\nFile[Path=/tmp/\xC3\x9C.bxl]");
  client.Send(
      "A\xC3\x9C"
      "B");  // 7-bit ASCII unless told otherwise
  EXPECT_EQ(Receive(receiver), "A?B");
  client.Send("localhost works too");
  client.SetHost("localhost");
  client.Send("by name");
  EXPECT_EQ(Receive(receiver), "localhost works too");
  EXPECT_EQ(Receive(receiver), "by name");  // IPv4 addresses are tried first
}

TEST(UdpClient, ADatagramTooLargeRaisesASocketError) {
  TUdpSocket receiver = TUdpSocket::Bind("127.0.0.1", 0, TIPVersion::V4);
  TBxUDPClient client("127.0.0.1", receiver.Local().Port);
  try {
    client.Send(std::string(70000, 'x'));
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Socket Error # " + std::to_string(e.Code()) + "\r\n" + SystemErrorText(e.Code()));
  }
  TBxUDPClient noHost("", 1);
  EXPECT_THROW(noHost.Send("x"), EBxNetError);
}

}  // namespace
}  // namespace bx
