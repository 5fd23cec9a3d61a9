#include "receivers/tcp_receiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "config/command_line.h"
#include "messages/legacy_message.h"
#include "messages/message_encoders.h"
#include "messages/message_format.h"
#include "net/memory_channel.h"
#include "platform/socket.h"
#include "receiver_fixture.h"
#include "receivers/dispatcher_window_messages.h"
#include "support/tcp_test_client.h"

namespace bx {
namespace {

using test::BigEndian32;
using test::TTcpTestClient;

class TcpReceiverTest : public test::ReceiverFixture {
 protected:
  // Starts the receiver on a port the system chooses.
  void Start() {
    FReceiver.SetActive(true);
    ASSERT_TRUE(FReceiver.Listening());
    FPort = FReceiver.BoundBindings().at(0).Port;
  }
  std::unique_ptr<TTcpTestClient> Connect() {
    return std::make_unique<TTcpTestClient>("127.0.0.1", FPort);
  }
  // A transfer-format request: code, message type, length, payload.
  static std::string Request(int32_t code, int32_t type, const std::string& payload) {
    return BigEndian32(code) + BigEndian32(type) +
           BigEndian32(static_cast<int32_t>(payload.size())) + payload;
  }
  // Waits until the log holds an entry with `fragment` (the handler runs on another thread).
  void WaitForLog(const std::string& fragment) { ASSERT_TRUE(FLog.WaitForText(fragment)); }

  TBxTcpReceiver FReceiver{uint16_t{0}};
  uint16_t FPort = 0;
};

TEST_F(TcpReceiverTest, RecordIsQueuedAndRegistrationAnsweredWithTheRegistrysResult) {
  Start();
  auto client = Connect();
  // The code travels as the bytes 7F 00 00 01.
  const std::string record = RecordBytes(0, "{A}");
  ASSERT_EQ(record.size(), 246u);
  client->Write(std::string("\x7F\x00\x00\x01", 4) + std::string(4, '\0') +
                std::string("\x00\x00\x00\xF6", 4) + record);
  EXPECT_EQ(client->ReadInt32(), 1);
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(FieldText(queued[0]->DispatchID), "{A}");

  // The type sent ahead of the payload decides, not the record's own MsgType.
  client->Write(Request(bxmUTF8MessageFormat, 91, RecordBytes(0, "{R}", "Viewer")));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered("{R}"), "Viewer 1");
  client->Write(Request(bxmUTF8MessageFormat, 91, RecordBytes(91, "{N}", "Nowhere")));
  EXPECT_EQ(client->ReadInt32(), 0);
  client->Write(Request(bxmUTF8MessageFormat, 0, RecordBytes(91, "{Q}", "Viewer")));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered("{Q}"), "-");
  EXPECT_EQ(TakeQueued().size(), 1u);
}

TEST_F(TcpReceiverTest, ADispatchIDFieldWithoutTerminatorCountsItsFirst41Bytes) {
  Start();
  auto client = Connect();
  std::string record = RecordBytes(0, "", "Viewer");
  const std::string id42 = "{" + std::string(40, 'D') + "}";  // 42 bytes, no terminator
  std::memcpy(record.data() + 54, id42.data(), 42);
  client->Write(Request(bxmUTF8MessageFormat, 91, record));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered(id42.substr(0, 41)), "Viewer 1");
  EXPECT_EQ(Registered(id42), "-");
}

