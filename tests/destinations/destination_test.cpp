#include "destinations/destination.h"

#include <gtest/gtest.h>

#include "destinations/http_destination.h"
#include "destinations/tcp_destination.h"
#include "destinations/udp_destination.h"
#include "platform/process_id.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TRecordingDestination;

std::unique_ptr<TRecordingDestination> Configured(const std::string& name,
                                                  const std::string& options) {
  auto d = std::make_unique<TRecordingDestination>("File", TRecordingDestination::TMode::Record);
  d->SetName(name);
  d->SetOptions(options);
  return d;
}

std::string Unknown(const std::string& item, const std::string& name) {
  return "Invalid Destination: Unknown option \"" + item + "\" in destination \"" + name + "\"";
}

TEST(DestinationOptionsTest, NamesIgnoreCaseAndValuesConvertByType) {
  TLogCapture log;
  auto d = Configured("File", "Path=c:\\a.bxl;maxsize=100;LOGBYDATE=TRUE");
  EXPECT_FALSE(d->Invalid);
  EXPECT_EQ(d->Path, "c:\\a.bxl");
  EXPECT_EQ(d->MaxSize, 100);
  EXPECT_TRUE(d->LogByDate);
  EXPECT_EQ(d->GetOptions(), "Path=c:\\a.bxl;maxsize=100;LOGBYDATE=TRUE");

  // A number that is not one sets 0 and is no reason to reject the destination.
  auto lots = Configured("File", "Path=c:\\a.bxl;MaxSize=lots");
  EXPECT_FALSE(lots->Invalid);
  EXPECT_EQ(lots->MaxSize, 0);
  // Values keep their blanks and may be empty.
  auto blanks = Configured("File", "Path= c:\\a b ;LogByDate=false");
  EXPECT_EQ(blanks->Path, " c:\\a b ");
  EXPECT_FALSE(blanks->Invalid);
  EXPECT_TRUE(log.Entries().empty());
}

TEST(DestinationOptionsTest, FirstItemOfANameGivesTheValueForAllItemsOfThatName) {
  auto d = Configured("File", "Port=1;Path=x;port=2");
  EXPECT_EQ(d->Port, 1);
  EXPECT_FALSE(d->Invalid);
}

TEST(DestinationOptionsTest, EachRejectedItemIsLoggedAndTheRestStillApplied) {
  TLogCapture log;
  // Boolean accepts only True/False; "yes" keeps the old value.
  auto d = Configured("file", "Path=c:\\a.bxl;LogByDate=yes;Colour=red; MaxSize=4;MaxSize=7;");
  EXPECT_TRUE(d->Invalid);
  EXPECT_FALSE(d->LogByDate);
  EXPECT_EQ(d->MaxSize, 7);  // the blank makes " MaxSize" another name
  EXPECT_EQ(
      log.Texts(TLogLevel::Error),
      (std::vector<std::string>{Unknown("LogByDate=yes", "file"), Unknown("Colour=red", "file"),
                                Unknown(" MaxSize=4", "file"), Unknown("", "file")}));
}

TEST(DestinationOptionsTest, ItemWithoutEqualsHasNoNameAndTheSameTextIsNotParsedTwice) {
  TLogCapture log;
  auto d = Configured("File", "Path");
  EXPECT_TRUE(d->Invalid);
  d->SetOptions("Path");  // unchanged text: nothing happens
  EXPECT_EQ(log.Texts(TLogLevel::Error), std::vector<std::string>{Unknown("Path", "File")});
}

