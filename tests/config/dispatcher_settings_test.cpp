#include "config/dispatcher_settings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "config/paths.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::ReadFile;
using test::TTempHome;
using test::WriteFile;

const std::string kBom = "\xEF\xBB\xBF";

TBxDispatcherSettings LoadText(const TTempHome& home, const std::string& text) {
  WriteFile(home / "s.ini", text);
  TBxDispatcherSettings settings(home / "s.ini");
  settings.LoadSettings();
  return settings;
}

TEST(DispatcherSettingsTest, MissingFileGivesDefaultsAndIsCreatedEmpty) {
  TTempHome home;
  TBxDispatcherSettings settings;
  EXPECT_EQ(settings.SettingsFileName(),
            home.Path() + "/common/Korvane/Brevix/4.0/BxDispatcher.ini");
  EXPECT_TRUE(settings.CanModify);
  EXPECT_EQ(ReadFile(settings.SettingsFileName()), "");
  settings.LoadSettings();
  EXPECT_EQ(settings.UIMode, 0);
  EXPECT_EQ(settings.TCPPort, 3434);
  EXPECT_EQ(settings.UDPPort, 3435);
  EXPECT_FALSE(settings.MonitorPorts || settings.Disabled || settings.RestrictFolders);
  EXPECT_TRUE(settings.NamedPaths.empty());
  EXPECT_EQ(settings.Categories.Count(), 0);
  EXPECT_TRUE(settings.BlockedMessages.none());
}

TEST(DispatcherSettingsTest, RoundTripWritesTheExpectedBytes) {
  TTempHome home;
  const std::string handWritten =
      "; settings of the test machine\n"
      "[Dispatcher]\n"
      "Disabled = 1\n"
      "BlockedMessages=" +
      std::string(48, '1') +
      "\n"
      "\n"
      "[Main]\n"
      "DestinationDetails=File[Path=/logs/main.bxl];Viewer\n"
      "[NamedPaths]\n"
      "Logs=/var/log/bx\n"
      "restrictfolders=1\n"
      "Data = /data \n"
      "[categories]\n"
      "b=1\n"
      "A=yes\n"
      "c=2\n"
      "B=0\n"
      "[Ports]\n"
      "TCPPort=0x10\n"
      "UDPPort=oops\n"
      "MonitorPorts=1\n"
      "Extra=kept\n"
      "[Settings]\n"
      "UIMode=258\n";
  TBxDispatcherSettings settings = LoadText(home, handWritten);
  EXPECT_EQ(settings.UIMode, 2);
  EXPECT_TRUE(settings.Disabled);
  EXPECT_EQ(settings.BlockedMessages.count(), 48u);
  EXPECT_EQ(settings.BlockedMessageCount(), 46);
  EXPECT_EQ(settings.NamedPaths,
            (std::vector<std::string>{"Logs=/var/log/bx", "restrictfolders=1", "Data=/data"}));
  EXPECT_TRUE(settings.RestrictFolders);  // the same line read as the flag
  ASSERT_EQ(settings.Categories.Count(), 3);
  EXPECT_EQ(settings.Categories.Text(0), "A");
  EXPECT_EQ(settings.Categories.Text(1), "b");
  EXPECT_EQ(settings.Categories.Text(2), "c");
  EXPECT_FALSE(settings.Categories.IsCategoryBlocked("a"));  // "yes" is not "1"
  EXPECT_TRUE(settings.Categories.IsCategoryBlocked("B"));   // first line of b wins
  EXPECT_FALSE(settings.Categories.IsCategoryBlocked("c"));  // "2" is not "1"
  EXPECT_EQ(settings.TCPPort, 16);
  EXPECT_EQ(settings.UDPPort, 3435);
  EXPECT_TRUE(settings.MonitorPorts);
  std::string alias;
  ASSERT_TRUE(settings.ReadLoadedValue("MAIN", "destinationdetails", alias));
  EXPECT_EQ(alias, "File[Path=/logs/main.bxl];Viewer");

  ASSERT_TRUE(settings.SaveSettings());
  const std::string expected = kBom +
                               "[Dispatcher]\r\n"
                               "Disabled=1\r\n"
                               "BlockedMessages=" +
                               std::string(46, '1') +
                               "\r\n"
                               "\r\n"
                               "[Main]\r\n"
                               "DestinationDetails=File[Path=/logs/main.bxl];Viewer\r\n"
                               "\r\n"
                               "[Ports]\r\n"
                               "TCPPort=16\r\n"
                               "UDPPort=3435\r\n"
                               "MonitorPorts=1\r\n"
                               "Extra=kept\r\n"
                               "\r\n"
                               "[Settings]\r\n"
                               "UIMode=2\r\n"
                               "\r\n"
                               "[Categories]\r\n"
                               "A=0\r\n"
                               "b=1\r\n"
                               "c=0\r\n"
                               "\r\n"
                               "[NamedPaths]\r\n"
                               "Logs=/var/log/bx\r\n"
                               "RestrictFolders=1\r\n"
                               "Data=/data\r\n"
                               "\r\n";
  EXPECT_EQ(ReadFile(home / "s.ini"), expected);

  // After the next load types 46 and 47 are forwarded, and the saved "RestrictFolders" line
  // (now spelt exactly) is the flag only, so the next save moves it to the end.
  TBxDispatcherSettings again(home / "s.ini");
  again.LoadSettings();
  EXPECT_FALSE(again.BlockedMessages.test(46) || again.BlockedMessages.test(47));
  EXPECT_EQ(again.NamedPaths, (std::vector<std::string>{"Logs=/var/log/bx", "Data=/data"}));
  EXPECT_TRUE(again.RestrictFolders);
  ASSERT_TRUE(again.SaveSettings());
  std::string normalised = expected;
  const std::string before = "RestrictFolders=1\r\nData=/data\r\n";
  normalised.replace(normalised.find(before), before.size(), "Data=/data\r\nRestrictFolders=1\r\n");
  EXPECT_EQ(ReadFile(home / "s.ini"), normalised);
}