TEST_F(TcpReceiverTest, ANonAsciiDispatchIDRegistersUnderOneKeyOverRecordAndXml) {
  Start();
  auto client = Connect();
  const std::string utf8 =
      "{Gr\xC3\xB6\xC3\x9F"
      "e}";
  const std::string ansi =
      "{Gr\xF6\xDF"
      "e}";  // the same ID in CP1252, as records carry it
  client->Write(Request(bxmUTF8MessageFormat, 91, RecordBytes(91, ansi, "Viewer")));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered(utf8), "Viewer 1");
  // XML carries the ID as UTF-8 text; the record it gives holds it in CP1252, and registers
  // under the same key: a second registration of a registered ID changes nothing.
  const TDispatchMessagePtr record = BuildDispatchMessage(
      {.MsgType = 91, .TimeStampDate = 733000, .DispatchID = utf8, .MsgText = "File"});
  const std::string xml = EncodeXmlMessage(*record, bxmUTF8XmlMessageFormat);
  ASSERT_NE(xml.find("<DispatchID>" + utf8 + "</DispatchID>"), std::string::npos) << xml;
  client->Write(Request(bxmUTF8XmlMessageFormat, 91, xml));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered(utf8), "Viewer 1");
  TBxDispatchIDList& list = *DispatchIDList();
  auto lock = list.LockForTest();
  EXPECT_EQ(list.Count(lock), 1);
}

TEST_F(TcpReceiverTest, AnXmlTagBombIsRefusedWithOneErrorAndTheConnectionGoesOn) {
  Start();
  auto client = Connect();
  std::string bomb;
  bomb.reserve(16 * 1024 * 1024);
  while (bomb.size() < 16 * 1024 * 1024) bomb += "<a/>";
  FLog.Clear();
  client->Write(Request(bxmUTF8XmlMessageFormat, 0, bomb));
  EXPECT_EQ(client->ReadInt32(), 1);
  ASSERT_TRUE(FLog.WaitForText("Exception in TcpServerExecute: "));
  EXPECT_EQ(FLog.Texts(TLogLevel::Error),
            std::vector<std::string>{
                "Exception in TcpServerExecute: XML document refused: more than 65536 nodes"});
  EXPECT_TRUE(TakeQueued().empty());
  client->Write(BigEndian32(bxmCommand) + BigEndian32(0));  // the same connection still serves
  EXPECT_EQ(client->ReadInt32(), 1);
}

TEST_F(TcpReceiverTest, TransferFormatsXmlAnsiAndTheRefusedUnicodeXml) {
  Start();
  auto client = Connect();
  const TDispatchMessagePtr record =
      BuildDispatchMessage({.MsgType = 3, .TimeStampDate = 733000, .MsgText = "x"});
  const std::string xml = EncodeXmlMessage(*record, bxmUTF8XmlMessageFormat);
  client->Write(Request(bxmUTF8XmlMessageFormat, 3, xml));
  EXPECT_EQ(client->ReadInt32(), 1);
  client->Write(Request(bxmUTF8MessageFormat, 3, xml));  // "<" first: XML as well
  EXPECT_EQ(client->ReadInt32(), 1);
  client->Write(
      Request(bxmAnsiMessageFormat, 3, EncodeAnsiMessage({.MsgType = 3, .MsgText = "\xC3\xA9"})));
  EXPECT_EQ(client->ReadInt32(), 1);
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 3u);
  EXPECT_EQ(MsgText(*queued[0]), "x");
  EXPECT_EQ(MsgText(*queued[1]), "x");
  EXPECT_EQ(MsgText(*queued[2]), "\xC3\xA9");

  FLog.Clear();
  client->Write(Request(bxmUnicodeXmlMessageFormat, 3,
                        EncodeXmlMessage(*record, bxmUnicodeXmlMessageFormat)));
  EXPECT_EQ(client->ReadInt32(), 1);
  client->Write(Request(0x7F000050, 3, "anything"));  // unknown code: read and answered
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_TRUE(TakeQueued().empty());
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{
                              "Warning: Received bxmUnicodeXmlMessageFormat Message via TCP"});

  // A bad time stamp: logged, answered 1, the connection stays usable.
  client->Write(Request(bxmUTF8XmlMessageFormat, 3, "<m><TimeStamp>2009-13-01</TimeStamp></m>"));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(
      FLog.Texts(TLogLevel::Error),
      std::vector<std::string>{"Exception in TcpServerExecute: Invalid argument to date encode"});
  client->Write(Request(bxmUTF8XmlMessageFormat, 3, xml));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(TakeQueued().size(), 1u);
}