TEST(DestinationOptionsTest, SemicolonsInsideBracketsDoNotSplitAndUnclosedBracketsAreRejected) {
  std::vector<std::string> items;
  ASSERT_TRUE(
      SplitOptionItems("Host=a;RemoteDestinationDetails=File[Path=c:\\x.bxl;MaxSize=10]", items));
  EXPECT_EQ(items, (std::vector<std::string>{
                       "Host=a", "RemoteDestinationDetails=File[Path=c:\\x.bxl;MaxSize=10]"}));
  ASSERT_TRUE(SplitOptionItems("a=[b;c]];d", items));
  EXPECT_EQ(items, (std::vector<std::string>{"a=[b;c]]", "d"}));
  // The first character of an item never counts as a bracket.
  ASSERT_TRUE(SplitOptionItems("[a;b", items));
  EXPECT_EQ(items, (std::vector<std::string>{"[a", "b"}));
  EXPECT_FALSE(SplitOptionItems("Path=a[b;MaxSize=3", items));

  TLogCapture log;
  auto d = Configured("File", "MaxSize=3;Path=a[b");
  EXPECT_TRUE(d->Invalid);
  EXPECT_EQ(d->MaxSize, 0);  // nothing applied
  ASSERT_EQ(log.Texts(TLogLevel::Error).size(), 1u);
  EXPECT_EQ(log.Texts(TLogLevel::Error)[0].rfind("Invalid Destination: ", 0), 0u);
}

