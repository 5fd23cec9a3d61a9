#include "core/dispatch_id_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/ini_file.h"
#include "core/dispatch_list.h"
#include "platform/file_access.h"
#include "platform/folders.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TTempHome;
using test::TTestKinds;

constexpr TDateTime kDay{2024, 3, 10, 12, 0, 0, 0};
const int32_t kSerial = DateToSerialDay(2024, 3, 10);

class DispatchIDListTest : public ::testing::Test {
 protected:
  TBxIniFile File() { return TBxIniFile(TBxDispatchIDList::FileName()); }
  std::string Registered(const std::string& id) {
    auto lock = FList.LockForTest();
    const int index = FList.Find(lock, id);
    return index < 0 ? "-" : TBxDispatchIDList::DestinationText(*FList.Objects(lock, index));
  }
  int Count() {
    auto lock = FList.LockForTest();
    return FList.Count(lock);
  }

  TTempHome FHome;
  TTestKinds FKinds;
  TLogCapture FLog;
  TFakeClock FClock{kDay};
  TBxDispatchIDList FList{FClock};
};

TEST_F(DispatchIDListTest, RegistrationIsStoredOnceAndItsSectionWrittenOnce) {
  EXPECT_EQ(FList.RegisterDispatchID("{AB-CD}", "Viewer", kConnectionTcp), 1);
  TBxIniFile ini = File();
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"{AB-CD}"});
  EXPECT_EQ(ini.ReadString("{AB-CD}", "DestinationString", ""), "Viewer");
  EXPECT_EQ(ini.ReadInteger("{AB-CD}", "ConnectionMethod", -1), 1);
  EXPECT_EQ(ini.ReadInteger("{AB-CD}", "FirstRegisteredOn", -1), kSerial);

  // The same ID in other case: the first registration stays, and so does its section, even
  // when its date says otherwise than a fresh write would.
  ini.WriteInteger("{AB-CD}", "FirstRegisteredOn", kSerial - 1);
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(FList.RegisterDispatchID("{ab-cd}", "File[Path=x],Viewer", kConnectionUdp), 1);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Registered("{AB-cd}"), "Viewer");
  ini = File();
  EXPECT_EQ(ini.ReadString("{AB-CD}", "DestinationString", ""), "Viewer");
  EXPECT_EQ(ini.ReadInteger("{AB-CD}", "FirstRegisteredOn", -1), kSerial - 1);
  EXPECT_EQ(ini.ReadInteger("{AB-CD}", "ConnectionMethod", -1), 1);
}

TEST_F(DispatchIDListTest, OneUsableDestinationIsStoredItselfSeveralAsAListNoneNotAtAll) {
  EXPECT_EQ(FList.RegisterDispatchID("one", "Fiel,File[Path=a]", kConnectionCopyData), 1);
  EXPECT_EQ(FList.RegisterDispatchID("two", "File[Path=a], Viewer", kConnectionCopyData), 1);
  EXPECT_EQ(FList.RegisterDispatchID("none", "Fiel", kConnectionCopyData), 0);
  auto lock = FList.LockForTest();
  EXPECT_EQ(FList.Count(lock), 2);
  EXPECT_EQ(FList.Objects(lock, FList.Find(lock, "one"))->KindName(), "File");
  EXPECT_EQ(TBxDispatchIDList::DestinationText(*FList.Objects(lock, FList.Find(lock, "one"))),
            "File[Path=a]");
  const auto& two = FList.Objects(lock, FList.Find(lock, "two"));
  EXPECT_EQ(two->KindName(), "DispatchList");
  EXPECT_EQ(TBxDispatchIDList::DestinationText(*two), "File[Path=a], Viewer");
  EXPECT_EQ(FList.Find(lock, "none"), -1);
}

TEST_F(DispatchIDListTest, SaveExpiresEntriesFirstWrittenThreeOrMoreDaysAgo) {
  ASSERT_EQ(FList.RegisterDispatchID("old", "Viewer", 0), 1);
  FClock.Set({2024, 3, 11, 0, 0, 0, 0});
  ASSERT_EQ(FList.RegisterDispatchID("newer", "Viewer", 0), 1);
  // A section without a registration goes at the next save.
  TBxIniFile ini = File();
  ini.WriteString("stray", "DestinationString", "Viewer");
  ini.WriteInteger("stray", "FirstRegisteredOn", kSerial + 3);
  ASSERT_TRUE(ini.Save());

  FClock.Set({2024, 3, 12, 23, 59, 59, 999});  // old is today - 2: stays
  FList.SaveDispatchIDs();
  EXPECT_EQ(File().ReadSections(), (std::vector<std::string>{"old", "newer"}));
  EXPECT_EQ(Count(), 2);

  const int destroyedBefore = test::TRecordingSink::Instance().Destroyed.load();
  FClock.Set({2024, 3, 13, 0, 0, 0, 0});  // old is today - 3: goes with its registration
  FList.SaveDispatchIDs();
  EXPECT_EQ(File().ReadSections(), std::vector<std::string>{"newer"});
  EXPECT_EQ(Registered("old"), "-");
  EXPECT_EQ(Registered("newer"), "Viewer");
  EXPECT_EQ(test::TRecordingSink::Instance().Destroyed.load(), destroyedBefore + 1);
}

