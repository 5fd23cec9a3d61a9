#include "core/dispatch_list.h"

#include <gtest/gtest.h>

#include "config/dispatcher_settings.h"
#include "platform/file_access.h"
#include "platform/folders.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TRecordingSink;
using test::TTempHome;
using test::TTestKinds;

std::string Unknown(const std::string& kind) {
  return "Invalid Destination: Unknown destination \"" + kind + "\"";
}

// "<name>[<options>]" of every member, in order.
std::vector<std::string> Members(const TBxDispatchList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) {
    out.push_back(list.Item(i).GetName() + "[" + list.Item(i).GetOptions() + "]");
  }
  return out;
}

struct TSplit {
  std::string Kind, Options, Rest;
  bool operator==(const TSplit&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TSplit& s) {
  return os << "{" << s.Kind << "|" << s.Options << "|" << s.Rest << "}";
}
TSplit Split(std::string text) {
  TSplit s;
  SplitNextDestination(text, s.Kind, s.Options);
  s.Rest = text;
  return s;
}

TEST(SplitNextDestinationTest, BracketDepthDecidesWhereItemsAndOptionsEnd) {
  EXPECT_EQ(Split("Viewer"), (TSplit{"Viewer", "", ""}));
  EXPECT_EQ(Split(" File[Path=c:\\logs\\a.bxl], Viewer"),
            (TSplit{"File", "Path=c:\\logs\\a.bxl", " Viewer"}));
  // Even a blank after the closing bracket stays part of the kind.
  EXPECT_EQ(Split("File[Path=a] ,Viewer"), (TSplit{"File]", "Path=a", "Viewer"}));
  EXPECT_EQ(Split("File[a,b],Viewer"), (TSplit{"File", "a,b", "Viewer"}));
  EXPECT_EQ(Split("File[a[b]c]"), (TSplit{"File", "a[b]c", ""}));
  // Text after the closing bracket stays part of the kind.
  EXPECT_EQ(Split("File[x] x,Viewer"), (TSplit{"File] x", "x", "Viewer"}));
  EXPECT_EQ(Split(",Viewer"), (TSplit{"", "", "Viewer"}));
  // A bracket that is never closed takes the rest as options, and reads no further.
  EXPECT_EQ(Split("File[a,b"), (TSplit{"File", "a,b", ""}));
  EXPECT_EQ(Split("\t Tcp \r[Host=h]"), (TSplit{"Tcp", "Host=h", ""}));
}

TEST(SplitNextDestinationTest, WalkingByPositionGivesTheSameItemsAndLongStringsStayLinear) {
  const std::string text = " File[a,b], Viewer,,File[x] x,File[a[b]c],Tcp[Host=h";
  std::string remaining = text;
  size_t position = 0;
  while (!remaining.empty()) {
    ASSERT_LT(position, text.size());
    TSplit cut;
    SplitNextDestination(remaining, cut.Kind, cut.Options);
    TSplit walked;
    SplitNextDestination(text, position, walked.Kind, walked.Options);
    EXPECT_EQ(walked.Kind, cut.Kind);
    EXPECT_EQ(walked.Options, cut.Options);
    EXPECT_EQ(text.substr(position), remaining);
  }
  EXPECT_EQ(position, text.size());

  // 16 MiB of commas: cutting the text after each item took minutes; walking it is linear.
  TTempHome home;
  TLogCapture log;
  TBxDispatchList list;
  list.SetName(std::string(16 * 1024 * 1024, ','));
  EXPECT_TRUE(list.Invalid);
  EXPECT_EQ(log.Texts(TLogLevel::Error),
            std::vector<std::string>{"Invalid Destination: No Active destinations specified"});
}

TEST(DispatchListTest, BuildsMembersInStringOrderAndLeavesOutWhatFails) {
  TTempHome home;
  TTestKinds kinds;
  TLogCapture log;
  TBxDispatchList list;
  list.SetName(" FILE[Path=c:\\logs\\a.bxl], viewer ,Fiel, File[a,b]");
  EXPECT_FALSE(list.Invalid);
  EXPECT_EQ(Members(list), (std::vector<std::string>{"FILE[Path=c:\\logs\\a.bxl]", "viewer[]"}));
  EXPECT_EQ(list.GetName(), " FILE[Path=c:\\logs\\a.bxl], viewer ,Fiel, File[a,b]");
  EXPECT_EQ(
      log.Texts(TLogLevel::Error),
      (std::vector<std::string>{
          Unknown("Fiel"), "Invalid Destination: Unknown option \"a,b\" in destination \"File\""}));
  EXPECT_THROW(list.Item(2), EBxDispatcherException);
  try {
    list.Extract(-1);
    FAIL();
  } catch (const EBxDispatcherException& e) {
    EXPECT_STREQ(e.what(), "Error retrieving TBxDestination");
  }
}

TEST(DispatchListTest, ListWithoutUsableMemberIsInvalid) {
  TTempHome home;
  TTestKinds kinds;
  TLogCapture log;
  for (const std::string text : {"", " , ,", "Fiel", "File[x] x", "alias[NAME=Main]"}) {
    TBxDispatchList list;
    list.SetName(text);
    EXPECT_TRUE(list.Invalid) << text;
    EXPECT_EQ(list.Count(), 0) << text;
  }
  EXPECT_EQ(log.Texts(TLogLevel::Error),
            (std::vector<std::string>{"Invalid Destination: No Active destinations specified",
                                      "Invalid Destination: No Active destinations specified",
                                      Unknown("Fiel"), Unknown("File] x"), Unknown("alias")}));
}

TEST(DispatchListTest, DispatchReachesMembersInOrderAndStopsAtTheFirstThatRaises) {
  TTempHome home;
  TTestKinds kinds;
  TLogCapture log;
  TBxDispatchList list;
  list.SetName("File[Path=a],Viewer");
  TDispatchMessageFields f;
  f.MsgType = 3;
  f.MsgText = "hi";
  TDispatchMessagePtr m = BuildDispatchMessage(f);
  list.Dispatch(*m);
  EXPECT_EQ(TRecordingSink::Instance().Records(),
            (std::vector<std::string>{"File[Path=a] 3 hi", "Viewer 3 hi"}));

  TRecordingSink::Instance().Reset();
  TBxDispatchList raising;
  raising.SetName("Raise,Viewer");
  EXPECT_THROW(raising.Dispatch(*m), std::runtime_error);
  EXPECT_EQ(TRecordingSink::Instance().Count(), 0u);
}

class AliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string file = DefaultSettingsFileName();
    ASSERT_TRUE(CreateFolderChain(FolderOfPath(file)));
    test::WriteFile(file,
                    "[Main]\r\nDestinationDetails=Viewer,File[Path=m]\r\n"
                    "[Second]\r\nDestinationDetails=Alias[Name=Main]\r\n");
  }
  TTempHome FHome;
  TTestKinds FKinds;
  TLogCapture FLog;
};