TEST_F(TcpReceiverTest, CommandsAnswerOneAndReloadPostsToTheMainLoop) {
  Start();
  auto client = Connect();
  client->Write(BigEndian32(bxmCommand) + BigEndian32(92));
  EXPECT_EQ(client->ReadInt32(), 1);
  client->Write(BigEndian32(bxmCommand) + BigEndian32(93));
  EXPECT_EQ(client->ReadInt32(), 1);
  ASSERT_TRUE(FLog.WaitUntil([&] { return !FLog.OtherMessages().empty(); }));
  const auto& posted = FLog.OtherMessages();
  ASSERT_EQ(posted.size(), 1u);  // 92 posted nothing
  EXPECT_EQ(posted[0].Msg, 1106u);
  EXPECT_EQ(posted[0].WParam, 0u);
  EXPECT_EQ(posted[0].LParam, 0u);
}

TEST_F(TcpReceiverTest, ReloadAnswerLeavesBeforeThePortSwitchClosesTheConnection) {
  // The answer must be on the wire when the reload request is posted: the main thread may
  // switch ports (and close this connection) before the handler returns to its caller.
  auto channel = std::make_unique<TBxMemoryChannel>(BigEndian32(bxmCommand) + BigEndian32(93));
  TBxMemoryChannel& raw = *channel;
  TBxTCPConnection connection(std::move(channel));
  FReceiver.HandleRequest(connection);
  EXPECT_EQ(raw.Written(), BigEndian32(1));
  EXPECT_EQ(connection.OutputBuffered(), 0u);
  ASSERT_EQ(FLog.OtherMessages().size(), 1u);
  EXPECT_EQ(FLog.OtherMessages()[0].Msg, kWmReloadSettings);

  // Over a real socket, the main thread switching the port as soon as it sees the request.
  Start();
  for (int round = 0; round < 20; ++round) {
    FLog.Clear();
    auto client = Connect();
    client->Write(BigEndian32(bxmCommand) + BigEndian32(93));
    ASSERT_TRUE(FLog.WaitUntil([&] { return !FLog.OtherMessages().empty(); }));
    uint16_t next = 0;
    {
      TListenSocket probe = TListenSocket::BindTcp("0.0.0.0", 0, TIPVersion::V4);
      next = probe.Local().Port;
    }
    FReceiver.SetPort(next);  // closes every connection of the old listener
    EXPECT_EQ(client->ReadInt32(), 1) << "round " << round;
    ASSERT_TRUE(FReceiver.Listening());
    FPort = FReceiver.BoundBindings().at(0).Port;
  }
}

TEST_F(TcpReceiverTest, LegacyRegistrationIsNotAnsweredLegacyMessageGetsOkAndClose) {
  Start();
  auto client = Connect();
  client->Write(BigEndian32(41) + "{LEG}\r\nViewer\r\n");
  // Nothing answered: the next answer on the connection is the command's.
  client->Write(BigEndian32(bxmCommand) + BigEndian32(1));
  EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(Registered("{LEG}"), "Viewer 1");
  WaitForLog("TCP Connection Established");
  EXPECT_EQ(FLog.Texts(TLogLevel::Reg).back(), "TCP Connection Established: Details=\"Viewer\"");

  // A legacy message, even of the registration type, is queued; "OK" CR LF, then closed.
  FLog.Clear();
  const std::string legacy =
      EncodeLegacyMessage({.MsgType = 41, .DispatchID = "{X}", .MsgText = "File"}, 9);
  client->Write(BigEndian32(5) + BigEndian32(static_cast<int32_t>(legacy.size())) + legacy);
  EXPECT_EQ(client->ReadBytes(4), "OK\r\n");
  EXPECT_TRUE(client->ClosedByPeer());
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0]->MsgType, 91);
  EXPECT_EQ(Registered("{X}"), "-");
  EXPECT_EQ(FLog.Texts(TLogLevel::Info),
            std::vector<std::string>{"Received Bx2MessageFormat Message via TCP"});
}

