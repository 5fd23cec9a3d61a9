// TBxSyslogDestination against a real receiver: rsyslogd, started by the test with a private
// configuration on loopback ports and stopped by its PID (support/rsyslog_peer.h). Each
// RFC 5424 field is checked as rsyslogd parsed it, for UDP, TCP and TLS.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "destinations/syslog_destination.h"
#include "messages/dispatch_message.h"
#include "platform/clock.h"
#include "support/log_capture.h"
#include "support/rsyslog_peer.h"
#include "support/temp_home.h"
#include "support/test_pki.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TRsyslogPeer;
using test::TSyslogFields;
using test::TTempHome;
using test::TTestPki;

const std::string kBOM = "\xEF\xBB\xBF";

class SyslogRsyslogTest : public ::testing::Test {
 protected:
  SyslogRsyslogTest() : FPki(FHome.Path()), FPeer(FHome.Path(), &FPki) {}

  std::unique_ptr<TBxSyslogDestination> Make(const std::string& options) {
    auto d = std::make_unique<TBxSyslogDestination>();
    d->SetName("Syslog");
    d->SetOptions(options);
    EXPECT_FALSE(d->Invalid) << options;
    d->ConnectTimeout = std::chrono::seconds(20);
    return d;
  }
  static TDispatchMessagePtr Record(int32_t type, const std::string& text,
                                    const std::string& details = "") {
    TDispatchMessageFields f;
    f.MsgType = type;
    f.TimeStampDate = DateToDayNumber(2026, 12, 9);
    f.TimeStampTime = ((7 * 60 + 32) * 60 + 3) * 1000 + 45;
    f.TimeBias = -60;
    f.ProcessID = 4242;
    f.ThreadName = "Worker \"7\"";
    f.ComputerName = "WS01";
    f.AppName = "Billing App";
    f.Category = "Datenbank]";
    f.CategoryColor = 0x0000FF00;
    f.CategoryFontColor = 0;
    f.TypeName = "TOrder";
    f.DispatchID = "{5B0C0E2A-1111-4222-8333-444455556666}";
    f.MsgText = text;
    f.Details = details;
    return BuildDispatchMessage(f);
  }
  std::vector<std::string> Errors() { return FLog.Texts(TLogLevel::Error); }

  // Every field of one received message, as the sender wrote it.
  void ExpectFields(const TSyslogFields& f, const std::string& msg) {
    EXPECT_EQ(f.at("PRI"), "131");  // local0 (16) * 8 + err (3)
    EXPECT_EQ(f.at("FACILITY"), "16");
    EXPECT_EQ(f.at("SEVERITY"), "3");
    EXPECT_EQ(f.at("VERSION"), "1");
    EXPECT_EQ(f.at("TIMESTAMP"), "2026-12-09T07:32:03.045+01:00");
    EXPECT_EQ(f.at("HOSTNAME"), "WS01");
    EXPECT_EQ(f.at("APPNAME"), "Billing_App");
    EXPECT_EQ(f.at("PROCID"), "4242");
    EXPECT_EQ(f.at("MSGID"), "2");
    EXPECT_EQ(f.at("SD"),
              "[brevix@32473 category=\"Datenbank\\]\" categoryColor=\"#00FF00\" "
              "categoryFontColor=\"#000000\" thread=\"Worker \\\"7\\\"\" typeName=\"TOrder\" "
              "dispatchID=\"{5B0C0E2A-1111-4222-8333-444455556666}\"]");
    EXPECT_EQ(f.at("MSG"), kBOM + msg);
  }

  TTempHome FHome;
  TLogCapture FLog;
  TTestPki FPki;
  TRsyslogPeer FPeer;
};

