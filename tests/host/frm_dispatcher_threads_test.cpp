// The hub in-process: start-up entries, the work-load timer and the tray model, the menu
// commands, the window messages and the stop. The timer's step is called directly; the
// dispatch thread is real, so these tests also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/registry.h"
#include "core/dispatch_core.h"
#include "host/frm_dispatcher.h"
#include "messages/message_format.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/log_entry.h"
#include "platform/message_loop.h"
#include "receivers/dispatcher_window_messages.h"
#include "support/free_port.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::FileExists;
using test::FreeTcpPort;
using test::FreeUdpPort;
using test::ReadFile;
using test::TTempHome;
using test::WriteFile;

// A desktop face that records what the hub asks of it.
class TRecordingView : public TTrayView {
 public:
  bool TrayAvailable() override { return true; }
  bool NotifiesTaskbarCreated() override { return true; }
  bool ShellPresent() override { return true; }
  void AddIcon(int index, const std::string&) override {
    Calls.push_back("add " + std::to_string(index));
  }
  void ModifyIcon(int index, const std::string&) override {
    Calls.push_back("modify " + std::to_string(index));
  }
  void DeleteIcon() override { Calls.push_back("delete"); }
  void PopupMenu(const TTrayMenu&) override { Calls.push_back("popup"); }
  void ShowLogWindow(const TFrmDispatcherLog&) override { LogVisible = true; }
  bool LogWindowVisible() override { return LogVisible; }
  void LogEntryAdded(const TDispatcherLogEntry&) override {}
  bool ConfirmEmptyQueue() override { return ConfirmAnswer; }
  void ShowSettingsDialog(std::function<void()>) override { Calls.push_back("settings"); }
  void ShowAbout() override {}

  std::vector<std::string> Calls;
  bool LogVisible = false;
  bool ConfirmAnswer = true;
};

class FrmDispatcherTest : public ::testing::Test {
 protected:
  FrmDispatcherTest() : FClock(TDateTime{2024, 3, 5, 14, 7, 9, 42}) { SetMainLoop(&FLoop); }
  ~FrmDispatcherTest() override {
    FHub.reset();
    SetMainLoop(nullptr);
  }

  std::string SettingsPath() const { return FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini"; }
  std::string LogPath() const { return FHome / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt"; }
  void WriteSettings(const std::string& text) {
    std::string error;
    CreateFolderChain(FHome / "common/Korvane/Brevix/4.0", &error);
    WriteFile(SettingsPath(), text);
  }

  void Create() {
    TFrmDispatcherOptions options;
    options.Clock = &FClock;
    options.View = &FView;
    FHub = std::make_unique<TFrmDispatcher>(FLoop, std::move(options));
    Pump();
  }
  // Handles what is queued, including what the handled messages post in turn.
  void Pump() {
    for (int i = 0; i < 5; ++i) FLoop.ProcessPending();
  }
  // Entries as "Level: text", without date and time.
  std::vector<std::string> Lines() {
    Pump();
    std::vector<std::string> lines;
    for (const TDispatcherLogEntry& e : FHub->Log().Entries()) {
      lines.push_back(std::string(LogLevelName(e.Level)) + ": " + e.Text);
    }
    return lines;
  }
  void AddMessages(int count) {
    TDispatchMessagePtr message = BuildDispatchMessage({});
    for (int i = 0; i < count; ++i) MessageQueue()->AddMessage(*message);
  }
  bool WaitForEmptyQueue() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!MessageQueue()->IsEmpty()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
      Pump();
    }
    return true;
  }
  TThreadPriority DispatchPriority() {
    return GetThreadPriority(FHub->DispatchThread()->PriorityHandle());
  }

  TTempHome FHome;
  TFakeClock FClock;
  TMessageLoop FLoop;
  TRecordingView FView;
  std::unique_ptr<TFrmDispatcher> FHub;
};

