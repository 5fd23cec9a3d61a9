// The RFC 5424 form of records and the options of the Syslog destination, without a network.
#include "destinations/syslog_message.h"

#include <gtest/gtest.h>

#include "destinations/syslog_destination.h"
#include "platform/clock.h"
#include "support/log_capture.h"

namespace bx {
namespace {

using test::TLogCapture;

TDispatchMessagePtr Record(int32_t type, std::string_view text, std::string_view details = "") {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.TimeStampDate = DateToDayNumber(2026, 12, 9);
  f.TimeStampTime = ((7 * 60 + 32) * 60 + 3) * 1000 + 45;
  f.TimeBias = -60;
  f.ProcessID = 4242;
  f.ComputerName = "WS 01";
  f.AppName = "Billing\xC3\xBC";
  f.DispatchID = "{ID}";
  f.MsgText = text;
  f.Details = details;
  return BuildDispatchMessage(f);
}

TEST(SyslogMessageTest, HeaderFieldsFollowTheRecord) {
  TDispatchMessagePtr m = Record(2, "Disk full");
  // user (1) * 8 + err (3)
  EXPECT_EQ(BuildSyslogMessage(*m, 1),
            "<11>1 2026-12-09T07:32:03.045+01:00 WS_01 Billing_ 4242 2 "
            "[brevix@32473 dispatchID=\"{ID}\"] \xEF\xBB\xBF"
            "Disk full");
  // local7 (23) * 8 + debug (7); east of UTC a positive bias gives a negative offset.
  m->MsgType = 9;
  m->TimeBias = 300;
  m->ComputerName[0] = '\0';
  EXPECT_EQ(BuildSyslogMessage(*m, 23).substr(0, 50),
            "<191>1 2026-12-09T07:32:03.045-05:00 - Billing_ 42");

  EXPECT_EQ(SyslogTimestamp(DateToDayNumber(2000, 1, 1), 0, 0), "2000-01-01T00:00:00.000+00:00");
  EXPECT_EQ(SyslogTimestamp(DateToDayNumber(2000, 1, 1), 86399999, -345),
            "2000-01-01T23:59:59.999+05:45");
  // What the RFC cannot express gives NILVALUE, never a made-up time.
  EXPECT_EQ(SyslogTimestamp(0, 0, 0), "-");
  EXPECT_EQ(SyslogTimestamp(730120, 86400000, 0), "-");
  EXPECT_EQ(SyslogTimestamp(730120, -1, 0), "-");
  EXPECT_EQ(SyslogTimestamp(730120, 0, 24 * 60), "-");
  EXPECT_EQ(SyslogTimestamp(DateToDayNumber(9999, 12, 31) + 1, 0, 0), "-");
}

TEST(SyslogMessageTest, SeverityTableAndFacilities) {
  const std::pair<int32_t, uint8_t> table[] = {
      {2, 3},  {37, 3}, {24, 3}, {1, 4},  {25, 4}, {23, 5}, {26, 5}, {0, 6},
      {8, 6},  {45, 6}, {30, 6}, {3, 7},  {9, 7},  {10, 7}, {4, 7},  {16, 7},
      {36, 7}, {44, 7}, {7, 6},  {39, 6}, {47, 6}, {48, 6}, {-1, 6}, {1000, 6}};
  for (const auto& [type, severity] : table) {
    EXPECT_EQ(SyslogSeverity(type), severity) << "type " << type;
  }
  EXPECT_EQ(ParseSyslogFacility("user"), 1);
  EXPECT_EQ(ParseSyslogFacility("LOCAL0"), 16);
  EXPECT_EQ(ParseSyslogFacility("local7"), 23);
  EXPECT_EQ(ParseSyslogFacility("authpriv"), 10);
  EXPECT_EQ(ParseSyslogFacility("0"), 0);
  EXPECT_EQ(ParseSyslogFacility("23"), 23);
  EXPECT_FALSE(ParseSyslogFacility("24"));
  EXPECT_FALSE(ParseSyslogFacility("-1"));
  EXPECT_FALSE(ParseSyslogFacility(""));
  EXPECT_FALSE(ParseSyslogFacility("local8"));
  EXPECT_FALSE(ParseSyslogFacility("1x"));
}

TEST(SyslogMessageTest, StructuredDataEscapesAndMessageCarriesDetails) {
  TDispatchMessageFields f;
  f.MsgType = 0;
  f.Category = "Net\"work]\\x";
  f.CategoryColor = 0x00FF8000;  // blue FF, green 80, red 00
  f.CategoryFontColor = 0xFF000008;
  f.ThreadName = "Main";
  f.TypeName = "TOrder";
  f.DispatchID = "{D}";
  f.MsgText = "caf\xC3\xA9 \xFF!";  // a broken byte in the text
  f.Details = "line 1\r\nline 2";
  TDispatchMessagePtr m = BuildDispatchMessage(f);
  const std::string text = BuildSyslogMessage(*m, 1);
  EXPECT_NE(text.find(" 0 [brevix@32473 category=\"Net\\\"work\\]\\\\x\" categoryColor=\"#0080FF\" "
                      "categoryFontColor=\"0xFF000008\" thread=\"Main\" typeName=\"TOrder\" "
                      "dispatchID=\"{D}\"] "),
            std::string::npos)
      << text;
  EXPECT_EQ(text.substr(text.find("] ") + 2),
            "\xEF\xBB\xBF"
            "caf\xC3\xA9 \xEF\xBF\xBD!\nline 1\r\nline 2");
  // Nothing at all in the record: every header field NILVALUE or a number.
  TDispatchMessagePtr empty = BuildDispatchMessage({});
  EXPECT_EQ(BuildSyslogMessage(*empty, 1),
            "<14>1 - - - 0 0 [brevix@32473 dispatchID=\"\"] \xEF\xBB\xBF");
}

TEST(SyslogMessageTest, FittingCutsTheMessageAtACharacterBoundary) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "\xE2\x82\xAC";  // 900 bytes of euro signs
  TDispatchMessagePtr m = Record(0, text, "details");
  const std::string whole = BuildSyslogMessage(*m, 1);
  const std::string fit = FitSyslogMessage(*m, 1, 480);
  ASSERT_LE(fit.size(), 480u);
  EXPECT_GE(fit.size(), 478u);  // a cut costs at most the two bytes of a partial sign
  EXPECT_EQ(whole.compare(0, fit.size(), fit), 0);
  EXPECT_EQ((fit.size() - whole.find("\xEF\xBB\xBF") - 3) % 3, 0u);
  // A message that fits is unchanged.
  TDispatchMessagePtr small = Record(0, "short");
  EXPECT_EQ(FitSyslogMessage(*small, 1, 480), BuildSyslogMessage(*small, 1));
  // When STRUCTURED-DATA alone is too long it becomes "-" and the text still goes.
  const std::string category(40, 'c'), thread(25, 't'), typeName(40, 'y'), id(41, 'd');
  TDispatchMessageFields f;
  f.Category = category;
  f.ThreadName = thread;
  f.TypeName = typeName;
  f.DispatchID = id;
  f.MsgText = "hello";
  TDispatchMessagePtr wide = BuildDispatchMessage(f);
  const std::string narrow = FitSyslogMessage(*wide, 1, 100);
  EXPECT_EQ(narrow, "<14>1 - - - 0 0 - \xEF\xBB\xBFhello");
  EXPECT_EQ(Utf8CutLength("a\xC3\xA9", 2), 1u);
  EXPECT_EQ(Utf8CutLength("a\xC3\xA9", 3), 3u);
  EXPECT_EQ(Utf8CutLength("a\xFF\xFF", 2), 2u);  // broken bytes stand alone
}

TEST(SyslogDestinationOptionsTest, OptionsDefaultsAndRejections) {
  TLogCapture log;
  auto make = [](const std::string& options) {
    auto d = std::make_unique<TBxSyslogDestination>();
    d->SetName("syslog");
    d->SetOptions(options);
    return d;
  };
  auto plain = make("Host=logs.example");
  EXPECT_FALSE(plain->Invalid);
  EXPECT_EQ(plain->GetHost(), "logs.example");
  EXPECT_EQ(plain->GetPort(), 514);
  EXPECT_EQ(plain->GetProtocol(), TBxSyslogProtocol::Udp);
  EXPECT_EQ(plain->GetFacility(), 1);
  EXPECT_TRUE(plain->Tls.VerifyPeer);

  auto tls = make("host=h;Protocol=TLS;Facility=local3;CAFile=/x/ca.pem;VerifyPeer=false");
  EXPECT_FALSE(tls->Invalid);
  EXPECT_EQ(tls->GetPort(), 6514);
  EXPECT_EQ(tls->GetProtocol(), TBxSyslogProtocol::Tls);
  EXPECT_EQ(tls->GetFacility(), 19);
  EXPECT_EQ(tls->Tls.CAFile, "/x/ca.pem");
  EXPECT_FALSE(tls->Tls.VerifyPeer);
  EXPECT_EQ(make("Host=h;Protocol=tcp;Port=70000;Facility=4")->GetPort(), 70000 & 0xFFFF);
  EXPECT_TRUE(log.Texts(TLogLevel::Error).empty());

  EXPECT_TRUE(make("Port=514")->Invalid);
  EXPECT_TRUE(make("Host=h;Protocol=sctp")->Invalid);
  EXPECT_TRUE(make("Host=h;Facility=local9")->Invalid);
  EXPECT_TRUE(make("Host=h;VerifyPeer=no")->Invalid);
  EXPECT_TRUE(make("Host=h;URL=x")->Invalid);
  EXPECT_EQ(log.Texts(TLogLevel::Error),
            (std::vector<std::string>{
                "Invalid Destination: Host option not specified in destination \"syslog\"",
                "Invalid Destination: Unknown protocol \"sctp\" in destination \"syslog\" (udp, "
                "tcp or tls)",
                "Invalid Destination: Unknown facility \"local9\" in destination \"syslog\"",
                "Invalid Destination: Unknown option \"VerifyPeer=no\" in destination \"syslog\"",
                "Invalid Destination: Unknown option \"URL=x\" in destination \"syslog\""}));
}

}  // namespace
}  // namespace bx
