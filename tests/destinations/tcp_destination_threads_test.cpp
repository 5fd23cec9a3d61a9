// TBxTcpDestination against the real TCP receiver of a dispatch core in this process, and
// against scripted servers for the exact bytes and the failure cases.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "destinations/remote_fixture.h"
#include "destinations/tcp_destination.h"
#include "destinations/udp_destination.h"
#include "platform/process_id.h"
#include "receivers/tcp_receiver.h"
#include "support/scripted_server.h"
#include "support/tcp_test_client.h"

namespace bx {
namespace {

using test::BigEndian32;
using test::ReadExactly;
using test::TScriptedServer;

class TcpDestinationTest : public test::RemoteFixture {
 protected:
  std::unique_ptr<TBxTcpDestination> Make(uint16_t port, const std::string& extra = "") {
    auto d = std::make_unique<TBxTcpDestination>();
    d->SetName("Tcp");
    d->SetOptions("Host=127.0.0.1;Port=" + std::to_string(port) + extra);
    EXPECT_FALSE(d->Invalid);
    return d;
  }
};

// Records every request (header and record) and answers each with 1.
struct TRequestRecorder {
  std::mutex Mutex;
  std::vector<std::string> Requests;  // guarded by Mutex
  std::vector<size_t> Connection;     // which accepted connection each came on
  size_t Connections = 0;
  bool AnswerRequests = true;

  void Serve(TStreamSocket& s) {
    size_t index;
    {
      std::lock_guard lock(Mutex);
      index = ++Connections;
    }
    for (;;) {
      std::optional<std::string> header = ReadExactly(s, kTcpRequestHeaderSize);
      if (!header) return;
      const auto* p = reinterpret_cast<const unsigned char*>(header->data() + 8);
      const size_t n = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
      std::optional<std::string> record = ReadExactly(s, n);
      if (!record) return;
      bool answer;
      {
        std::lock_guard lock(Mutex);
        Requests.push_back(*header + *record);
        Connection.push_back(index);
        answer = AnswerRequests;
      }
      if (!answer) return;  // orderly close instead of the answer
      const std::string one = BigEndian32(1);
      s.Write(one.data(), one.size());
    }
  }
  std::vector<std::string> Taken() {
    std::lock_guard lock(Mutex);
    return Requests;
  }
};

const TDispatchMessage& AsRecord(const std::string& request) {
  return *reinterpret_cast<const TDispatchMessage*>(request.data() + kTcpRequestHeaderSize);
}

TEST_F(TcpDestinationTest, RegistersOnceRelabelsAndUnregistersOnTheWire) {
  TRequestRecorder far;
  TScriptedServer server([&](TStreamSocket& s) { far.Serve(s); });
  std::string id;
  {
    auto d = Make(server.Port());
    TDispatchMessagePtr first = Message(0, "0123456789");
    d->Dispatch(*first);
    id = d->RemoteDispatchID;
    EXPECT_TRUE(d->Connected);
    EXPECT_EQ(id.size(), 38u);
    EXPECT_EQ(FieldText(first->DispatchID), id);  // the caller's record is relabelled
    TDispatchMessagePtr second = Message(2, "", "details");
    d->Dispatch(*second);
    EXPECT_EQ(d->RemoteDispatchID, id);
  }
  server.Stop();
  const auto requests = far.Taken();
  ASSERT_EQ(requests.size(), 4u);
  // Registration: type 91, 252 bytes, MsgText the 6 bytes "Viewer".
  EXPECT_EQ(requests[0].substr(0, 12),
            BigEndian32(0x7F000001) + BigEndian32(91) + BigEndian32(252));
  ASSERT_EQ(requests[0].size(), 12u + 252u);
  const TDispatchMessage& reg = AsRecord(requests[0]);
  EXPECT_EQ(reg.MsgType, 91);
  EXPECT_EQ(reg.MsgTextLen, 6);
  EXPECT_EQ(MsgText(reg), "Viewer");
  EXPECT_EQ(FieldText(reg.DispatchID), id);
  EXPECT_EQ(FieldText(reg.AppName), "Remote BxDispatcher");
  EXPECT_EQ(reg.ProcessID, CurrentProcessID());
  // The message: N = 256 for a 10-byte text, its bytes unchanged but for the dispatch ID.
  EXPECT_EQ(requests[1].substr(0, 12), BigEndian32(0x7F000001) + BigEndian32(0) + BigEndian32(256));
  ASSERT_EQ(requests[1].size(), 12u + 256u);
  TDispatchMessagePtr expected = Message(0, "0123456789");
  SetFieldText(expected->DispatchID, id);
  EXPECT_EQ(requests[1].substr(12), Bytes(*expected));
  EXPECT_EQ(AsRecord(requests[2]).MsgType, 2);
  // Destruction: one type-92 record of 246 bytes with the ID.
  EXPECT_EQ(requests[3].substr(0, 12),
            BigEndian32(0x7F000001) + BigEndian32(92) + BigEndian32(246));
  ASSERT_EQ(requests[3].size(), 12u + 246u);
  EXPECT_EQ(AsRecord(requests[3]).MsgTextLen, 0);
  EXPECT_EQ(FieldText(AsRecord(requests[3]).DispatchID), id);
  EXPECT_EQ(far.Connection, (std::vector<size_t>{1, 1, 1, 1}));  // all on one connection
  EXPECT_TRUE(Errors().empty());
}

TEST_F(TcpDestinationTest, ReachesTheRealReceiverAndReconnectsSilentlyAfterARestart) {
  auto receiver = std::make_unique<TBxTcpReceiver>(uint16_t{0});
  receiver->SetActive(true);
  const uint16_t port = IPv4Port(receiver->BoundBindings());
  ASSERT_NE(port, 0);
  auto d = Make(port, ";RemoteDestinationDetails=File[Path=far.bxl]");
  TDispatchMessagePtr m = Message(1, "hello");
  d->Dispatch(*m);
  EXPECT_EQ(Registered(d->RemoteDispatchID), "File[Path=far.bxl] 1");
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(FieldText(queued[0]->DispatchID), d->RemoteDispatchID);
  EXPECT_EQ(MsgText(*queued[0]), "hello");

  // The far dispatcher restarts on the same port; its registry keeps the registration.
  receiver.reset();
  receiver = std::make_unique<TBxTcpReceiver>(port);
  receiver->SetActive(true);
  ASSERT_TRUE(receiver->Listening());
  const std::string id = d->RemoteDispatchID;
  TDispatchMessagePtr again = Message(1, "after restart");
  d->Dispatch(*again);
  EXPECT_EQ(d->RemoteDispatchID, id);  // no new registration
  queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(MsgText(*queued[0]), "after restart");
  EXPECT_EQ(FieldText(queued[0]->DispatchID), id);
  EXPECT_TRUE(Errors().empty()) << Errors()[0];

  d.reset();  // the unregistration is queued at the far side
  queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0]->MsgType, 92);
  EXPECT_EQ(FieldText(queued[0]->DispatchID), id);
  EXPECT_EQ(DispatchMessageSize(*queued[0]), 246);
}