TEST_F(FrmDispatcherTest, StartUpWritesTheLogFileAndTheSettingsSummary) {
  WriteSettings(
      "[Settings]\nUIMode=2\n[Categories]\nAlpha=1\nBeta=0\n[NamedPaths]\nLogs=/srv/logs\n"
      "Temp=/tmp/x\nRestrictFolders=1\n[Dispatcher]\nDisabled=0\n"
      "BlockedMessages=0010000000000000000000000000000000000000000001\n");
  Create();
  EXPECT_EQ(FrmDispatcher(), FHub.get());
  EXPECT_EQ(FHub->Caption(), "Brevix Dispatcher");
  const std::vector<std::string> expected = {
      "Info: Dispatcher has been started",
      "Info: Default Receiver Started",
      "Info: Loading Saved Dispatch IDs (0): " + FHome.Path() +
          "/user/Korvane/Brevix/4.0/BxDispatchIDs.ini",
      "Setting: Enabled;  UIMode=Unrestricted;  MonitorPorts=OFF;  FolderVariables=2;  "
      "RestrictFolders=Yes;  Categories=2;  BlockedMessages=2;  ",
      "Setting: Folder Variable 1:  Logs=/srv/logs",
      "Setting: Folder Variable 2:  Temp=/tmp/x",
      "Setting: Category 1:  Alpha (Blocked)",
      "Setting: Category 2:  Beta (UnBlocked)",
      "Setting: Blocked Messages:  0010000000000000000000000000000000000000000001",
  };
  EXPECT_EQ(Lines(), expected);

  const std::string file = ReadFile(LogPath());
  const std::string header = "\xEF\xBB\xBFMsgType\tDate\t\tTime\t\tMessage\r\n";
  EXPECT_EQ(file.substr(0, header.size()), header);
  EXPECT_NE(file.find("Info\t"), std::string::npos);
  EXPECT_NE(file.find("\t14:07:09.042\tDispatcher has been started\r\n"), std::string::npos);
  std::string registered;
  EXPECT_TRUE(RegistryReadString(TRegistryRoot::CurrentUser, kProductRegistryKey,
                                 "DispatcherLogPath", registered));
  EXPECT_EQ(registered, LogPath());

  // The lookups for destinations go to the published settings and kinds.
  EXPECT_TRUE(TFrmDispatcher::IsPathAllowed("/srv/logs/a.bxl"));
  EXPECT_FALSE(TFrmDispatcher::IsPathAllowed("/SRV/logs/a.bxl"));
  EXPECT_TRUE(TFrmDispatcher::FindDestinationClass("file").has_value());
  EXPECT_TRUE(TFrmDispatcher::FindDestinationClass("SYSLOG").has_value());
  EXPECT_FALSE(TFrmDispatcher::FindDestinationClass("Printer").has_value());

  // Unrestricted: every item visible, the disable item offers "&Disable".
  EXPECT_TRUE(FHub->Menu().Item("mnuSettings").Visible);
  EXPECT_TRUE(FHub->Menu().Item("mnuEmptyQueue").Visible);
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").Caption, "&Disable");
}

TEST_F(FrmDispatcherTest, SummaryOfDefaultsAndOfMonitoredPorts) {
  const uint16_t tcp = FreeTcpPort();
  const uint16_t udp = FreeUdpPort();
  WriteSettings("[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(tcp) +
                "\nUDPPort=" + std::to_string(udp) + "\n[Dispatcher]\nDisabled=1\n");
  Create();
  const std::vector<std::string> lines = Lines();
  const std::string summary =
      "Setting: Disabled;  UIMode=Restricted;  MonitorPorts=" + std::to_string(tcp) + "," +
      std::to_string(udp) +
      ";  FolderVariables=0;  RestrictFolders=No;  Categories=0;  "
      "BlockedMessages=0;  ";
  EXPECT_NE(std::find(lines.begin(), lines.end(), summary), lines.end())
      << ::testing::PrintToString(lines);
  EXPECT_EQ(lines.back(), summary);  // nothing blocked, no folders, no categories
  ASSERT_NE(FHub->TcpReceiver(), nullptr);
  ASSERT_NE(FHub->UdpReceiver(), nullptr);
  EXPECT_EQ(FHub->TcpReceiver()->GetPort(), tcp);
  EXPECT_TRUE(FHub->TcpReceiver()->Listening());
  // Restricted: no settings, empty-queue or disable items; disabled shows "&Enable".
  EXPECT_FALSE(FHub->Menu().Item("mnuSettings").Visible);
  EXPECT_FALSE(FHub->Menu().Item("mnuDisable").Visible);
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").Caption, "&Enable");
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").ImageIndex, 5);
  EXPECT_TRUE(MessageQueue()->Disabled.load());
}

