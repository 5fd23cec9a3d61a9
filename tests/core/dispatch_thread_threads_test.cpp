#include "core/dispatch_thread.h"

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/settings_snapshot.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TRecordingSink;
using test::TTempHome;
using test::TTestKinds;

TDispatchMessagePtr Message(int32_t type, std::string_view id, std::string_view text,
                            std::string_view category = {}) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.DispatchID = id;
  f.MsgText = text;
  f.Category = category;
  f.ComputerName = "PC";
  f.AppName = "app";
  f.ProcessID = 77;
  return BuildDispatchMessage(f);
}

// The dispatch core of one test: queue, event, registry and a running dispatch thread.
class DispatchThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto settings = std::make_shared<TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
    settings->BlockedMessages.set(1);
    settings->BlockedMessages.set(47);
    settings->Categories.AddCategory("Net", true);
    settings->Categories.AddCategory("Open", false);
    PublishSettings(settings);
    FThread = std::make_unique<TBxDispatchThread>(FQueue, FEvent, FRegistry);
  }
  void TearDown() override {
    FThread.reset();
    PublishSettings(nullptr);
  }
  void Add(int32_t type, std::string_view id, std::string_view text,
           std::string_view category = {}) {
    FQueue.AddMessage(*Message(type, id, text, category));
  }
  bool WaitForRecords(size_t n) {
    return FLog.WaitUntil([&] { return TRecordingSink::Instance().Count() >= n; });
  }
  bool WaitForLines(size_t n) {
    return FLog.WaitUntil([&] { return FLog.Entries().size() >= n; });
  }

  TTempHome FHome;
  TTestKinds FKinds;
  TLogCapture FLog;
  TManualResetEvent FEvent;
  TBxMessageQueue FQueue{FEvent};
  TBxDispatchIDList FRegistry;
  std::unique_ptr<TBxDispatchThread> FThread;
};

TEST_F(DispatchThreadTest, DeliversInOrderAndDropsBlockedAndUnknownMessages) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("{LOGGER}", "Viewer", 0), 1);
  Add(0, "{logger}", "first");
  Add(1, "{LOGGER}", "blocked type", "Net");  // type and category blocked: reported as type
  Add(2, "{LOGGER}", "blocked category", "nET");
  Add(2, "{LOGGER}", "open category", "Open");
  Add(48, "{LOGGER}", "type 48");
  Add(-1, "{LOGGER}", "negative type");
  Add(91, "{LOGGER}", "queued registration");
  Add(3, "{NOBODY}", "lost");
  Add(4, "{LOGGER}", "last");
  ASSERT_TRUE(WaitForRecords(6));
  ASSERT_TRUE(WaitForLines(3));
  EXPECT_EQ(TRecordingSink::Instance().Records(),
            (std::vector<std::string>{"Viewer 0 first", "Viewer 2 open category",
                                      "Viewer 48 type 48", "Viewer -1 negative type",
                                      "Viewer 91 queued registration", "Viewer 4 last"}));
  EXPECT_EQ(FLog.Lines(),
            (std::vector<std::string>{"Warning: Message Type BLOCKED - MsgType = 1",
                                      "Warning: Message Category BLOCKED - MsgType = nET",
                                      "Warning: Destination for {NOBODY} NOT FOUND"}));
  EXPECT_TRUE(FQueue.IsEmpty());
}

TEST_F(DispatchThreadTest, UnregistrationRemovesTheEntryLogsOnceAndSavesEachTime) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("{12345678-UNREG}", "File[Path=a],Viewer", kConnectionUdp),
            1);
  ASSERT_EQ(FRegistry.RegisterDispatchID("{KEEP}", "Viewer", 0), 1);
  // 92 with a blocked category and type bit pattern is still an unregistration.
  Add(92, "{12345678-unreg}", "", "Net");
  Add(92, "{12345678-UNREG}", "");
  Add(5, "{12345678-UNREG}", "after");
  ASSERT_TRUE(WaitForLines(2));
  EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{
                              "Unreg: Unregister Logger {1234567 (U):  [ PC  app  (77)  Net ]  --  "
                              "\"File[Path=a],Viewer\"",
                              "Warning: Destination for {12345678-UNREG} NOT FOUND"}));
  EXPECT_EQ(TBxIniFile(TBxDispatchIDList::FileName()).ReadSections(),
            std::vector<std::string>{"{KEEP}"});
  // The second unregistration saved again: a stray section is gone after it.
  TBxIniFile ini(TBxDispatchIDList::FileName());
  ini.WriteString("stray", "DestinationString", "Viewer");
  ASSERT_TRUE(ini.Save());
  Add(92, "{NOT-REGISTERED}", "");
  ASSERT_TRUE(FLog.WaitUntil(
      [] { return TBxIniFile(TBxDispatchIDList::FileName()).ReadSections().size() == 1; }));
  EXPECT_EQ(FLog.Entries().size(), 2u);
}

TEST_F(DispatchThreadTest, UnregistrationFreesTheDestinationsBeforeItsEntryAndTheSave) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("{ORDER}", "File[Path=freed:a],File[Path=freed:b]", 0), 1);
  FLog.Clear();
  Add(92, "{ORDER}", "");
  ASSERT_TRUE(WaitForLines(3));
  const std::vector<std::string> lines = FLog.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Info: freed:a");
  EXPECT_EQ(lines[1], "Info: freed:b");
  EXPECT_EQ(lines[2].rfind("Unreg: Unregister Logger {ORDER} (C)", 0), 0u) << lines[2];
}