TEST_F(TcpReceiverTest, HostileRequestsCloseOnlyTheirOwnConnection) {
  Start();
  auto good = Connect();
  const std::string record = RecordBytes(0, "{G}", "text");
  std::string lying = record;
  const int32_t big = 5000;
  std::memcpy(lying.data() + 16, &big, 4);
  const std::string legacy = EncodeLegacyMessage({.MsgType = 1, .MsgText = "abc"}, 1);

  const std::pair<std::string, std::string> cases[] = {
      {Request(bxmUTF8MessageFormat, 0, ""), "record too short"},
      {BigEndian32(bxmUTF8MessageFormat) + BigEndian32(0) + BigEndian32(-1), "payload length -1"},
      {BigEndian32(bxmUTF8MessageFormat) + BigEndian32(0) + BigEndian32(kMaxTcpPayloadLength + 1),
       "payload length 67108865 is outside 0..67108864"},
      {BigEndian32(3) + BigEndian32(-20), "payload length -20"},
      {Request(bxmUTF8MessageFormat, 0, lying), "claims"},
      {Request(bxmAnsiMessageFormat, 0, record.substr(0, 100)), "record too short"},
      {BigEndian32(7) + BigEndian32(219) + legacy.substr(0, 219), "legacy record refused"},
      {"\x12\x34\x56\x78\x9A\xBC\xDE\xF0garbage", "payload length"},
  };
  for (const auto& [bytes, fragment] : cases) {
    FLog.Clear();
    auto bad = Connect();
    bad->Write(bytes);
    EXPECT_TRUE(bad->ClosedByPeer()) << fragment;
    ASSERT_TRUE(FLog.WaitForText("TCP Receiver closed the connection from 127.0.0.1:")) << fragment;
    const auto errors = FLog.Texts(TLogLevel::Error);
    ASSERT_EQ(errors.size(), 1u) << fragment;
    EXPECT_NE(errors[0].find(fragment), std::string::npos) << errors[0];
    // The other connection keeps working.
    good->Write(Request(bxmUTF8MessageFormat, 0, record));
    EXPECT_EQ(good->ReadInt32(), 1) << fragment;
  }
  EXPECT_EQ(TakeQueued().size(), std::size(cases));  // only the good connection's messages

  // Answers before a refused request on the same connection still go out.
  auto mixed = Connect();
  mixed->Write(Request(bxmUTF8MessageFormat, 0, record) + Request(bxmUTF8MessageFormat, 0, lying));
  EXPECT_EQ(mixed->ReadInt32(), 1);
  EXPECT_TRUE(mixed->ClosedByPeer());

  // A registration line over 16,384 characters is a failed read: closed, nothing logged.
  FLog.Clear();
  auto longLine = Connect();
  longLine->Write(BigEndian32(41) + std::string(16385, 'A') + "\r\nViewer\r\n");
  EXPECT_TRUE(longLine->ClosedByPeer());
  good->Write(Request(bxmUTF8MessageFormat, 0, record));
  EXPECT_EQ(good->ReadInt32(), 1);
  EXPECT_TRUE(FLog.Entries().empty());
  EXPECT_EQ(Registered(std::string(16385, 'A')), "-");
  auto exact = Connect();  // 16,384 characters still make a line
  exact->Write(BigEndian32(41) + std::string(16384, 'B') + "\r\nViewer\r\n" +
               BigEndian32(bxmCommand) + BigEndian32(0));
  EXPECT_EQ(exact->ReadInt32(), 1);
  EXPECT_EQ(Registered(std::string(16384, 'B')), "Viewer 1");
  TakeQueued();

  // A peer that closes between requests ends quietly.
  FLog.Clear();
  auto quiet = Connect();
  quiet->WriteInt32(bxmCommand);
  quiet->Close();
  good->Write(Request(bxmUTF8MessageFormat, 0, record));
  EXPECT_EQ(good->ReadInt32(), 1);
  EXPECT_TRUE(FLog.Texts(TLogLevel::Error).empty());
}

