#include "receivers/udp_receiver.h"

#include <gtest/gtest.h>

#include "config/command_line.h"
#include "messages/base64.h"
#include "platform/socket.h"
#include "receiver_fixture.h"

namespace bx {
namespace {

class UdpReceiverTest : public test::ReceiverFixture {
 protected:
  void Start() {
    FReceiver.SetActive(true);
    ASSERT_TRUE(FReceiver.Listening());
    FTo = {"127.0.0.1", FReceiver.BoundBindings().at(0).Port, TIPVersion::V4};
  }
  void SendDatagram(const std::string& bytes) { FSocket.SendTo(FTo, bytes.data(), bytes.size()); }
  // Sends `bytes`, then a registration of `marker`, and waits for the marker: datagrams are
  // handled in arrival order, so `bytes` has been handled by then.
  void SendAndSettle(const std::string& bytes, const std::string& marker) {
    SendDatagram(bytes);
    SendDatagram("REGDISPATCH\r\n" + marker + "\r\nFile");
    ASSERT_TRUE(FLog.WaitUntil([&] { return Registered(marker) != "-"; })) << marker;
  }
  static std::string Message(const std::string& record) {
    return "2130706433\r\n" + std::to_string(record.size()) + "\r\n" + EncodeBase64(record) +
           "\r\n";
  }

  TBxUdpReceiver FReceiver{uint16_t{0}};
  TUdpSocket FSocket = TUdpSocket::Open(TIPVersion::V4);
  TSocketAddress FTo;
};

TEST_F(UdpReceiverTest, RegistrationDatagramsWithOrWithoutAFinalBreak) {
  Start();
  FLog.Clear();
  SendDatagram("REGDISPATCH\r\n{U1}\r\nViewer");
  SendDatagram("REGDISPATCH\r\n{U2}\r\nFile[Path=x]\r\n");
  ASSERT_TRUE(FLog.WaitUntil([&] { return Registered("{U2}") != "-"; }));
  EXPECT_EQ(Registered("{U1}"), "Viewer 2");
  EXPECT_EQ(Registered("{U2}"), "File[Path=x] 2");
  const auto reg = FLog.Texts(TLogLevel::Reg);
  EXPECT_NE(std::find(reg.begin(), reg.end(), "UDP Connection Established: Details=\"Viewer\""),
            reg.end());
  EXPECT_NE(
      std::find(reg.begin(), reg.end(), "UDP Connection Established: Details=\"File[Path=x]\""),
      reg.end());
}

TEST_F(UdpReceiverTest, WrongTagsLineCountsAndSizesAreIgnoredSilently) {
  Start();
  FLog.Clear();
  const std::string record = RecordBytes(0, "{M}", "x");
  SendAndSettle("regdispatch\r\n{L}\r\nViewer", "{m1}");
  SendAndSettle("REGDISPATCH\r\n{L}", "{m2}");
  SendAndSettle("REGDISPATCH\r\n{L}\r\nViewer\r\nmore", "{m3}");
  SendAndSettle("2130706433\r\n0\r\n" + EncodeBase64(record), "{m4}");
  EXPECT_EQ(Registered("{L}"), "-");
  EXPECT_TRUE(TakeQueued().empty());
  for (const auto& e : FLog.Entries()) {
    EXPECT_EQ(e.Level, TLogLevel::Reg) << e.Text;  // only the markers' entries
  }
}

TEST_F(UdpReceiverTest, MessagesAreQueuedBrokenRecordsRefusedWithAWarning) {
  Start();
  FLog.Clear();
  // A 246-byte record with empty texts; a type-91 record is queued too, not registered.
  SendAndSettle(Message(RecordBytes(0, "{M}")), "{s1}");
  SendAndSettle(Message(RecordBytes(91, "{R}", "Viewer")), "{s2}");
  auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(FieldText(queued[0]->DispatchID), "{M}");
  EXPECT_EQ(queued[1]->MsgType, 91);
  EXPECT_EQ(Registered("{R}"), "-");

  SendAndSettle(Message(RecordBytes(0).substr(0, 245)), "{s3}");
  std::string lying = RecordBytes(0, "{M}", "text");
  lying[16] = 100;  // MsgTextLen 100, four bytes present
  SendAndSettle(Message(lying), "{s4}");
  EXPECT_TRUE(TakeQueued().empty());
  const auto warnings = FLog.Texts(TLogLevel::Warning);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].rfind("UDP Receiver refused a datagram from 127.0.0.1:", 0), 0u)
      << warnings[0];
  EXPECT_NE(warnings[1].find("claims"), std::string::npos) << warnings[1];
}

TEST_F(UdpReceiverTest, PortFromTheCommandLineSwitchingAndATakenPort) {
  TBxCommandLine args({"+UDPPort=4001", "UDPPort=4002"}, "+-/");
  EXPECT_EQ(TBxUdpReceiver(args).GetPort(), 4001);
  TBxCommandLine none({}, "+-/");
  TBxUdpReceiver fresh(none);
  EXPECT_EQ(fresh.GetPort(), 3435);
  FLog.Clear();
  fresh.SetPort(3435);
  fresh.SetPort(4000);
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{"Info: UDP Receiver switching from port 3435 to port 4000"});
  EXPECT_FALSE(fresh.Listening());

  TUdpSocket taken = TUdpSocket::Bind("0.0.0.0", 0, TIPVersion::V4);
  TBxUdpReceiver blocked(taken.Local().Port);
  FLog.Clear();
  blocked.SetActive(true);
  EXPECT_EQ(FLog.Lines(),
            (std::vector<std::string>{
                "Info: Udp Receiver Started",
                "Warning: UDP Receiver could not allocate a socket (Could not bind socket. "
                "Address and port are already in use.)",
                "Info: Udp Receiver Stopped"}));
  EXPECT_TRUE(blocked.GetActive());
}

}  // namespace
}  // namespace bx