TEST(DispatchIDListOrderTest, AtShutdownTheLastRegistrationIsFreedFirst) {
  TTempHome home;
  TTestKinds kinds;
  TLogCapture log;
  {
    TBxDispatchIDList registry;
    for (const char* id : {"{A}", "{B}", "{C}"}) {
      ASSERT_EQ(registry.RegisterDispatchID(id, std::string("File[Path=freed:") + id + "]", 0), 1);
    }
    log.Clear();
  }
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Info: freed:{C}", "Info: freed:{B}", "Info: freed:{A}"}));
}

TEST_F(DispatchThreadTest, ANonAsciiDispatchIDInTheAnsiCodePageFindsItsUtf8Registration) {
  // The registry keeps IDs as UTF-8 (as UDP and XML registrations bring them); a record's
  // DispatchID field is in the ANSI code page (CP1252 here).
  const std::string utf8 = "{Gr\u00F6\u00DFe}";
  const std::string ansi = "{Gr\xF6\xDF" + std::string("e}");
  ASSERT_EQ(FRegistry.RegisterDispatchID(utf8, "Viewer", kConnectionUdp), 1);
  Add(0, ansi, "ansi id");
  Add(92, "{GR\xF6\xDF" + std::string("E}"), "");
  Add(0, ansi, "after");
  ASSERT_TRUE(WaitForLines(2));
  EXPECT_EQ(TRecordingSink::Instance().Records(), std::vector<std::string>{"Viewer 0 ansi id"});
  const std::vector<std::string> lines = FLog.Lines();
  // The line shows the first 8 bytes of the ID as UTF-8.
  EXPECT_EQ(lines[0].rfind("Unreg: Unregister Logger {GR\u00F6\u00DFE (U)", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "Warning: Destination for " + utf8 + " NOT FOUND");
}

TEST_F(DispatchThreadTest, ExceptionStopsThatMessageOnlyAndIsLoggedOnce) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("R", "Raise,Viewer", 0), 1);
  ASSERT_EQ(FRegistry.RegisterDispatchID("V", "Viewer", 0), 1);
  Add(2, "R", "one");
  Add(2, "V", "two");
  ASSERT_TRUE(WaitForRecords(1));
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(TRecordingSink::Instance().Records(), std::vector<std::string>{"Viewer 2 two"});
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{"Error: Exception occurred in DispatchMessage: boom"});
}

TEST_F(DispatchThreadTest, EmptyRequestKeepsOnlyTheUnregistrationsInOrder) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("G", "Gate", 0), 1);
  ASSERT_EQ(FRegistry.RegisterDispatchID("V", "Viewer", 0), 1);
  std::vector<std::string> ids;
  for (int i = 0; i < 10; ++i) {
    ids.push_back("{U" + std::to_string(i) + "}");
    ASSERT_EQ(FRegistry.RegisterDispatchID(ids.back(), "Viewer", 0), 1);
  }
  // Hold the dispatch thread inside a delivery while the queue fills.
  TRecordingSink::Instance().CloseGate();
  Add(2, "G", "held");
  ASSERT_TRUE(FLog.WaitUntil([] { return TRecordingSink::Instance().SomeoneWaiting(); }));
  for (int i = 0; i < 1000; ++i) {
    if (i % 100 == 50) {
      Add(92, ids[static_cast<size_t>(i / 100)], "");
    } else {
      Add(2, "V", "dropped " + std::to_string(i));
    }
  }
  FQueue.EmptyRequested.store(true);
  FEvent.Set();
  TRecordingSink::Instance().OpenGate();

  ASSERT_TRUE(WaitForLines(10));
  std::vector<std::string> unregistered;
  for (const std::string& line : FLog.Texts(TLogLevel::Unreg)) {
    unregistered.push_back(line.substr(std::string("Unregister Logger ").size(), 4));
  }
  EXPECT_EQ(unregistered, (std::vector<std::string>{"{U0}", "{U1}", "{U2}", "{U3}", "{U4}", "{U5}",
                                                    "{U6}", "{U7}", "{U8}", "{U9}"}));
  EXPECT_TRUE(FLog.WaitUntil([&] { return FQueue.IsEmpty(); }));
  EXPECT_EQ(TRecordingSink::Instance().Records(), std::vector<std::string>{"Gate 2 held"});
  EXPECT_EQ(FLog.Entries().size(), 10u);
}

TEST_F(DispatchThreadTest, LostSignalIsRepairedByTheTimeout) {
  ASSERT_EQ(FRegistry.RegisterDispatchID("G", "Gate", 0), 1);
  ASSERT_EQ(FRegistry.RegisterDispatchID("V", "Viewer", 0), 1);
  TRecordingSink::Instance().CloseGate();
  Add(2, "G", "held");
  ASSERT_TRUE(FLog.WaitUntil([] { return TRecordingSink::Instance().SomeoneWaiting(); }));
  // A message whose signal is lost: linked, but the event is clear when the thread looks.
  Add(2, "V", "late");
  FEvent.Reset();
  TRecordingSink::Instance().OpenGate();
  ASSERT_TRUE(WaitForRecords(2));
  EXPECT_EQ(TRecordingSink::Instance().Records(),
            (std::vector<std::string>{"Gate 2 held", "Viewer 2 late"}));
  EXPECT_TRUE(FLog.Entries().empty());
}

TEST(DispatchThreadWithoutMainLoopTest, EndsAtOnceWithoutTakingMessages) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  TBxDispatchIDList registry;
  queue.AddMessage(*Message(2, "X", "x"));
  TBxDispatchThread thread(queue, event, registry);
  thread.WaitFor();
  EXPECT_FALSE(queue.IsEmpty());
  EXPECT_TRUE(thread.PriorityHandle().IsValid());
}

}  // namespace
}  // namespace bx