TEST_F(TcpReceiverTest, AnswersToRequestsOfOneReadLeaveInOneWrite) {
  // The server's connection loop over an in-memory channel that hands out everything at once.
  const std::string record = RecordBytes(0, "{M}");
  std::string input;
  for (int i = 0; i < 5; ++i) input += Request(bxmUTF8MessageFormat, 0, record);
  input += BigEndian32(bxmCommand) + BigEndian32(92);
  auto channel = std::make_unique<TBxMemoryChannel>(input);
  TBxMemoryChannel& raw = *channel;
  TBxTCPConnection connection(std::move(channel));
  try {
    for (;;) {
      FReceiver.HandleRequest(connection);
      if (connection.InputBuffered() == 0) connection.Flush();
    }
  } catch (const std::exception&) {
    // End of input reads as a close by the peer.
  }
  EXPECT_EQ(raw.Writes(), 1u);
  EXPECT_EQ(raw.Written().size(), 24u);
  EXPECT_EQ(TakeQueued().size(), 5u);
}

TEST_F(TcpReceiverTest, ActivationPortSwitchingAndATakenPort) {
  // Start entry once for two SetActive(true).
  FReceiver.SetActive(true);
  FReceiver.SetActive(true);
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{"Info: Tcp Receiver Started"});
  FReceiver.SetActive(false);
  EXPECT_EQ(FLog.Lines().back(), "Info: Tcp Receiver Stopped");

  // The command line gives the initial port: the last option wins, names ignore case.
  TBxCommandLine args({"/tcpport=4000", "-TCPPort=5000"}, "+-/");
  EXPECT_EQ(TBxTcpReceiver(args).GetPort(), 5000);
  TBxCommandLine none({}, "+-/");
  TBxCommandLine wide({"/TCPPort=70000"}, "+-/");
  EXPECT_EQ(TBxTcpReceiver(wide).GetPort(), 3434);
  TBxTcpReceiver fresh(none);
  FLog.Clear();
  fresh.SetPort(3434);
  EXPECT_TRUE(FLog.Lines().empty());
  fresh.SetPort(4000);
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{"Info: TCP Receiver switching from port 3434 to port 4000"});
  EXPECT_FALSE(fresh.GetActive());
  EXPECT_FALSE(fresh.Listening());

  // A port already in use: Warning with the socket's text, then the stop entry; still active.
  TListenSocket taken = TListenSocket::BindTcp("0.0.0.0", 0, TIPVersion::V4);
  taken.Listen(1);
  TBxTcpReceiver blocked(taken.Local().Port);
  FLog.Clear();
  blocked.SetActive(true);
  EXPECT_EQ(FLog.Lines(),
            (std::vector<std::string>{
                "Info: Tcp Receiver Started",
                "Warning: TCP Receiver could not allocate a socket (Could not bind socket. "
                "Address and port are already in use.)",
                "Info: Tcp Receiver Stopped"}));
  EXPECT_TRUE(blocked.GetActive());
  EXPECT_FALSE(blocked.Listening());
  // Switching ports later does not bring it back (it was not listening).
  blocked.SetPort(0);
  EXPECT_FALSE(blocked.Listening());
}

TEST_F(TcpReceiverTest, SwitchingPortsWhileListeningMovesTheListener) {
  Start();
  const uint16_t old = FReceiver.GetPort();  // the configured port (0), not the bound one
  EXPECT_EQ(old, 0);
  uint16_t next = 0;
  {
    TListenSocket probe = TListenSocket::BindTcp("0.0.0.0", 0, TIPVersion::V4);
    next = probe.Local().Port;
  }
  FLog.Clear();
  FReceiver.SetPort(next);
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{"Info: TCP Receiver switching from port " +
                                     std::to_string(old) + " to port " + std::to_string(next)});
  ASSERT_TRUE(FReceiver.Listening());
  TTcpTestClient client("127.0.0.1", next);
  client.Write(BigEndian32(bxmCommand) + BigEndian32(0));
  EXPECT_EQ(client.ReadInt32(), 1);
}