TEST_F(AliasTest, FirstItemAliasIsReplacedByItsSectionExactlyOnce) {
  EXPECT_EQ(ResolveAlias("Alias[name=main],Tcp[Host=x]"), "Viewer,File[Path=m]");
  EXPECT_EQ(ResolveAlias("Alias[NAME=Nowhere]"), "Unknown Alias");
  // Not resolved: lower-case kind, alias not first, no NAME=, blanks kept in the name.
  EXPECT_EQ(ResolveAlias("alias[NAME=Main]"), "alias[NAME=Main]");
  EXPECT_EQ(ResolveAlias("Viewer,Alias[Name=Main]"), "Viewer,Alias[Name=Main]");
  EXPECT_EQ(ResolveAlias("Alias[Main]"), "Alias[Main]");
  EXPECT_EQ(ResolveAlias("Alias[Name= Main]"), "Unknown Alias");

  TBxDispatchList list;
  list.SetName("Alias[Name=Main]");
  EXPECT_EQ(list.GetName(), "Viewer,File[Path=m]");
  EXPECT_EQ(Members(list), (std::vector<std::string>{"Viewer[]", "File[Path=m]"}));

  // An alias that names an alias is parsed as it stands.
  TBxDispatchList twice;
  twice.SetName("Alias[Name=Second]");
  EXPECT_EQ(twice.GetName(), "Alias[Name=Main]");
  EXPECT_TRUE(twice.Invalid);
  EXPECT_EQ(FLog.Texts(TLogLevel::Error), std::vector<std::string>{Unknown("Alias")});
}

TEST(AliasWithoutSettingsFileTest, IsNotResolved) {
  TTempHome home;
  EXPECT_EQ(ResolveAlias("Alias[Name=Main]"), "Alias[Name=Main]");
}

}  // namespace
}  // namespace bx