TEST(DispatcherSettingsTest, FirstSaveOfANewFileHasTheDocumentedOrder) {
  TTempHome home;
  TBxDispatcherSettings settings(home / "new.ini");
  settings.LoadSettings();
  settings.UIMode = 2;
  settings.Categories.AddCategory("Network", false);
  settings.Categories.AddCategory("Database", true);
  settings.MonitorPorts = true;
  settings.NamedPaths.push_back("Logs=/srv/logs");
  settings.BlockedMessages.set(0);
  settings.BlockedMessages.set(45);
  ASSERT_TRUE(settings.SaveSettings());
  EXPECT_EQ(ReadFile(home / "new.ini"),
            kBom +
                "[Settings]\r\nUIMode=2\r\n\r\n[Categories]\r\nDatabase=1\r\nNetwork=0\r\n\r\n"
                "[Ports]\r\nMonitorPorts=1\r\nTCPPort=3434\r\nUDPPort=3435\r\n\r\n"
                "[NamedPaths]\r\nLogs=/srv/logs\r\nRestrictFolders=0\r\n\r\n"
                "[Dispatcher]\r\nDisabled=0\r\nBlockedMessages=1" +
                std::string(44, '0') + "1\r\n\r\n");
}

TEST(DispatcherSettingsTest, NamedPathLinesWithoutEqualsAreKeptAndWrittenBack) {
  TTempHome home;
  TBxDispatcherSettings settings =
      LoadText(home,
               "[NamedPaths]\nLogs=/srv/logs\nbare folder line\nRestrictFolders=1\n"
               "Data=/data\n");
  // Every line is a named path, the one without "=" too; only the switch is not.
  EXPECT_EQ(settings.NamedPaths,
            (std::vector<std::string>{"Logs=/srv/logs", "bare folder line", "Data=/data"}));
  EXPECT_TRUE(settings.RestrictFolders);
  ASSERT_TRUE(settings.SaveSettings());
  const std::string saved = ReadFile(home / "s.ini");
  EXPECT_NE(saved.find("[NamedPaths]\r\nLogs=/srv/logs\r\nbare folder line\r\nData=/data\r\n"
                       "RestrictFolders=1\r\n"),
            std::string::npos)
      << saved;
  TBxDispatcherSettings again(home / "s.ini");
  again.LoadSettings();
  EXPECT_EQ(again.NamedPaths, settings.NamedPaths);
}

TEST(DispatcherSettingsTest, BlockedMessagesEncoding) {
  using S = TBxDispatcherSettings;
  EXPECT_EQ(S::ParseBlockedMessages("1"), TBxMessageTypeSet(1));
  EXPECT_EQ(S::ParseBlockedMessages("01"), TBxMessageTypeSet(2));
  EXPECT_EQ(S::ParseBlockedMessages("x1Y1"), TBxMessageTypeSet(0b1010));
  EXPECT_EQ(S::ParseBlockedMessages(std::string(60, '1')).count(), 48u);
  TBxMessageTypeSet all;
  all.set();
  EXPECT_EQ(S::BlockedMessagesToString(all), std::string(46, '1'));
  EXPECT_EQ(S::BlockedMessagesToString({}), std::string(46, '0'));
  TBxMessageTypeSet some;
  some.set(3);
  some.set(47);
  EXPECT_EQ(S::BlockedMessagesToString(some), "0001" + std::string(42, '0'));
}