TEST_F(DispatchIDListTest, LoadRegistersSavedSectionsWithoutWritingTheFile) {
  const std::string path = TBxDispatchIDList::FileName();
  const std::string saved =
      "[A]\r\nDestinationString=Viewer\r\nConnectionMethod=258\r\nFirstRegisteredOn=45000\r\n"
      "[Empty]\r\nDestinationString=\r\nFirstRegisteredOn=45000\r\n"
      "[Bad]\r\nDestinationString=Fiel\r\n";
  test::WriteFile(path, saved);
  FList.LoadDispatchIDs();
  EXPECT_FALSE(FList.Loading());
  EXPECT_EQ(test::ReadFile(path), saved);
  EXPECT_EQ(Registered("A"), "Viewer");
  EXPECT_EQ(Registered("Empty"), "-");
  {
    auto lock = FList.LockForTest();
    EXPECT_EQ(FList.Objects(lock, FList.Find(lock, "A"))->ConnectionMethod, 2);
  }
  EXPECT_EQ(FLog.Lines(),
            (std::vector<std::string>{"Info: Loading Saved Dispatch IDs (3): " + path,
                                      "Error: Invalid Destination: Unknown destination \"Fiel\""}));
  // The next save (today is long after 45000) expires A and drops the sections of the others.
  FList.SaveDispatchIDs();
  EXPECT_TRUE(File().ReadSections().empty());
  EXPECT_EQ(Registered("A"), "-");
}

TEST_F(DispatchIDListTest, MissingFileLoadsNothing) {
  FList.LoadDispatchIDs();
  EXPECT_EQ(
      FLog.Texts(TLogLevel::Info),
      std::vector<std::string>{"Loading Saved Dispatch IDs (0): " + TBxDispatchIDList::FileName()});
  EXPECT_FALSE(RegularFileExists(TBxDispatchIDList::FileName()));
}

TEST_F(DispatchIDListTest, RegisterLoggerLogsOneLinePerResult) {
  TDispatchMessageFields f;
  f.MsgType = kMsgTypeRegister;
  f.DispatchID = "{0123456789-ABCDEF}";
  f.ComputerName = "HOST";
  f.AppName = "App.exe";
  f.ProcessID = 4242;
  f.Category = "Cat";
  f.MsgText = "Viewer,File[Path=\xC3\xBC]";
  TDispatchMessagePtr good = BuildDispatchMessage(f);
  EXPECT_EQ(FList.RegisterLogger(*good, kConnectionTcp), 1);
  f.DispatchID = "other";
  f.MsgText = "Fiel";
  TDispatchMessagePtr bad = BuildDispatchMessage(f);
  EXPECT_EQ(FList.RegisterLogger(*bad, kConnectionCopyData), 0);
  EXPECT_EQ(
      FLog.Lines(),
      (std::vector<std::string>{
          "Reg: Register Logger   {0123456 (T):  [ HOST  App.exe  (4242)  Cat ]  --  "
          "\"Viewer,File[Path=\xC3\xBC]\"",
          "Error: Invalid Destination: Unknown destination \"Fiel\"",
          "Error: Unable to Register Logger   other (C):  [ HOST  App.exe  (4242)  Cat ]  --  "
          "\"Fiel\""}));
}

TEST_F(DispatchIDListTest, UnwritableFileGivesMinusOneAndKeepsTheRegistration) {
  // A folder where the file should be: it can be neither read nor replaced.
  ASSERT_TRUE(CreateFolderChain(TBxDispatchIDList::FileName()));
  EXPECT_EQ(FList.RegisterDispatchID("X", "Viewer", 0), -1);
  EXPECT_EQ(Registered("X"), "Viewer");
  const auto errors = FLog.Texts(TLogLevel::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Exception in RegisterDispatchID;  Exception: ", 0), 0u) << errors[0];
  EXPECT_GT(errors[0].size(), std::string("Exception in RegisterDispatchID;  Exception: ").size());
}

TEST_F(DispatchIDListTest, AReadOnlyFileIsNotReplacedRegistrationAnswersMinusOne) {
  EXPECT_EQ(FList.RegisterDispatchID("{FIRST}", "Viewer", 0), 1);
  const std::string path = TBxDispatchIDList::FileName();
  std::string before;
  ASSERT_TRUE(ReadWholeFile(path, before));
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  FLog.Clear();
  EXPECT_EQ(FList.RegisterDispatchID("{SECOND}", "Viewer", 0), -1);
  EXPECT_EQ(Registered("{SECOND}"), "Viewer");  // added before the save failed
  EXPECT_EQ(FLog.Texts(TLogLevel::Error),
            std::vector<std::string>{"Exception in RegisterDispatchID;  Exception: " + path +
                                     ": Permission denied"});
  std::string after;
  ASSERT_TRUE(ReadWholeFile(path, after));
  EXPECT_EQ(after, before);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);  // still the same read-only file
  // Writable again: the next registration saves both.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  EXPECT_EQ(FList.RegisterDispatchID("{THIRD}", "Viewer", 0), 1);
  EXPECT_EQ(File().ReadSections(), (std::vector<std::string>{"{FIRST}", "{SECOND}", "{THIRD}"}));
}

}  // namespace
}  // namespace bx