TEST_F(SyslogRsyslogTest, EveryFieldArrivesOverUdpTcpAndTls) {
  const std::string text = "Z\xC3\xA4hler \xE2\x82\xAC \xF0\x9F\x93\x88";  // Zähler € 📈
  struct TCase {
    std::string Options;
    std::string Marker;
  };
  const TCase cases[] = {
      {"Host=127.0.0.1;Facility=local0;Port=" + std::to_string(FPeer.UdpPort()), "udp-1"},
      {"Host=127.0.0.1;Protocol=tcp;Facility=16;Port=" + std::to_string(FPeer.TcpPort()), "tcp-1"},
      {"Host=localhost;Protocol=tls;Facility=local0;CAFile=" + FPki.CAFile +
           ";Port=" + std::to_string(FPeer.TlsPort()),
       "tls-1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Marker);
    auto d = Make(c.Options);
    TDispatchMessagePtr plain = Record(2, c.Marker + " " + text);
    d->Dispatch(*plain);
    TDispatchMessagePtr detailed =
        Record(2, c.Marker + "-details", "first line\nzweite Zeile \xC3\x9F");
    d->Dispatch(*detailed);
    const auto got = FPeer.WaitForMessage(c.Marker + " ");
    ASSERT_TRUE(got) << "nothing arrived for " << c.Options;
    ExpectFields(*got, c.Marker + " " + text);
    const auto withDetails = FPeer.WaitForMessage(c.Marker + "-details");
    ASSERT_TRUE(withDetails);
    ExpectFields(*withDetails, c.Marker + "-details\nfirst line\nzweite Zeile \xC3\x9F");
  }
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(FLog.Texts(TLogLevel::Warning).empty());
}

TEST_F(SyslogRsyslogTest, RegistrationsAreNotForwardedAndLongDatagramsAreCut) {
  auto d = Make("Host=127.0.0.1;Port=" + std::to_string(FPeer.UdpPort()));
  TDispatchMessagePtr reg = Record(kMsgTypeRegister, "reg-marker Viewer");
  d->Dispatch(*reg);
  TDispatchMessagePtr unreg = Record(kMsgTypeUnregister, "unreg-marker");
  d->Dispatch(*unreg);
  std::string longText = "long-marker ";
  while (longText.size() < 2000) longText += "\xC3\xA9t\xC3\xA9 ";
  TDispatchMessagePtr big = Record(0, longText);
  d->Dispatch(*big);
  TDispatchMessagePtr after = Record(0, "after-marker");
  d->Dispatch(*after);
  ASSERT_TRUE(FPeer.WaitForMessage("after-marker"));
  const auto cut = FPeer.WaitForMessage("long-marker");
  ASSERT_TRUE(cut);
  // The datagram was 480 bytes; the text is a prefix of the original, ending on a whole
  // character, and the rest of the message is intact.
  const std::string msg = cut->at("MSG");
  ASSERT_EQ(msg.compare(0, kBOM.size(), kBOM), 0);
  const std::string received = msg.substr(kBOM.size());
  EXPECT_LT(received.size(), 480u);
  EXPECT_GT(received.size(), 200u);
  EXPECT_EQ(longText.compare(0, received.size(), received), 0);
  EXPECT_NE(received.back(), '\xC3');
  EXPECT_EQ(cut->at("MSGID"), "0");
  EXPECT_EQ(d->TruncatedCount(), 1u);
  EXPECT_EQ(
      FLog.Texts(TLogLevel::Warning),
      std::vector<std::string>{"Syslog destination 127.0.0.1:" + std::to_string(FPeer.UdpPort()) +
                               ": UDP messages longer than 480 bytes are cut"});
  for (const TSyslogFields& f : FPeer.Received()) {
    EXPECT_EQ(f.at("MSG").find("reg-marker"), std::string::npos);
    EXPECT_EQ(f.at("MSG").find("unreg-marker"), std::string::npos);
  }
  d.reset();
  EXPECT_EQ(
      FLog.Texts(TLogLevel::Info),
      std::vector<std::string>{"Syslog destination 127.0.0.1:" + std::to_string(FPeer.UdpPort()) +
                               ": UDP messages cut to 480 bytes: 1"});
}

TEST_F(SyslogRsyslogTest, LostConnectionsAreReopenedAtTheNextMessage) {
  for (const std::string protocol : {"tcp", "tls"}) {
    SCOPED_TRACE(protocol);
    FLog.Clear();
    const uint16_t port = protocol == "tcp" ? FPeer.TcpPort() : FPeer.TlsPort();
    auto d = Make("Host=localhost;Protocol=" + protocol + ";CAFile=" + FPki.CAFile +
                  ";Port=" + std::to_string(port));
    TDispatchMessagePtr first = Record(2, protocol + "-before");
    d->Dispatch(*first);
    ASSERT_TRUE(FPeer.WaitForMessage(protocol + "-before"));
    EXPECT_TRUE(d->StreamOpen());

    FPeer.Stop();
    // The receiver is gone: the message is lost with one Error entry, the next one too.
    TDispatchMessagePtr lost = Record(2, protocol + "-lost");
    d->Dispatch(*lost);
    d->Dispatch(*lost);
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    for (const std::string& e : errors) {
      EXPECT_EQ(e.rfind("Syslog Dispatch Unsuccessful (", 0), 0u) << e;
      EXPECT_NE(e.find("Connection refused"), std::string::npos) << e;
    }
    EXPECT_FALSE(d->StreamOpen());

    FPeer.Start();
    TDispatchMessagePtr again = Record(2, protocol + "-again");
    d->Dispatch(*again);
    ASSERT_TRUE(FPeer.WaitForMessage(protocol + "-again"));
    EXPECT_EQ(Errors().size(), 2u);
    for (const TSyslogFields& f : FPeer.Received()) {
      EXPECT_EQ(f.at("MSG").find(protocol + "-lost"), std::string::npos);
    }
  }
}

TEST_F(SyslogRsyslogTest, TlsRefusesAnUntrustedPeerUnlessVerificationIsOff) {
  const std::string port = std::to_string(FPeer.TlsPort());
  auto untrusted = Make("Host=localhost;Protocol=tls;CAFile=" + FPki.OtherCAFile + ";Port=" + port);
  TDispatchMessagePtr m = Record(2, "untrusted-marker");
  untrusted->Dispatch(*m);
  ASSERT_EQ(Errors().size(), 1u);
  // The reason is the library's: rsyslogd shows its CA in the chain, so "self-signed
  // certificate in certificate chain".
  const std::string prefix =
      "Syslog Dispatch Unsuccessful (TLS certificate verification with localhost:" + port +
      " failed: ";
  EXPECT_EQ(Errors()[0].rfind(prefix, 0), 0u) << Errors()[0];
  EXPECT_NE(Errors()[0].find("certificate", prefix.size()), std::string::npos) << Errors()[0];
  // The wrong name: the certificate is for localhost, not 127.0.0.1.
  auto wrongName = Make("Host=127.0.0.1;Protocol=tls;CAFile=" + FPki.CAFile + ";Port=" + port);
  wrongName->Dispatch(*m);
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_NE(Errors()[1].find("TLS certificate verification with 127.0.0.1:" + port + " failed: "),
            std::string::npos)
      << Errors()[1];
  EXPECT_NE(Errors()[1].find("mismatch"), std::string::npos) << Errors()[1];

  auto open = Make("Host=127.0.0.1;Protocol=tls;VerifyPeer=False;CAFile=" + FPki.OtherCAFile +
                   ";Port=" + port);
  TDispatchMessagePtr a = Record(2, "noverify-1");
  TDispatchMessagePtr b = Record(2, "noverify-2");
  open->Dispatch(*a);
  open->Dispatch(*b);
  ASSERT_TRUE(FPeer.WaitForMessage("noverify-2"));
  ASSERT_TRUE(FPeer.WaitForMessage("noverify-1"));
  EXPECT_EQ(FLog.Texts(TLogLevel::Warning),
            std::vector<std::string>{"Syslog destination 127.0.0.1:" + port +
                                     ": VerifyPeer=False, the TLS peer is not verified"});
  EXPECT_EQ(Errors().size(), 2u);
  EXPECT_TRUE(FPeer.Received().size() >= 2u);
  for (const TSyslogFields& f : FPeer.Received()) {
    EXPECT_EQ(f.at("MSG").find("untrusted-marker"), std::string::npos);
  }
}

}  // namespace
}  // namespace bx
