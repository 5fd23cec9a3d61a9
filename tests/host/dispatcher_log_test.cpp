#include "host/dispatcher_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "config/registry.h"
#include "support/temp_home.h"

namespace bx {
namespace {

const std::string kHeaderBytes = "\xEF\xBB\xBFMsgType\tDate\t\tTime\t\tMessage\r\n";

// The program never calls setlocale(LC_TIME, ""), so the short date is the C locale's %m/%d/%y.
TDateTime At(int hour, int minute, int second, int ms) {
  return TDateTime{2024, 3, 5, hour, minute, second, ms};
}

TEST(DispatcherLogTest, FileHoldsBomHeaderThenOneTabbedUtf8LinePerEntry) {
  test::TTempHome home;
  const std::string path = home / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt";
  TFrmDispatcherLog log;
  log.StartLogFile(path);  // the folder does not exist yet
  EXPECT_EQ(log.LogFilePath(), path);
  EXPECT_EQ(test::ReadFile(path), kHeaderBytes);
  // Other programs find the log through the per-user registry value.
  std::string recorded;
  ASSERT_TRUE(RegistryReadString(TRegistryRoot::CurrentUser, "Software\\Korvane\\Brevix\\4.0",
                                 "DispatcherLogPath", recorded));
  EXPECT_EQ(recorded, path);

  log.AddEntry(TLogLevel::Warning, "Queue emptied", At(7, 8, 9, 45));
  log.AddEntry(TLogLevel::Info,
               "Gr\xC3\xBC\xC3\x9F"
               "e \xE2\x82\xAC 5",
               At(23, 59, 59, 999));
  log.AddEntry(TLogLevel::Setting, "", At(0, 0, 0, 0));
  EXPECT_EQ(test::ReadFile(path), kHeaderBytes +
                                      "Warning\t03/05/24\t07:08:09.045\tQueue emptied\r\n"
                                      "Info\t03/05/24\t23:59:59.999\tGr\xC3\xBC\xC3\x9F"
                                      "e \xE2\x82\xAC 5\r\n"
                                      "Setting\t03/05/24\t00:00:00.000\t\r\n");
  ASSERT_EQ(log.Count(), 3u);
  EXPECT_EQ(log.Entries()[0].Level, TLogLevel::Warning);
  EXPECT_EQ(log.Entries()[0].DateText, "03/05/24");
  EXPECT_EQ(log.Entries()[0].TimeText, "07:08:09.045");
  EXPECT_EQ(log.Entries()[0].Text, "Queue emptied");
}

TEST(DispatcherLogTest, CopyTextClearAndRestartingTheFile) {
  test::TTempHome home;
  TFrmDispatcherLog log;
  EXPECT_EQ(log.CopyText(), "");
  // Without a started file the entries live in the model only.
  log.AddEntry(TLogLevel::Reg, "before start", At(1, 2, 3, 4));
  EXPECT_EQ(log.Count(), 1u);

  const std::string first = home / "first.txt";
  log.StartLogFile(first);
  EXPECT_EQ(log.Count(), 0u);
  log.AddEntry(TLogLevel::Reg, "one", At(1, 2, 3, 4));
  log.AddEntry(TLogLevel::Error, "two", At(10, 20, 30, 400));
  EXPECT_EQ(log.CopyText(),
            "Reg\t03/05/24\t01:02:03.004\tone\r\nError\t03/05/24\t10:20:30.400\ttwo\r\n");

  log.Clear();
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(log.CopyText(), "");
  EXPECT_EQ(test::ReadFile(first), kHeaderBytes);
  log.AddEntry(TLogLevel::Unreg, "three", At(1, 2, 3, 4));
  EXPECT_EQ(test::ReadFile(first), kHeaderBytes + "Unreg\t03/05/24\t01:02:03.004\tthree\r\n");

  // A restart (the next run of the dispatcher) begins with only the header again.
  log.StartLogFile(first);
  EXPECT_EQ(test::ReadFile(first), kHeaderBytes);
  const std::string second = home / "second.txt";
  log.StartLogFile(second);
  std::string recorded;
  ASSERT_TRUE(RegistryReadString(TRegistryRoot::CurrentUser, "Software\\Korvane\\Brevix\\4.0",
                                 "DispatcherLogPath", recorded));
  EXPECT_EQ(recorded, second);
  log.AddEntry(TLogLevel::Info, "four", At(1, 2, 3, 4));
  EXPECT_EQ(test::ReadFile(second), kHeaderBytes + "Info\t03/05/24\t01:02:03.004\tfour\r\n");
  EXPECT_EQ(test::ReadFile(first), kHeaderBytes);
}

TEST(DispatcherLogTest, AFailedWriteThrowsKeepsTheEntryAndLaterEntriesAreTried) {
  test::TTempHome home;
  const std::string path = home / "BxDispatcherLog.txt";
  TFrmDispatcherLog log;
  log.StartLogFile(path);
  // The file's place is taken by a folder: opening it for appending fails.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  try {
    log.AddEntry(TLogLevel::Error, "lost on disk", At(1, 2, 3, 4));
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), path + ": Is a directory");
  }
  EXPECT_EQ(log.Count(), 1u);
  // Once the obstacle is gone the next entry is written (the file is created anew).
  std::filesystem::remove(path);
  log.AddEntry(TLogLevel::Info, "written", At(1, 2, 3, 5));
  EXPECT_EQ(test::ReadFile(path), "Info\t03/05/24\t01:02:03.005\twritten\r\n");
  EXPECT_EQ(log.Count(), 2u);

  // A log file that cannot be created at all throws from StartLogFile.
  test::WriteFile(home / "plain", "x");
  EXPECT_THROW(log.StartLogFile(home / "plain/BxDispatcherLog.txt"), std::runtime_error);
}

}  // namespace
}  // namespace bx