TEST_F(FrmDispatcherTest, WorkLoadChoosesPrioritiesAndIcons) {
  WriteSettings("[Settings]\nUIMode=1\n");
  Create();
  // Before the dispatch thread exists only the counter is reset.
  AddMessages(3);
  FHub->MonitorWorkLoad();
  EXPECT_EQ(MessageQueue()->MessageCount(), 0);
  EXPECT_EQ(FHub->CurrentIconIndex(), -1);

  FHub->StartDispatcher(false);
  EXPECT_EQ(FView.Calls, std::vector<std::string>{"add 0"});
  ASSERT_TRUE(WaitForEmptyQueue());

  AddMessages(600);
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 3);
  EXPECT_EQ(DispatchPriority(), TThreadPriority::Lowest);
  EXPECT_EQ(GetThreadPriority(FHub->MainThreadPriority()), TThreadPriority::Higher);
  EXPECT_EQ(MessageQueue()->MessageCount(), 0);

  ASSERT_TRUE(WaitForEmptyQueue());
  FHub->MonitorWorkLoad();  // a quiet interval with an empty queue
  EXPECT_EQ(FHub->CurrentIconIndex(), 0);
  EXPECT_EQ(DispatchPriority(), TThreadPriority::Normal);
  EXPECT_EQ(GetThreadPriority(FHub->MainThreadPriority()), TThreadPriority::Normal);

  AddMessages(11);
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 2);
  EXPECT_EQ(DispatchPriority(), TThreadPriority::Lower);
  ASSERT_TRUE(WaitForEmptyQueue());
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 0);
  EXPECT_EQ(FView.Calls,
            (std::vector<std::string>{"add 0", "modify 3", "modify 0", "modify 2", "modify 0"}));
}

TEST_F(FrmDispatcherTest, DisabledAndErrorIconsTakePrecedence) {
  WriteSettings("[Settings]\nUIMode=2\n");
  Create();
  FHub->StartDispatcher(false);

  FHub->MenuDisable();
  EXPECT_EQ(Lines().back(), "Warning: Dispatcher is Disabled");
  AddMessages(600);  // discarded while disabled
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 5);
  EXPECT_NE(ReadFile(SettingsPath()).find("Disabled=1"), std::string::npos);

  FHub->MenuDisable();
  EXPECT_EQ(Lines().back(), "Info: Dispatcher is Enabled");
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 0);

  // An Error entry while the log window is hidden: icon 4 from the next tick until ShowLog.
  AddLogEntry(TLogLevel::Error, "Something failed");
  Pump();
  EXPECT_TRUE(FHub->ErrorIndicator());
  EXPECT_EQ(FHub->CurrentIconIndex(), 0);
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 4);
  FHub->MenuDisable();
  FHub->MonitorWorkLoad();
  EXPECT_EQ(FHub->CurrentIconIndex(), 4);  // error beats disabled
  FHub->MenuDisable();
  FHub->ShowLog();
  EXPECT_FALSE(FHub->ErrorIndicator());
  EXPECT_EQ(FHub->CurrentIconIndex(), 0);  // restored at once
  // With the log window showing, errors leave the indicator alone.
  AddLogEntry(TLogLevel::Error, "Seen at once");
  Pump();
  EXPECT_FALSE(FHub->ErrorIndicator());
}

TEST_F(FrmDispatcherTest, StealthNeverAddsAnIcon) {
  WriteSettings("[Settings]\nUIMode=0\n");
  Create();
  FHub->StartDispatcher(false);
  AddMessages(600);
  FHub->MonitorWorkLoad();
  AddLogEntry(TLogLevel::Error, "boom");
  Pump();
  FHub->MonitorWorkLoad();
  FHub->TaskbarCreated();
  EXPECT_TRUE(FView.Calls.empty());
  EXPECT_FALSE(FHub->IconAdded());
  EXPECT_EQ(FHub->CurrentIconIndex(), -1);
}