TEST_F(TcpReceiverTest, AcceptsIPv6Connections) {
  if (!IPv6Available()) GTEST_SKIP() << "no IPv6 on this machine";
  Start();
  uint16_t port6 = 0;
  for (const auto& binding : FReceiver.BoundBindings()) {
    if (binding.IPVersion == TIPVersion::V6) port6 = binding.Port;
  }
  ASSERT_NE(port6, 0);
  TStreamSocket socket;
  try {
    socket = TStreamSocket::ConnectTcp("::1", port6);
  } catch (const ESocketError& e) {
    GTEST_SKIP() << "no IPv6 loopback: " << e.what();
  }
  const std::string request = BigEndian32(bxmCommand) + BigEndian32(0);
  socket.Write(request.data(), request.size());
  char answer[4] = {};
  size_t got = 0;
  while (got < 4) {
    const size_t n = socket.Read(answer + got, 4 - got);
    ASSERT_GT(n, 0u);
    got += n;
  }
  EXPECT_EQ(std::string(answer, 4), BigEndian32(1));
}

}  // namespace
}  // namespace bx

namespace bx {
namespace {

TEST_F(TcpReceiverTest, AFullQueueHoldsTheSenderBackUntilThereIsRoomAndLosesNothing) {
  Start();
  TBxMessageQueue& queue = *MessageQueue();
  const std::string probe = RecordBytes(1, "{B}", "m00");
  const int64_t perMessage = static_cast<int64_t>(probe.size()) + TBxMessageQueue::kMessageOverhead;
  queue.SetMemoryLimit(5 * perMessage);  // full at five records

  constexpr int kCount = 40;
  std::string requests;
  for (int i = 0; i < kCount; ++i) {
    requests += Request(bxmUTF8MessageFormat, 1,
                        RecordBytes(1, "{B}", (i < 10 ? "m0" : "m") + std::to_string(i)));
  }
  auto client = Connect();
  client->Write(requests);  // all of them at once; far less than the socket buffers hold

  ASSERT_TRUE(FLog.WaitUntil([&] { return queue.IsFull(); }, std::chrono::seconds(30)));
  // The connection thread took five requests, answered them, and waits before the sixth.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_FALSE(client->Socket().WaitReadable(std::chrono::milliseconds(200)))
      << "an answer beyond the queue's room";
  EXPECT_LE(queue.QueuedBytes(), 5 * perMessage);

  // Taking makes room; the sender resumes and every record arrives once, in order, while the
  // queue never holds more than its limit and one record.
  std::vector<std::string> texts;
  while (static_cast<int>(texts.size()) < kCount) {
    TDispatchMessagePtr m = queue.TakeHead();
    if (m == nullptr) {
      ASSERT_TRUE(FLog.WaitUntil([&] { return !queue.IsEmpty(); }, std::chrono::seconds(30)))
          << texts.size() << " records arrived";
      continue;
    }
    EXPECT_LE(queue.QueuedBytes(), 6 * perMessage);
    texts.emplace_back(MsgText(*m));
  }
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(texts[static_cast<size_t>(i)], (i < 10 ? "m0" : "m") + std::to_string(i));
  }
  for (int i = 5; i < kCount; ++i) EXPECT_EQ(client->ReadInt32(), 1);
  EXPECT_EQ(queue.QueuedBytes(), 0);
}

TEST_F(TcpReceiverTest, StoppingTheReceiverEndsAConnectionThatWaitsForRoom) {
  Start();
  TBxMessageQueue& queue = *MessageQueue();
  queue.SetMemoryLimit(1);  // full after one record
  auto client = Connect();
  const std::string request = Request(bxmUTF8MessageFormat, 1, RecordBytes(1, "{S}", "x"));
  client->Write(request + request);
  EXPECT_EQ(client->ReadInt32(), 1);
  ASSERT_TRUE(FLog.WaitUntil([&] { return queue.IsFull(); }, std::chrono::seconds(30)));
  // Stopping joins the waiting connection thread, which takes no further request.
  FReceiver.SetActive(false);
  EXPECT_EQ(TakeQueued().size(), 1u);
  EXPECT_TRUE(client->ClosedByPeer());
}

}  // namespace
}  // namespace bx