TEST(DestinationOptionsTest, IntegerValues) {
  EXPECT_EQ(OptionInteger("4000"), 4000);
  EXPECT_EQ(OptionInteger("-5"), -5);
  EXPECT_EQ(OptionInteger("$1F"), 31);
  EXPECT_EQ(OptionInteger("0x10"), 16);
  EXPECT_EQ(OptionInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(OptionInteger("2147483647"), 2147483647);
  EXPECT_EQ(OptionInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(OptionInteger("2147483648"), 0);
  EXPECT_EQ(OptionInteger("12 "), 0);
  EXPECT_EQ(OptionInteger(""), 0);
  EXPECT_EQ(OptionInteger("0x"), 0);
  EXPECT_EQ(OptionInteger("99999999999999999999999"), 0);
}

TEST(RemoteDestinationOptionsTest, RequiredWordIsCheckedBeforeAnyParsing) {
  TLogCapture log;
  TBxTcpDestination noHost;
  noHost.SetName("Tcp");
  noHost.SetOptions("Port=4000");
  EXPECT_TRUE(noHost.Invalid);
  EXPECT_EQ(noHost.GetPort(), 3434);  // not parsed

  TBxUdpDestination empty;
  empty.SetName("udp");
  empty.SetOptions("");
  EXPECT_TRUE(empty.Invalid);

  // The word may occur anywhere, even inside a value.
  TBxTcpDestination ghost;
  ghost.SetName("Tcp");
  ghost.SetOptions("RemoteDestinationDetails=File[Path=c:\\ghost.bxl]");
  EXPECT_FALSE(ghost.Invalid);
  EXPECT_EQ(ghost.GetHost(), "");
  EXPECT_EQ(ghost.RemoteDestinationDetails, "File[Path=c:\\ghost.bxl]");

  TBxHttpDestination noUrl;
  noUrl.SetName("Http");
  noUrl.SetOptions("Alias=x");
  EXPECT_TRUE(noUrl.Invalid);

  EXPECT_EQ(log.Texts(TLogLevel::Error),
            (std::vector<std::string>{
                "Invalid Destination: Host option not specified in destination \"Tcp\"",
                "Invalid Destination: Host option not specified in destination \"udp\"",
                "Invalid Destination: URL option not specified in destination \"Http\""}));
}

TEST(RemoteDestinationOptionsTest, KindsAcceptExactlyTheirOptions) {
  TLogCapture log;
  TBxTcpDestination tcp;
  tcp.SetName("Tcp");
  tcp.SetOptions(
      "host=10.0.0.5;Port=70000;RemoteDestinationDetails=File[Path=c:\\x.bxl;MaxSize=10]");
  EXPECT_FALSE(tcp.Invalid);
  EXPECT_EQ(tcp.GetHost(), "10.0.0.5");
  EXPECT_EQ(tcp.GetPort(), 70000 & 0xFFFF);
  EXPECT_EQ(tcp.RemoteDestinationDetails, "File[Path=c:\\x.bxl;MaxSize=10]");

  TBxUdpDestination udp;
  udp.SetName("Udp");
  udp.SetOptions("Host=server; Port=4000");
  EXPECT_TRUE(udp.Invalid);
  EXPECT_EQ(udp.GetPort(), 3435);
  EXPECT_EQ(udp.RemoteDestinationDetails, "Viewer");

  TBxHttpDestination http;
  http.SetName("Http");
  http.SetOptions("URL=http://h/x;ProxyServer=p;ProxyPort=8080;ProxyUsername=u;ProxyPassword=w");
  EXPECT_FALSE(http.Invalid);
  EXPECT_EQ(http.URL, "http://h/x");
  EXPECT_EQ(http.GetAlias(), "Default");
  EXPECT_EQ(http.GetProxyPort(), 8080);
  EXPECT_EQ(http.GetProxyUsername() + http.GetProxyPassword() + http.GetProxyServer(), "uwp");

  TBxHttpDestination httpHost;
  httpHost.SetName("Http");
  httpHost.SetOptions("URL=http://h;Host=x");
  EXPECT_TRUE(httpHost.Invalid);
  EXPECT_EQ(log.Texts(TLogLevel::Error),
            (std::vector<std::string>{Unknown(" Port=4000", "Udp"), Unknown("Host=x", "Http")}));
}

// A remote destination whose transport is a record of what it would have sent.
class TSpyTcpDestination : public TBxRemoteDestination {
 public:
  ~TSpyTcpDestination() override { SendUnregistration(); }
  std::string_view KindName() const override { return "Spy"; }
  void Connect() override {
    TBxRemoteDestination::Connect();
    TDispatchMessagePtr record = BuildRegistrationRecord();
    Sent->push_back(std::string(reinterpret_cast<const char*>(record.get()),
                                static_cast<size_t>(DispatchMessageSize(*record))));
  }
  void Dispatch(TDispatchMessage& message) override {
    TBxRemoteDestination::Dispatch(message);
    StampRemoteDispatchID(message);
  }
  void Disconnect(const TDispatchMessage& message) override {
    Sent->push_back(std::string(reinterpret_cast<const char*>(&message),
                                static_cast<size_t>(DispatchMessageSize(message))));
  }
  std::vector<std::string>* Sent = nullptr;
};

const TDispatchMessage& AsRecord(const std::string& bytes) {
  return *reinterpret_cast<const TDispatchMessage*>(bytes.data());
}

TEST(RemoteDestinationTest, RegistersOnFirstMessageAndUnregistersOnlyWhenConnected) {
  std::vector<std::string> sent;
  {
    TSpyTcpDestination idle;
    idle.Sent = &sent;
  }
  EXPECT_TRUE(sent.empty());

  std::string remoteID;
  {
    TSpyTcpDestination d;
    d.Sent = &sent;
    TDispatchMessageFields f;
    f.MsgType = 1;
    f.DispatchID = "local";
    TDispatchMessagePtr message = BuildDispatchMessage(f);
    d.Dispatch(*message);
    d.Dispatch(*message);  // one registration only
    remoteID = d.RemoteDispatchID;
    EXPECT_EQ(remoteID.size(), 38u);
    EXPECT_EQ(FieldText(message->DispatchID), remoteID);
  }
  ASSERT_EQ(sent.size(), 2u);
  const TDispatchMessage& reg = AsRecord(sent[0]);
  EXPECT_EQ(sent[0].size(), 252u);
  EXPECT_EQ(reg.MsgType, 91);
  EXPECT_EQ(MsgText(reg), "Viewer");
  EXPECT_EQ(FieldText(reg.DispatchID), remoteID);
  const TDispatchMessage& unreg = AsRecord(sent[1]);
  EXPECT_EQ(sent[1].size(), 246u);
  EXPECT_EQ(unreg.MsgType, 92);
  EXPECT_EQ(unreg.MsgTextLen, 0);
  EXPECT_EQ(FieldText(unreg.DispatchID), remoteID);
  EXPECT_EQ(FieldText(unreg.AppName), "Remote BxDispatcher");
  EXPECT_EQ(unreg.ProcessID, CurrentProcessID());
  EXPECT_EQ(unreg.TimeStampDate, 0);
}

}  // namespace
}  // namespace bx