TEST_F(FrmDispatcherTest, EmptyQueueFlowLeavesTheDispatcherDisabled) {
  WriteSettings("[Settings]\nUIMode=2\n");
  Create();
  FView.ConfirmAnswer = false;
  FHub->MenuEmptyQueue();
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").Caption, "&Disable");

  AddMessages(5);
  FHub->TrayCallback(WM_RBUTTONUP);
  EXPECT_TRUE(FHub->Menu().Item("mnuEmptyQueue").Enabled);
  EXPECT_EQ(FView.Calls.back(), "popup");

  FView.ConfirmAnswer = true;
  FHub->MenuEmptyQueue();
  EXPECT_EQ(Lines().back(), "Warning: Emptying Message Queue");
  EXPECT_TRUE(FHub->Settings()->Disabled);
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").Caption, "&Enable");
  EXPECT_EQ(FHub->Menu().Item("mnuDisable").ImageIndex, 5);
  FHub->StartDispatcher(false);  // the dispatch thread serves the request
  ASSERT_TRUE(WaitForEmptyQueue());
  FHub->PrepareMenu();
  EXPECT_FALSE(FHub->Menu().Item("mnuEmptyQueue").Enabled);

  FHub->TrayCallback(WM_LBUTTONDBLCLK);
  EXPECT_EQ(FView.Calls.back(), "settings");
}

TEST_F(FrmDispatcherTest, WindowMessagesAndServiceStart) {
  Create();
  EXPECT_EQ(FLoop.Send(kWmIsService), 0);
  FLoop.Post(kWmStartDispatcher, 1, 0);
  FHub->ServiceLogonName = "svc-user";
  Pump();
  EXPECT_EQ(FLoop.Send(kWmIsService), 1);
  EXPECT_NE(FHub->DispatchThread(), nullptr);
  EXPECT_FALSE(FHub->Menu().Item("mnuViewLog").Visible);
  EXPECT_FALSE(FHub->Menu().Item("mnuSepAbout").Visible);
  EXPECT_FALSE(FHub->Menu().Item("mnuStopDispatcher").Visible);
  EXPECT_TRUE(FHub->Menu().Item("mnuHelp").Visible);
  EXPECT_EQ(Lines().back(), "Info: Dispatcher is running as a service. Logged on as: svc-user");
  EXPECT_TRUE(FHub->NoTray() == false);

  // A second start request changes nothing.
  TBxDispatchThread* thread = FHub->DispatchThread();
  FLoop.Post(kWmStartDispatcher, 0, 0);
  Pump();
  EXPECT_EQ(FHub->DispatchThread(), thread);
  EXPECT_TRUE(FHub->RunningAsService());
}

TEST_F(FrmDispatcherTest, ReloadSwitchesPortsAndMonitoring) {
  WriteSettings("[Settings]\nUIMode=1\n");
  Create();
  EXPECT_EQ(FHub->TcpReceiver(), nullptr);
  const uint16_t tcp = FreeTcpPort();
  const uint16_t udp = FreeUdpPort();
  WriteSettings("[Settings]\nUIMode=2\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(tcp) +
                "\nUDPPort=" + std::to_string(udp) + "\n");
  FLoop.Post(kWmReloadSettings);
  Pump();
  ASSERT_NE(FHub->TcpReceiver(), nullptr);
  EXPECT_TRUE(FHub->TcpReceiver()->Listening());
  EXPECT_EQ(FHub->UdpReceiver()->GetPort(), udp);
  EXPECT_TRUE(FHub->Menu().Item("mnuDisable").Visible);

  const uint16_t tcp2 = FreeTcpPort();
  WriteSettings("[Settings]\nUIMode=2\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(tcp2) +
                "\nUDPPort=" + std::to_string(udp) + "\n");
  FHub->ReloadSettings();
  const std::vector<std::string> lines = Lines();
  const std::string switching = "Info: TCP Receiver switching from port " + std::to_string(tcp) +
                                " to port " + std::to_string(tcp2);
  EXPECT_NE(std::find(lines.begin(), lines.end(), switching), lines.end());
  EXPECT_EQ(FHub->TcpReceiver()->GetPort(), tcp2);
  EXPECT_TRUE(FHub->TcpReceiver()->Listening());

  WriteSettings("[Settings]\nUIMode=2\n[Ports]\nMonitorPorts=0\n");
  FHub->ReloadSettings();
  EXPECT_EQ(FHub->TcpReceiver(), nullptr);
  EXPECT_EQ(FHub->UdpReceiver(), nullptr);
}