TEST_F(TcpDestinationTest, AnUnreachableFarSideLogsConnectAndDispatchAndRetriesLater) {
  uint16_t freePort;
  {
    TListenSocket probe = TListenSocket::BindTcp("127.0.0.1", 0, TIPVersion::V4);
    freePort = probe.Local().Port;
  }
  auto d = Make(freePort);
  TDispatchMessagePtr m = Message(0, "lost");
  d->Dispatch(*m);
  EXPECT_FALSE(d->Connected);
  const std::string refused =
      "Socket Error # " + std::to_string(ECONNREFUSED) + "\r\n" + SystemErrorText(ECONNREFUSED);
  EXPECT_EQ(Errors(), (std::vector<std::string>{"TCP Connect Unsuccessful (" + refused + ")",
                                                "TCP Dispatch Unsuccessful (" + refused + ")"}));
  const std::string firstId = d->RemoteDispatchID;
  d->Dispatch(*m);
  EXPECT_NE(d->RemoteDispatchID, firstId);  // a full connect again, with a new ID
  EXPECT_EQ(Errors().size(), 4u);
  FLog.Clear();
  d.reset();  // never connected: nothing sent, nothing logged
  EXPECT_TRUE(Errors().empty());
}

TEST_F(TcpDestinationTest, ASilentFarSideCostsOnlyTheTimeouts) {
  TScriptedServer silent([](TStreamSocket& s) { test::ReadUntilClosed(s); });
  auto d = Make(silent.Port());
  d->Client().ReadTimeout = std::chrono::milliseconds(200);
  TDispatchMessagePtr m = Message(0, "x");
  d->Dispatch(*m);
  const std::string timedOut =
      "Socket Error # " + std::to_string(ETIMEDOUT) + "\r\n" + SystemErrorText(ETIMEDOUT);
  EXPECT_EQ(Errors(), (std::vector<std::string>{"TCP Connect Unsuccessful (" + timedOut + ")",
                                                "TCP Dispatch Unsuccessful (" + timedOut + ")"}));
}