TEST(DispatcherSettingsTest, GarbageAndBrokenFilesLoadAsDefaults) {
  TTempHome home;
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 2654435761u) >> 24);
  for (const std::string& text :
       {garbage, std::string("[Settings]\r\nUIMode"), std::string(1 << 20, '['),
        std::string("[Ports]\nTCPPort=99999999999\nUDPPort=-\n[Settings]\nUIMode=-1")}) {
    TBxDispatcherSettings settings = LoadText(home, text);
    EXPECT_EQ(settings.TCPPort, 3434);
    EXPECT_EQ(settings.UDPPort, 3435);
    EXPECT_TRUE(settings.UIMode == 0 || settings.UIMode == 255);
    EXPECT_TRUE(settings.SaveSettings());
  }
}

TEST(DispatcherSettingsTest, UnwritableFileOrFolderLeavesCanModifyFalse) {
  TTempHome home;
  TBxDispatcherSettings none(home / "no/such/folder/s.ini");
  EXPECT_FALSE(none.CanModify);
  EXPECT_FALSE(test::FileExists(home / "no"));
  none.LoadSettings();
  EXPECT_FALSE(none.SaveSettings());
  EXPECT_FALSE(WriteInitialUIMode(1, home / "no/such/folder/s.ini"));
  EXPECT_FALSE(test::FileExists(home / "no"));

  if (geteuid() == 0) GTEST_SKIP() << "root ignores permissions";
  WriteFile(home / "ro/s.ini", "[Settings]\r\nUIMode=1\r\n");
  ASSERT_EQ(chmod((home / "ro").c_str(), 0555), 0);
  TBxDispatcherSettings readOnly(home / "ro/s.ini");
  EXPECT_FALSE(readOnly.CanModify);
  readOnly.LoadSettings();
  EXPECT_EQ(readOnly.UIMode, 1);
  EXPECT_FALSE(WriteInitialUIMode(2, home / "ro/s.ini"));
  ASSERT_EQ(chmod((home / "ro").c_str(), 0755), 0);
  EXPECT_EQ(ReadFile(home / "ro/s.ini"), "[Settings]\r\nUIMode=1\r\n");
}

TEST(DispatcherSettingsTest, InitSwitchEditsChangeOnlyTheirKey) {
  TTempHome home;
  std::string file = DefaultSettingsFileName();
  ASSERT_TRUE(WriteInitialMonitorPorts());
  EXPECT_EQ(ReadFile(file), kBom + "[Ports]\r\nMonitorPorts=1\r\n\r\n");
  WriteFile(file, "[Settings]\r\nUIMode=2\r\n; note\r\n[Alias]\r\nDestinationDetails=Viewer\r\n");
  ASSERT_TRUE(WriteInitialUIMode(0));
  EXPECT_EQ(ReadFile(file),
            kBom + "[Settings]\r\nUIMode=0\r\n\r\n[Alias]\r\nDestinationDetails=Viewer\r\n\r\n");
}

TEST(DispatcherSettingsTest, NamedPathsAndTheFolderRestriction) {
  TBxDispatcherSettings settings{TBxDispatcherSettings::TDefaultsOnly{}};
  settings.NamedPaths = {"Logs=/var/Logs", "Other=/srv/x"};
  EXPECT_TRUE(settings.IsPathAllowed("/anything"));  // restriction off
  settings.RestrictFolders = true;
  EXPECT_TRUE(settings.IsPathAllowed("/var/Logs/a.bxl"));
  EXPECT_TRUE(settings.IsPathAllowed("/var/Logs/"));
  EXPECT_TRUE(settings.IsPathAllowed("/var/LogsOld/a.bxl"));  // a plain prefix test
  EXPECT_FALSE(settings.IsPathAllowed("/var/logs/a.bxl"));    // with case
  EXPECT_FALSE(settings.IsPathAllowed("/var/Log"));
  EXPECT_FALSE(settings.IsPathAllowed("/var/Logs/../../etc/passwd"));
  EXPECT_FALSE(settings.IsPathAllowed("/var/Logs/.."));
  EXPECT_TRUE(settings.IsPathAllowed("/var/Logs/..a/b"));
  std::string path;
  ASSERT_TRUE(settings.FindNamedPath("LOGS", path));
  EXPECT_EQ(path, "/var/Logs");
  EXPECT_FALSE(settings.FindNamedPath("Log", path));
  settings.NamedPaths.push_back("Empty=");
  EXPECT_TRUE(settings.IsPathAllowed("/anywhere/a.bxl"));
  settings.NamedPaths.clear();
  EXPECT_FALSE(settings.IsPathAllowed("/var/Logs/a.bxl"));
}

}  // namespace
}  // namespace bx