TEST_F(FrmDispatcherTest, UnwritableSettingsHideTheSettingsItem) {
  // A folder where the settings file should be: it can be neither written nor replaced.
  std::string error;
  CreateFolderChain(SettingsPath(), &error);
  Create();
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines.back(), "Info: User does not have permission to change settings");
  EXPECT_FALSE(FHub->Menu().Item("mnuSettings").Visible);
  EXPECT_FALSE(FHub->Menu().Item("mnuSepSettings").Visible);
  FHub->SetDisabled(true);  // the running state only
  EXPECT_TRUE(MessageQueue()->Disabled.load());
}

TEST_F(FrmDispatcherTest, CloseWritesTheStoppedEntryLastAndEndsTheLoop) {
  WriteSettings("[Settings]\nUIMode=1\n");
  Create();
  FHub->StartDispatcher(false);
  FLoop.Post(WM_CLOSE);
  AddLogEntry(TLogLevel::Info, "late");  // posted before the quit that Close posts
  bool running = true;
  for (int i = 0; i < 5 && running; ++i) running = FLoop.ProcessPending();
  EXPECT_FALSE(running);
  const std::string file = ReadFile(LogPath());
  const std::string last = "\tDispatcher has been stopped\r\n";
  ASSERT_GE(file.size(), last.size());
  EXPECT_EQ(file.substr(file.size() - last.size()), last);
  EXPECT_NE(file.find("\tlate\r\n"), std::string::npos);
  FHub.reset();
  EXPECT_EQ(FView.Calls.back(), "delete");
  EXPECT_EQ(FrmDispatcher(), nullptr);
  EXPECT_EQ(MessageQueue(), nullptr);
  EXPECT_TRUE(FileExists(FHome / "user/Korvane/Brevix/4.0/BxDispatchIDs.ini"));
}

}  // namespace
}  // namespace bx

namespace bx {
namespace {

TEST_F(FrmDispatcherTest, AnEndpointTakenByAnotherProgramIsReportedAfterTheStartEntry) {
  TMessageLoop otherLoop;
  TWindowEndpoint other(TFrmDispatcher::kClassName, TFrmDispatcher::kCaption, otherLoop);
  Create();
  const std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "Info: Dispatcher has been started");
  EXPECT_EQ(lines.back().rfind("Error: ", 0), 0u) << lines.back();
  EXPECT_TRUE(FHub->ErrorIndicator());
}

// What a desktop face posts: menu commands by item index (hidden or disabled items do
// nothing), Clear; without a desktop the missing help file goes to the activity log.
TEST_F(FrmDispatcherTest, MenuCommandsAndClearArriveAsMessages) {
  WriteSettings("[Settings]\nUIMode=1\n");
  Create();
  auto index = [&](const std::string& name) {
    const auto& items = FHub->Menu().Items();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].Name == name) return i;
    }
    return items.size();
  };
  FLoop.Post(kWmMenuCommand, index("mnuDisable"));   // hidden in Restricted mode
  FLoop.Post(kWmMenuCommand, index("mnuSepAbout"));  // a separator
  FLoop.Post(kWmMenuCommand, 1000);                  // no such item
  FLoop.Post(kWmMenuCommand, index("mnuHelp"));
  EXPECT_EQ(Lines().back(), "Error: Brevix Help File (Brevix4.chm) could not be found.");
  EXPECT_FALSE(FHub->Settings()->Disabled);

  WriteSettings("[Settings]\nUIMode=2\n");
  FLoop.Post(kWmReloadSettings);
  FLoop.Post(kWmMenuCommand, index("mnuEmptyQueue"));  // disabled: the queue is empty
  FLoop.Post(kWmMenuCommand, index("mnuDisable"));
  EXPECT_EQ(Lines().back(), "Warning: Dispatcher is Disabled");
  EXPECT_TRUE(FHub->Settings()->Disabled);
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Warning: Emptying Message Queue"), 0);
  FLoop.Post(kWmMenuCommand, index("mnuViewLog"));
  Pump();
  EXPECT_TRUE(FView.LogVisible);

  FLoop.Post(kWmClearLog);
  Pump();
  EXPECT_EQ(FHub->Log().Count(), 0u);
  EXPECT_EQ(ReadFile(LogPath()), "\xEF\xBB\xBFMsgType\tDate\t\tTime\t\tMessage\r\n");
  FLoop.Post(kWmMenuCommand, index("mnuStopDispatcher"));
  Pump();
  EXPECT_TRUE(FHub->Closing());
}

}  // namespace
}  // namespace bx

