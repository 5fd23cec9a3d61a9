// TBxUdpDestination against the real UDP receiver of a dispatch core in this process, and
// against a bare datagram socket for the exact datagrams.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "destinations/remote_fixture.h"
#include "destinations/udp_destination.h"
#include "messages/base64.h"
#include "receivers/udp_receiver.h"

namespace bx {
namespace {

class UdpDestinationTest : public test::RemoteFixture {
 protected:
  std::unique_ptr<TBxUdpDestination> Make(uint16_t port, const std::string& extra = "") {
    auto d = std::make_unique<TBxUdpDestination>();
    d->SetName("Udp");
    d->SetOptions("Host=127.0.0.1;Port=" + std::to_string(port) + extra);
    EXPECT_FALSE(d->Invalid);
    return d;
  }
  // The next datagram, or "<none>" when nothing comes within `wait`.
  static std::string Next(TUdpSocket& socket,
                          std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    if (!socket.WaitReadable(wait)) return "<none>";
    std::vector<uint8_t> buffer(70000);
    TSocketAddress from;
    const size_t n = socket.ReceiveFrom(buffer, from);
    return std::string(reinterpret_cast<const char*>(buffer.data()), n);
  }
  // A record of exactly `size` bytes.
  static TDispatchMessagePtr OfSize(int32_t size) {
    return Message(0, std::string(static_cast<size_t>(size - 246), 'm'));
  }
};

TEST_F(UdpDestinationTest, SendsTheRegistrationThenBase64RecordsAndTheUnregistration) {
  TUdpSocket far = TUdpSocket::Bind("127.0.0.1", 0, TIPVersion::V4);
  std::string id;
  {
    auto d = Make(far.Local().Port, ";RemoteDestinationDetails=File[Path=/tmp/\xC3\x9C.bxl]");
    TDispatchMessagePtr m = Message(0);
    d->Dispatch(*m);
    id = d->RemoteDispatchID;
    EXPECT_EQ(Next(far), "REGDISPATCH\r\n" + id + "\r\nFile[Path=/tmp/\xC3\x9C.bxl]");
    const std::string datagram = Next(far);
    TDispatchMessagePtr expected = Message(0);
    SetFieldText(expected->DispatchID, id);
    const std::string b64 = EncodeBase64(Bytes(*expected));
    EXPECT_EQ(b64.size(), 328u);
    EXPECT_EQ(datagram, "2130706433\r\n246\r\n" + b64 + "\r\n");

    // 49,149 bytes pass the check (and then exceed what one datagram carries); 49,150 bytes
    // are skipped without a word.
    TDispatchMessagePtr largest = OfSize(49149);
    d->Dispatch(*largest);
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("UDP Dispatch Unsuccessful (Socket Error # ", 0), 0u) << errors[0];
    TDispatchMessagePtr tooLarge = OfSize(49150);
    d->Dispatch(*tooLarge);
    EXPECT_EQ(Errors().size(), 1u);
    TDispatchMessagePtr fits = OfSize(40000);
    d->Dispatch(*fits);
    EXPECT_EQ(Next(far).size(), 10u + 2 + 5 + 2 + 53336 + 2);
    EXPECT_TRUE(d->Connected);
  }
  // Destruction: the type-92 record as a message datagram.
  TDispatchMessagePtr unreg = Message(92);
  SetFieldText(unreg->DispatchID, id);
  std::string datagram = Next(far);
  const size_t b64At = datagram.find("\r\n", 12) + 2;
  ASSERT_EQ(datagram.substr(0, b64At), "2130706433\r\n246\r\n");
  const std::string record = DecodeBase64(datagram.substr(b64At));
  ASSERT_EQ(record.size(), 246u);
  const auto* r = reinterpret_cast<const TDispatchMessage*>(record.data());
  EXPECT_EQ(r->MsgType, 92);
  EXPECT_EQ(FieldText(r->DispatchID), id);
  EXPECT_EQ(FieldText(r->AppName), "Remote BxDispatcher");
  EXPECT_EQ(Next(far, std::chrono::milliseconds(100)), "<none>");
}

TEST_F(UdpDestinationTest, ReachesTheRealReceiver) {
  TBxUdpReceiver receiver(uint16_t{0});
  receiver.SetActive(true);
  const uint16_t port = IPv4Port(receiver.BoundBindings());
  ASSERT_NE(port, 0);
  auto d = Make(port);
  TDispatchMessagePtr m = Message(3, "over udp", "with details");
  d->Dispatch(*m);
  const std::string id = d->RemoteDispatchID;
  // The receiver handles datagrams on the main loop, which the capture pumps.
  std::vector<TDispatchMessagePtr> queued;
  ASSERT_TRUE(FLog.WaitUntil([&] {
    for (auto& q : TakeQueued()) queued.push_back(std::move(q));
    return !queued.empty();
  }));
  EXPECT_EQ(Registered(id), "Viewer 2");
  EXPECT_EQ(FieldText(queued[0]->DispatchID), id);
  EXPECT_EQ(MsgText(*queued[0]), "over udp");
  EXPECT_EQ(Details(*queued[0]), "with details");

  d.reset();
  queued.clear();
  ASSERT_TRUE(FLog.WaitUntil([&] {
    for (auto& q : TakeQueued()) queued.push_back(std::move(q));
    return !queued.empty();
  }));
  EXPECT_EQ(queued[0]->MsgType, 92);
  EXPECT_EQ(FieldText(queued[0]->DispatchID), id);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(UdpDestinationTest, ARegistrationThatCannotBeSentIsLoggedOnce) {
  // Port 0 is refused by the client before anything is sent.
  auto d = Make(0);
  TDispatchMessagePtr m = Message(0);
  d->Dispatch(*m);
  d->Dispatch(*m);
  EXPECT_TRUE(d->Connected);
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].rfind("UDP Connect Unsuccesful (", 0), 0u) << errors[0];
  EXPECT_EQ(errors[1].rfind("UDP Dispatch Unsuccessful (", 0), 0u) << errors[1];
  EXPECT_EQ(errors[2].rfind("UDP Dispatch Unsuccessful (", 0), 0u) << errors[2];
  FLog.Clear();
  d.reset();
  const auto last = Errors();
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].rfind("UDP Disconnect Unsuccessful (", 0), 0u) << last[0];
}

}  // namespace
}  // namespace bx