TEST_F(TcpDestinationTest, AnOrderlyCloseByThePeerIsIgnoredSilently) {
  TRequestRecorder far;
  far.AnswerRequests = false;  // reads each request, then closes instead of answering
  TScriptedServer server([&](TStreamSocket& s) { far.Serve(s); });
  auto d = Make(server.Port());
  TDispatchMessagePtr m = Message(0, "one");
  d->Dispatch(*m);
  EXPECT_TRUE(d->Connected);
  d->Dispatch(*m);
  d.reset();
  server.Stop();
  EXPECT_TRUE(Errors().empty());
  const auto requests = far.Taken();
  // The registration, each message on a new connection, then the type-92 record.
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(AsRecord(requests[0]).MsgType, 91);
  EXPECT_EQ(AsRecord(requests[1]).MsgType, 0);
  EXPECT_EQ(AsRecord(requests[2]).MsgType, 0);
  EXPECT_EQ(AsRecord(requests[3]).MsgType, 92);
  EXPECT_EQ(far.Connection, (std::vector<size_t>{1, 2, 3, 4}));
}

TEST_F(TcpDestinationTest, AFarSideThatNeverReadsHoldsAMessageAtMostTheLargestTimeout) {
  using namespace std::chrono_literals;
  // Accepts and never reads nor answers, until the test lets it go.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  TScriptedServer server([released](TStreamSocket&) { released.wait_for(60s); });
  auto d = Make(server.Port());
  d->Client().ConnectTimeout = 4s;
  d->Client().ReadTimeout = 4s;
  // The registration waits for its reply, then the message waits for room to be written: both
  // share the message's bound of 4 s.
  TDispatchMessagePtr big = Message(0, std::string(32 * 1024 * 1024, 'x'));
  const auto start = std::chrono::steady_clock::now();
  d->Dispatch(*big);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s + 3s);
  release.set_value();
  const std::string timedOut =
      "Socket Error # " + std::to_string(ETIMEDOUT) + "\r\n" + SystemErrorText(ETIMEDOUT);
  EXPECT_EQ(Errors(), (std::vector<std::string>{"TCP Connect Unsuccessful (" + timedOut + ")",
                                                "TCP Dispatch Unsuccessful (" + timedOut + ")"}));
  EXPECT_FALSE(d->Client().IsConnected());  // dropped, so the stream stays in step
}

TEST_F(TcpDestinationTest, NameResolutionFailuresLogTheResolversText) {
  // A label over 63 characters is refused by the resolver itself: nothing leaves the machine.
  const std::string host = std::string(64, 'a') + ".invalid";
  auto tcp = std::make_unique<TBxTcpDestination>();
  tcp->SetName("Tcp");
  tcp->SetOptions("Host=" + host);
  TBxUdpDestination udp;
  udp.SetName("Udp");
  udp.SetOptions("Host=" + host);
  TDispatchMessagePtr m = Message(0, "x");
  tcp->Dispatch(*m);
  udp.Dispatch(*m);
  const std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 4u);
  const std::string prefix = "(Could not resolve \"" + host + "\": ";
  EXPECT_EQ(errors[0].rfind("TCP Connect Unsuccessful " + prefix, 0), 0u) << errors[0];
  EXPECT_EQ(errors[1].rfind("TCP Dispatch Unsuccessful " + prefix, 0), 0u) << errors[1];
  EXPECT_EQ(errors[2].rfind("UDP Connect Unsuccesful " + prefix, 0), 0u) << errors[2];
  EXPECT_EQ(errors[3].rfind("UDP Dispatch Unsuccessful " + prefix, 0), 0u) << errors[3];
  for (const std::string& e : errors) {
    EXPECT_EQ(e.find("Socket Error #"), std::string::npos) << e;
    EXPECT_GT(e.size(), errors[0].find(prefix) + prefix.size() + 2) << e;  // the resolver's text
  }
}

}  // namespace
}  // namespace bx