namespace bx {
namespace {

TEST_F(FrmDispatcherTest, AFullQueueMakesTheEndpointAnswerZeroAndTheDropsAreCountedOnceASecond) {
  WriteSettings("[Settings]\nUIMode=1\n[Dispatcher]\nMaxQueueMemoryMB=1\n");
  Create();  // not started: nothing drains the queue
  EXPECT_EQ(MessageQueue()->MemoryLimit(), 1024 * 1024);
  TDispatchMessageFields f;
  f.MsgType = 1;
  f.DispatchID = "{Q}";
  const TDispatchMessagePtr record = BuildDispatchMessage(f);
  TLoopMessage copyData;
  copyData.Msg = WM_COPYDATA;
  copyData.LParam = static_cast<uint32_t>(bxmUTF8MessageFormat);
  copyData.Data.assign(reinterpret_cast<const char*>(record.get()),
                       static_cast<size_t>(DispatchMessageSize(*record)));

  EXPECT_EQ(FHub->HandleMessage(copyData), 1);  // below the limit nothing changes
  while (!MessageQueue()->IsFull()) MessageQueue()->AddMessage(*record);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FHub->HandleMessage(copyData), 0);

  const size_t before = Lines().size();
  FHub->MonitorWorkLoad();  // half a second: not yet
  EXPECT_EQ(Lines().size(), before);
  FHub->MonitorWorkLoad();
  EXPECT_EQ(Lines().back(), "Warning: Message Queue Full: 3 messages dropped (limit 1 MB)");
  FHub->MonitorWorkLoad();
  FHub->MonitorWorkLoad();  // nothing dropped in this second: no entry
  EXPECT_EQ(Lines().size(), before + 1);

  // Without a running dispatch thread the stop delivers nothing; what it throws away is counted.
  const int64_t queued = MessageQueue()->QueuedBytes() /
                         (DispatchMessageSize(*record) + TBxMessageQueue::kMessageOverhead);
  EXPECT_EQ(FHub->HandleMessage(copyData), 0);
  FHub.reset();
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("Message Queue Full: 1 messages dropped (limit 1 MB)"), std::string::npos);
  EXPECT_NE(log.find(std::to_string(queued) + " queued messages discarded at stop"),
            std::string::npos)
      << log;
}

TEST_F(FrmDispatcherTest, StopDeliversTheBacklogBeforeTheDispatchThreadEnds) {
  const std::string file = FHome / "backlog.bxl";
  WriteSettings("[Settings]\nUIMode=1\n");
  Create();
  ASSERT_EQ(DispatchIDList()->RegisterDispatchID("{B}", "File[Path=" + file + "]", 0), 1);
  TDispatchMessageFields f;
  f.MsgType = 1;
  f.DispatchID = "{B}";
  const TDispatchMessagePtr record = BuildDispatchMessage(f);
  constexpr int kCount = 2000;
  for (int i = 0; i < kCount; ++i) MessageQueue()->AddMessage(*record);
  FHub->StartDispatcher(false);
  FHub.reset();  // at once: most of the backlog is still queued
  EXPECT_EQ(std::filesystem::file_size(file), static_cast<uintmax_t>(kCount * (4 + 202)));
  EXPECT_EQ(ReadFile(LogPath()).find("discarded at stop"), std::string::npos);
}

}  // namespace
}  // namespace bx
