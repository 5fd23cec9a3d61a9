#include "destinations/log_file_destination.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/settings_snapshot.h"
#include "core/known_destinations.h"
#include "destinations/log_file_reader.h"
#include "support/log_capture.h"
#include "support/temp_home.h"

namespace bx {
namespace {

namespace fs = std::filesystem;

// The real files, with writes that stop after a budget of bytes (ENOSPC) and renames that can
// be made to fail.
class TFaultyFileSystem final : public TFileSystem {
 public:
  int64_t WriteBudget = -1;  // bytes that may still be written; -1: no limit
  bool FailRenames = false;

  std::unique_ptr<TWritableFile> OpenForWrite(const std::string& path, TOpenMode mode,
                                              TSystemError& status) override {
    auto file = RealFileSystem().OpenForWrite(path, mode, status);
    if (file == nullptr) return nullptr;
    return std::make_unique<TFaultyFile>(std::move(file), *this);
  }
  std::unique_ptr<TReadableFile> OpenForRead(const std::string& path,
                                             TSystemError& status) override {
    return RealFileSystem().OpenForRead(path, status);
  }
  bool Rename(const std::string& from, const std::string& to, TSystemError& status) override {
    if (FailRenames) {
      status = {EACCES, "Permission denied"};
      return false;
    }
    return RealFileSystem().Rename(from, to, status);
  }
  bool Delete(const std::string& path, TSystemError& status) override {
    return RealFileSystem().Delete(path, status);
  }
  std::vector<std::string> ListFolder(const std::string& folder, std::string_view prefix,
                                      std::string_view suffix, TFolderStamp* stamp) override {
    return RealFileSystem().ListFolder(folder, prefix, suffix, stamp);
  }
  bool FolderUnchanged(const std::string& folder, const TFolderStamp& stamp) override {
    return RealFileSystem().FolderUnchanged(folder, stamp);
  }
  int64_t FileSize(const std::string& path) override { return RealFileSystem().FileSize(path); }
  bool FolderExists(const std::string& path) override {
    return RealFileSystem().FolderExists(path);
  }

 private:
  class TFaultyFile final : public TWritableFile {
   public:
    TFaultyFile(std::unique_ptr<TWritableFile> real, TFaultyFileSystem& owner)
        : FReal(std::move(real)), FOwner(owner) {}
    int64_t Size(TSystemError& status) override { return FReal->Size(status); }
    size_t Write(std::span<const std::byte> bytes, TSystemError& status) override {
      if (FOwner.WriteBudget < 0) return FReal->Write(bytes, status);
      const size_t allowed = std::min(bytes.size(), static_cast<size_t>(FOwner.WriteBudget));
      const size_t done = FReal->Write(bytes.first(allowed), status);
      FOwner.WriteBudget -= static_cast<int64_t>(done);
      if (done < bytes.size() && status.Ok()) status = {ENOSPC, "No space left on device"};
      return done;
    }
    bool Truncate(int64_t size, TSystemError& status) override {
      return FReal->Truncate(size, status);
    }
    bool Close(TSystemError& status) override { return FReal->Close(status); }

   private:
    std::unique_ptr<TWritableFile> FReal;
    TFaultyFileSystem& FOwner;
  };
};

class LogFileDestinationTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(FDir); }
  void TearDown() override { PublishSettings(nullptr); }

  std::unique_ptr<TBxLogFileDestination> Make(const std::string& options,
                                              TFileSystem& files = RealFileSystem()) {
    auto d = std::make_unique<TBxLogFileDestination>(files, FClock);
    d->SetName("File");
    d->SetOptions(options);
    return d;
  }

  static void Send(TBxDestination& d, int32_t type = 1, std::string_view text = "message") {
    TDispatchMessageFields f;
    f.MsgType = type;
    f.AppName = "App";
    f.MsgText = text;
    TDispatchMessagePtr m = BuildDispatchMessage(f);
    d.Dispatch(*m);
  }

  // Names of the files in the log folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FDir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string P(const std::string& name) const { return FDir + "/" + name; }

  // A part file of `size` bytes whose first byte is `tag`.
  void MakeFile(const std::string& name, size_t size, char tag = 'x') {
    test::WriteFile(P(name), std::string(1, tag) + std::string(size - 1, '.'));
  }

  static std::vector<TLogFileEntry> ReadEntries(const std::string& path, TLogFileStop* stop) {
    TLogFileReader reader(path);
    std::vector<TLogFileEntry> entries;
    const TLogFileParse parse = reader.Read(entries);
    if (stop != nullptr) *stop = parse.Stop;
    return entries;
  }

  void PublishNamedPaths(std::vector<std::string> namedPaths, bool restrict) {
    auto settings = std::make_shared<TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
    settings->NamedPaths = std::move(namedPaths);
    settings->RestrictFolders = restrict;
    PublishSettings(settings);
  }

  test::TTempHome FHome;
  test::TLogCapture FLog;
  TFakeClock FClock{TDateTime{2024, 5, 6, 12, 0, 0, 0}};
  std::string FDir = FHome / "logs";
};

TEST_F(LogFileDestinationTest, KindIsRegisteredAndOptionsParsed) {
  TBxKnownDestinationsList kinds;
  kinds.Add(DestinationClassOf<TBxLogFileDestination>());
  const auto kind = kinds.Find("file");
  ASSERT_TRUE(kind.has_value());
  std::unique_ptr<TBxDestination> d = kind->Create();
  EXPECT_EQ(d->KindName(), "File");
  d->SetName("file");
  d->SetOptions("Path=" + P("a.bxl") +
                ";maxsize=100;MaxParts=7;LogByDate=TRUE;LogByDateFormat=yy;KeepOpen=False;"
                "DataFormat=x");
  auto& file = static_cast<TBxLogFileDestination&>(*d);
  EXPECT_FALSE(file.Invalid);
  EXPECT_EQ(file.GetPath(), P("a.bxl"));
  EXPECT_EQ(file.MaxSize, 100);
  EXPECT_EQ(file.MaxParts, 7);
  EXPECT_TRUE(file.LogByDate);
  EXPECT_EQ(file.LogByDateFormat, "yy");
  EXPECT_EQ(file.DataFormat, "x");

  auto missing = Make("MaxSize=3");
  EXPECT_TRUE(missing->Invalid);
  EXPECT_EQ(FLog.Lines().back(),
            "Error: Invalid Destination: Path option not specified in destination \"File\"");
}

TEST_F(LogFileDestinationTest, PartNamesTakeTheirWidthFromMaxParts) {
  auto three = Make("Path=" + P("app.txt") + ";MaxSize=100;MaxParts=3");
  Send(*three);
  EXPECT_EQ(three->CurrentFileName, P("app_1.bxl"));
  auto unlimited = Make("Path=" + P("other.bxl") + ";MaxSize=100;MaxParts=0");
  Send(*unlimited);
  EXPECT_EQ(unlimited->CurrentFileName, P("other_0001.bxl"));
  auto noParts = Make("Path=" + P("plain.txt") + ";MaxSize=1;MaxParts=3");
  Send(*noParts);
  EXPECT_EQ(noParts->CurrentFileName, P("plain.bxl"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"app_1.bxl", "other_0001.bxl", "plain.bxl"}));
}

TEST_F(LogFileDestinationTest, FullPartsAdvanceThenRotateOldestAway) {
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;MaxParts=3");
  MakeFile("app_1.bxl", 2047, '1');
  Send(*d);  // part 1 is one byte short of full: appended
  EXPECT_EQ(d->CurrentFileName, P("app_1.bxl"));
  Send(*d);  // now full: part 2 begins
  EXPECT_EQ(d->CurrentFileName, P("app_2.bxl"));
  MakeFile("app_2.bxl", 2048, '2');
  MakeFile("app_3.bxl", 3000, '3');
  Send(*d);  // part 3 of 3 is full: 1 goes, 2 becomes 1, 3 becomes 2, a new 3
  EXPECT_EQ(d->CurrentFileName, P("app_3.bxl"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"app_1.bxl", "app_2.bxl", "app_3.bxl"}));
  EXPECT_EQ(test::ReadFile(P("app_1.bxl")).substr(0, 1), "2");
  EXPECT_EQ(test::ReadFile(P("app_2.bxl")).substr(0, 1), "3");
  TLogFileStop stop;
  EXPECT_EQ(ReadEntries(P("app_3.bxl"), &stop).size(), 1u);
  EXPECT_EQ(stop, TLogFileStop::End);
}

TEST_F(LogFileDestinationTest, SinglePartKeepsGrowingAndUnlimitedPartsNeverRotate) {
  MakeFile("one_1.bxl", 5000);
  auto one = Make("Path=" + P("one.bxl") + ";MaxSize=2;MaxParts=1");
  Send(*one);
  EXPECT_EQ(one->CurrentFileName, P("one_1.bxl"));
  EXPECT_GT(fs::file_size(P("one_1.bxl")), 5000u);

  MakeFile("many_0001.bxl", 2048);
  MakeFile("many_0002.bxl", 2048);
  auto many = Make("Path=" + P("many.bxl") + ";MaxSize=2");
  Send(*many);
  EXPECT_EQ(many->CurrentFileName, P("many_0003.bxl"));
  EXPECT_TRUE(test::FileExists(P("many_0001.bxl")));
}

TEST_F(LogFileDestinationTest, IncompleteFileIsNeverTakenAsAPart) {
  MakeFile("app_01.bxl", 2048, 'F');           // full
  MakeFile("app_02_Incomplete.bxl", 10, 'I');  // sorts last, but is not a part
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;MaxParts=10");
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_02.bxl"));
  EXPECT_EQ(fs::file_size(P("app_01.bxl")), 2048u);
  EXPECT_EQ(fs::file_size(P("app_02_Incomplete.bxl")), 10u);
}

TEST_F(LogFileDestinationTest, PartsSortByNameWithoutRegardToCase) {
  // Width 2: part 10 sorts after part 09 and is appended to while it has room.
  MakeFile("app_09.bxl", 2048);
  MakeFile("app_10.bxl", 100);
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;MaxParts=10");
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_10.bxl"));

  // "_" sorts after "A" by byte value but before "a": the case-blind order picks app_1A.bxl
  // (not a number, so part 1, and not full), a byte order would pick the full app_1_.bxl.
  MakeFile("b_1_.bxl", 2048);
  MakeFile("b_1A.bxl", 10);
  auto b = Make("Path=" + P("b.bxl") + ";MaxSize=2;MaxParts=10");
  Send(*b);
  EXPECT_EQ(b->CurrentFileName, P("b_01.bxl"));
}

TEST_F(LogFileDestinationTest, PartsMadeByAnotherWriterAreSeenAtOnce) {
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;MaxParts=10");
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_01.bxl"));
  MakeFile("app_02.bxl", 10);  // another dispatcher moved on, right after our listing
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_02.bxl"));
  std::filesystem::remove(P("app_02.bxl"));
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_01.bxl"));
}

TEST_F(LogFileDestinationTest, QuotedPathGivesTheSameFile) {
  auto quoted = Make("Path=\"" + P("q.bxl") + "\"");
  auto plain = Make("Path=" + P("q.bxl"));
  EXPECT_EQ(quoted->GetPath(), plain->GetPath());
  Send(*quoted);
  Send(*plain);
  EXPECT_EQ(Names(), std::vector<std::string>{"q.bxl"});
  EXPECT_EQ(ReadEntries(P("q.bxl"), nullptr).size(), 2u);
}

TEST_F(LogFileDestinationTest, RestrictFoldersIsACaseSensitivePlainPrefixTest) {
  const std::string logs = FHome / "srv/Logs";
  PublishNamedPaths({"Logs=" + logs}, true);
  auto lower = Make("Path=" + FHome.Path() + "/srv/logs/a.bxl");
  EXPECT_TRUE(lower->Invalid);
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{
                "Error: Invalid Destination: Path not allowed in destination \"File\""});
  EXPECT_FALSE(Make("Path=" + FHome.Path() + "/srv/LogsOld/a.bxl")->Invalid);
  auto variable = Make("Path=$(logs)/a.bxl");
  EXPECT_FALSE(variable->Invalid);
  EXPECT_EQ(variable->GetPath(), logs + "/a.bxl");
  EXPECT_EQ(FLog.Lines().size(), 1u);

  PublishNamedPaths({"Logs=" + logs}, false);
  EXPECT_FALSE(Make("Path=" + FHome.Path() + "/srv/logs/a.bxl")->Invalid);
}

TEST_F(LogFileDestinationTest, FolderVariablesThatCannotBeExpanded) {
  PublishNamedPaths({"Logs=" + FDir, "Self=$(Self)/x", "Twice=$(Twice)$(Twice)", "Empty="}, false);
  const std::string invalid =
      "Error: Invalid Destination: Invalid Folder variable in destination \"File\"";
  const std::string unknown =
      "Error: Invalid Destination: Unknown Folder variable in destination \"File\"";

  EXPECT_TRUE(Make("Path=$(Nothing)/a.bxl")->Invalid);
  EXPECT_TRUE(Make("Path=$(Empty)/a.bxl")->Invalid);
  EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{unknown, unknown}));
  FLog.Clear();

  EXPECT_TRUE(Make("Path=$(Logs/a.bxl")->Invalid);  // no ")": both lines
  EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{invalid, unknown}));
  FLog.Clear();

  // Values that name themselves stop after a bounded number of rounds.
  EXPECT_TRUE(Make("Path=$(Self)/a.bxl")->Invalid);
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{invalid});
  FLog.Clear();
  auto twice = Make("Path=$(Twice)/a.bxl");
  EXPECT_TRUE(twice->Invalid);
  EXPECT_LE(twice->GetPath().size(), 64u * 1024u);
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{invalid});
}

TEST_F(LogFileDestinationTest, OnlyLogMessageTypesAreWritten) {
  auto d = Make("Path=" + P("t.bxl"));
  for (int32_t type : {12, 15, 45, 47, 91, 92, -1}) Send(*d, type);
  EXPECT_FALSE(test::FileExists(P("t.bxl")));
  for (int32_t type : {0, 11, 16, 44}) Send(*d, type);
  std::vector<int32_t> types;
  for (const auto& e : ReadEntries(P("t.bxl"), nullptr)) types.push_back(e.MsgType);
  EXPECT_EQ(types, (std::vector<int32_t>{0, 11, 16, 44}));
  EXPECT_TRUE(FLog.Lines().empty());
}

TEST_F(LogFileDestinationTest, DateInTheNameChangesAtMidnight) {
  FClock.Set({2024, 12, 31, 23, 59, 59, 999});
  auto d = Make("Path=" + P("app.bxl") + ";LogByDate=True;MaxSize=100;MaxParts=10");
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_20241231_01.bxl"));
  FClock.AdvanceMilliseconds(1);
  Send(*d);
  EXPECT_EQ(d->CurrentFileName, P("app_20250101_01.bxl"));

  auto custom = Make("Path=" + P("c.bxl") + ";LogByDate=True;LogByDateFormat=DD.M.YY");
  Send(*custom);
  EXPECT_EQ(custom->CurrentFileName, P("c_01.1.25.bxl"));
}

TEST_F(LogFileDestinationTest, MissingFolderIsReportedAndNeverCreated) {
  auto d = Make("Path=" + FHome.Path() + "/absent/app.bxl");
  Send(*d);
  EXPECT_FALSE(d->FileOpened);
  EXPECT_FALSE(fs::exists(FHome / "absent"));
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{"Error: Log file path is invalid: " +
                                                   FHome.Path() + "/absent/app.bxl"});
}

TEST_F(LogFileDestinationTest, SecondWriterGetsTheOpenErrorPath) {
  auto d = Make("Path=" + P("shared.bxl"));
  Send(*d);
  TSystemError status;
  auto other = RealFileSystem().OpenForWrite(P("shared.bxl"), TOpenMode::Existing, status);
  ASSERT_NE(other, nullptr) << status.Text;
  Send(*d);
  EXPECT_FALSE(d->FileOpened);
  std::vector<std::string> expected;
  for (int attempt = 1; attempt <= 4; ++attempt) {
    expected.push_back("Warning: Attempt " + std::to_string(attempt) +
                       " - Log File Open Error (locked by another writer): " + P("shared.bxl"));
  }
  expected.push_back("Error: Log File Open Error (locked by another writer): " + P("shared.bxl"));
  EXPECT_EQ(FLog.Lines(), expected);

  // A reader is never refused, and the next message tries afresh once the writer is gone.
  EXPECT_EQ(ReadEntries(P("shared.bxl"), nullptr).size(), 1u);
  other.reset();
  FLog.Clear();
  Send(*d);
  EXPECT_TRUE(d->FileOpened);
  EXPECT_TRUE(FLog.Lines().empty());
  EXPECT_EQ(ReadEntries(P("shared.bxl"), nullptr).size(), 2u);
}

TEST_F(LogFileDestinationTest, ShortWriteMovesTheFileAsideAndStartsANewOne) {
  TFaultyFileSystem files;
  auto d = Make("Path=" + P("app.bxl"), files);
  Send(*d, 1, "first");
  files.WriteBudget = 4 + 10;  // the marker and part of the record
  Send(*d, 1, "second");
  EXPECT_EQ(FLog.Lines(), std::vector<std::string>{
                              "Error: Incomplete message written to log file: " + P("app.bxl") +
                              ". Incomplete log file saved. New log file "
                              "created."});
  EXPECT_EQ(Names(), std::vector<std::string>{"app_Incomplete.bxl"});
  TLogFileStop stop;
  EXPECT_EQ(ReadEntries(P("app_Incomplete.bxl"), &stop).size(), 1u);
  EXPECT_EQ(stop, TLogFileStop::Cut);

  files.WriteBudget = -1;
  Send(*d, 1, "third");
  const auto entries = ReadEntries(P("app.bxl"), &stop);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].MsgText, "third");
  EXPECT_EQ(stop, TLogFileStop::End);
}

TEST_F(LogFileDestinationTest, FailedWriteWhoseBackupFailsLeavesOnlyWholeEntries) {
  TFaultyFileSystem files;
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=100;MaxParts=3", files);
  Send(*d, 1, "first");
  files.WriteBudget = 0;  // nothing at all can be written: a full disk
  files.FailRenames = true;
  Send(*d, 1, "second");
  files.WriteBudget = 4 + 100;
  Send(*d, 1, "third");  // marker written, record cut
  const std::string name = P("app_1.bxl");
  const std::string incomplete = "Error: Incomplete message written to log file: " + name +
                                 ". Incomplete log file saved. New log file created.";
  const std::string backup = "Error: Could not backup Incomplete log file: " + name;
  EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{incomplete, backup, incomplete, backup}));

  files.WriteBudget = -1;
  files.FailRenames = false;
  Send(*d, 1, "fourth");
  TLogFileStop stop;
  std::vector<std::string> texts;
  for (const auto& e : ReadEntries(name, &stop)) texts.push_back(e.MsgText);
  EXPECT_EQ(texts, (std::vector<std::string>{"first", "fourth"}));
  EXPECT_EQ(stop, TLogFileStop::End);
}

TEST_F(LogFileDestinationTest, FullDiskOnATinyFileSystem) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const std::string mountPoint = FHome / "tiny";
  fs::create_directories(mountPoint);
  if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount tmpfs: " << std::strerror(errno);
  }
  struct TUnmount {
    std::string Path;
    ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};

  auto d = Make("Path=" + mountPoint + "/app.bxl");
  const std::string text(10000, 'x');
  int sent = 0;
  while (sent < 20 && !FLog.WaitForText("Incomplete message", std::chrono::milliseconds(0))) {
    Send(*d, 1, text);
    ++sent;
  }
  ASSERT_TRUE(FLog.WaitForText("Incomplete message", std::chrono::milliseconds(0)));
  // Keep going on the full disk: nothing may crash, and no regular file may end inside an
  // entry.
  for (int i = 0; i < 3; ++i) Send(*d, 1, text);
  const std::string name = mountPoint + "/app.bxl";
  for (const std::string& line : FLog.Lines()) {
    EXPECT_TRUE(line == "Error: Incomplete message written to log file: " + name +
                            ". Incomplete log file saved. New log file created." ||
                line == "Error: Could not backup Incomplete log file: " + name)
        << line;
  }

  TLogFileStop stop;
  const auto saved = ReadEntries(mountPoint + "/app_Incomplete.bxl", &stop);
  EXPECT_EQ(stop, TLogFileStop::Cut);
  EXPECT_GE(saved.size(), 1u);
  if (test::FileExists(mountPoint + "/app.bxl")) {
    ReadEntries(mountPoint + "/app.bxl", &stop);
    EXPECT_EQ(stop, TLogFileStop::End);
  }
}

}  // namespace
}  // namespace bx

namespace bx {
namespace {

// The message texts of a file's entries.
std::vector<std::string> TextsOf(const std::string& path) {
  TLogFileReader reader(path);
  std::vector<TLogFileEntry> entries;
  reader.Read(entries);
  std::vector<std::string> texts;
  for (const TLogFileEntry& e : entries) texts.push_back(e.MsgText);
  return texts;
}

bool LockedByAnotherWriter(const std::string& path) {
  TSystemError status;
  auto file = RealFileSystem().OpenForWrite(path, TOpenMode::Existing, status);
  return file == nullptr && status.Code == kFileLockedCode;
}

TEST_F(LogFileDestinationTest, KeepOpenHoldsTheLockedFileUntilASecondWithoutMessages) {
  auto d = Make("Path=" + P("kept.bxl") + ";KeepOpen=True");
  EXPECT_TRUE(d->KeepOpen);
  Send(*d, 1, "one");
  EXPECT_TRUE(d->HoldsOpenFile());
  EXPECT_TRUE(LockedByAnotherWriter(P("kept.bxl")));
  Send(*d, 1, "two");
  EXPECT_EQ(TextsOf(P("kept.bxl")), (std::vector<std::string>{"one", "two"}));  // readers see it

  FClock.AdvanceMilliseconds(999);
  CloseIdleKeptFiles();
  EXPECT_TRUE(d->HoldsOpenFile());
  FClock.AdvanceMilliseconds(1);
  CloseIdleKeptFiles();
  EXPECT_FALSE(d->HoldsOpenFile());
  EXPECT_FALSE(LockedByAnotherWriter(P("kept.bxl")));

  // The next message opens it again; the end of the registration closes it.
  Send(*d, 1, "three");
  EXPECT_TRUE(d->HoldsOpenFile());
  d.reset();
  EXPECT_FALSE(LockedByAnotherWriter(P("kept.bxl")));
  EXPECT_EQ(TextsOf(P("kept.bxl")), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_TRUE(FLog.Lines().empty());

  // The default keeps nothing open.
  auto plain = Make("Path=" + P("plain.bxl"));
  Send(*plain);
  EXPECT_FALSE(plain->HoldsOpenFile());
  EXPECT_FALSE(LockedByAnotherWriter(P("plain.bxl")));
}

TEST_F(LogFileDestinationTest, KeepOpenRollsOverAtTheSizeOfItsOwnHandleAndAtANewDate) {
  // Entries of 506 bytes, parts of 2048: five entries per part, as without KeepOpen.
  const std::string text(300, 't');
  auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;KeepOpen=True");
  for (int i = 0; i < 10; ++i) Send(*d, 1, text);
  EXPECT_EQ(TextsOf(P("app_0001.bxl")).size(), 5u);
  EXPECT_EQ(TextsOf(P("app_0002.bxl")).size(), 5u);
  EXPECT_EQ(d->CurrentFileName, P("app_0002.bxl"));
  EXPECT_FALSE(LockedByAnotherWriter(P("app_0001.bxl")));  // closed at the rollover
  EXPECT_TRUE(LockedByAnotherWriter(P("app_0002.bxl")));

  FClock.Set({2024, 12, 31, 23, 59, 59, 999});
  auto dated = Make("Path=" + P("day.bxl") + ";LogByDate=True;KeepOpen=True");
  Send(*dated, 1, "old day");
  FClock.AdvanceMilliseconds(1);
  Send(*dated, 1, "new day");
  EXPECT_EQ(TextsOf(P("day_20241231.bxl")), std::vector<std::string>{"old day"});
  EXPECT_EQ(TextsOf(P("day_20250101.bxl")), std::vector<std::string>{"new day"});
  EXPECT_FALSE(LockedByAnotherWriter(P("day_20241231.bxl")));
}

TEST_F(LogFileDestinationTest, KeepOpenNoticesWithinASecondThatItsFileWasMovedOrReplaced) {
  auto d = Make("Path=" + P("app.bxl") + ";KeepOpen=True");
  Send(*d, 1, "before");
  fs::rename(P("app.bxl"), P("moved.bxl"));
  Send(*d, 1, "same second");  // not looked at yet: still the open file
  FClock.AdvanceMilliseconds(1000);
  Send(*d, 1, "after");  // the name leads nowhere now: a new file of that name
  EXPECT_EQ(TextsOf(P("moved.bxl")), (std::vector<std::string>{"before", "same second"}));
  EXPECT_EQ(TextsOf(P("app.bxl")), std::vector<std::string>{"after"});
  EXPECT_FALSE(LockedByAnotherWriter(P("moved.bxl")));

  // Replaced under its name by another file.
  fs::remove(P("app.bxl"));
  test::WriteFile(P("app.bxl"), "");
  FClock.AdvanceMilliseconds(1000);
  Send(*d, 1, "into the new one");
  EXPECT_EQ(TextsOf(P("app.bxl")), std::vector<std::string>{"into the new one"});
  EXPECT_TRUE(FLog.Lines().empty());
}

TEST_F(LogFileDestinationTest, AKeptFileIsHandedToAnotherDestinationOfTheDispatcher) {
  auto kept = Make("Path=" + P("shared.bxl") + ";KeepOpen=True");
  auto other = Make("Path=" + P("shared.bxl"));
  Send(*kept, 1, "a");
  Send(*other, 1, "b");  // the holder lets go instead of the five refused attempts
  EXPECT_TRUE(other->FileOpened);
  EXPECT_FALSE(kept->HoldsOpenFile());
  Send(*kept, 1, "c");
  EXPECT_EQ(TextsOf(P("shared.bxl")), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(FLog.Lines().empty());
  CloseAllKeptFiles();
  EXPECT_FALSE(kept->HoldsOpenFile());
}

// While the dispatch thread has more messages waiting, a kept file gathers entries and writes
// them together; nothing is lost or reordered, and every way of letting go of the file writes
// what was gathered first.
class BacklogScope {
 public:
  BacklogScope() { SetDispatchBacklog(true); }
  ~BacklogScope() { SetDispatchBacklog(false); }
};

TEST_F(LogFileDestinationTest, WithABacklogAKeptFileGathersEntriesAndWritesThemInOrder) {
  auto d = Make("Path=" + P("kept.bxl") + ";KeepOpen=True");
  {
    BacklogScope backlog;
    Send(*d, 1, "one");
    Send(*d, 1, "two");
    EXPECT_TRUE(TextsOf(P("kept.bxl")).empty());  // gathered, not yet written
    EXPECT_GT(d->PendingBytes(), 0u);
    EXPECT_TRUE(KeptWritesPending());
  }
  // The message that finds no backlog writes everything before it, and itself.
  Send(*d, 1, "three");
  EXPECT_EQ(d->PendingBytes(), 0u);
  EXPECT_EQ(TextsOf(P("kept.bxl")), (std::vector<std::string>{"one", "two", "three"}));

  {
    BacklogScope backlog;
    Send(*d, 1, "four");
  }
  FlushKeptFiles();  // the queue ran empty
  EXPECT_FALSE(KeptWritesPending());
  EXPECT_EQ(TextsOf(P("kept.bxl")).back(), "four");

  // A batch is bounded: past kKeptWriteBatchBytes the gathered entries go out.
  const std::string text(1000, 'x');
  {
    BacklogScope backlog;
    for (int i = 0; i < 100; ++i) Send(*d, 1, text);
    EXPECT_LE(d->PendingBytes(), TBxLogFileDestination::kKeptWriteBatchBytes);
    EXPECT_GT(TextsOf(P("kept.bxl")).size(), 4u);
  }
  // Idle close, the end of the registration, and handing the file to another destination all
  // write what was gathered.
  {
    BacklogScope backlog;
    Send(*d, 1, "before idle");
  }
  FClock.AdvanceMilliseconds(1000);
  CloseIdleKeptFiles();
  EXPECT_FALSE(d->HoldsOpenFile());
  EXPECT_EQ(TextsOf(P("kept.bxl")).back(), "before idle");
  {
    BacklogScope backlog;
    Send(*d, 1, "before handing over");
    auto other = Make("Path=" + P("kept.bxl"));
    Send(*other, 1, "by the other");
  }
  {
    BacklogScope backlog;
    Send(*d, 1, "before the end");
  }
  d.reset();
  const std::vector<std::string> texts = TextsOf(P("kept.bxl"));
  ASSERT_EQ(texts.size(), 3u + 1u + 100u + 1u + 3u);
  EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
            (std::vector<std::string>{"before handing over", "by the other", "before the end"}));
  EXPECT_TRUE(FLog.Lines().empty());
}

TEST_F(LogFileDestinationTest, GatheredEntriesCountTowardsTheRolloverAndACutBatchKeepsWholeOnes) {
  // Parts of 2048 bytes, entries of 506: five per part, gathered or not.
  const std::string text(300, 't');
  {
    auto d = Make("Path=" + P("app.bxl") + ";MaxSize=2;KeepOpen=True");
    BacklogScope backlog;
    for (int i = 0; i < 10; ++i) Send(*d, 1, text);
    d.reset();
  }
  EXPECT_EQ(TextsOf(P("app_0001.bxl")).size(), 5u);
  EXPECT_EQ(TextsOf(P("app_0002.bxl")).size(), 5u);

  // A full disk cuts a batch of three in its second entry; the backup cannot be made either:
  // the file keeps the earlier entry and the first of the batch, nothing cut.
  TFaultyFileSystem files;
  auto d = Make("Path=" + P("batch.bxl") + ";KeepOpen=True", files);
  Send(*d, 1, "written alone");
  {
    BacklogScope backlog;
    Send(*d, 1, "first of the batch");
    Send(*d, 1, "second of the batch");
    Send(*d, 1, "third of the batch");
  }
  files.WriteBudget = 300;  // the first gathered entry (224 bytes) and part of the second
  files.FailRenames = true;
  FlushKeptFiles();
  EXPECT_FALSE(d->HoldsOpenFile());
  const std::string name = P("batch.bxl");
  EXPECT_EQ(FLog.Lines(),
            (std::vector<std::string>{"Error: Incomplete message written to log file: " + name +
                                          ". Incomplete log file saved. New log file created.",
                                      "Error: Could not backup Incomplete log file: " + name}));
  TLogFileStop stop;
  std::vector<std::string> texts;
  for (const auto& e : ReadEntries(name, &stop)) texts.push_back(e.MsgText);
  EXPECT_EQ(texts, (std::vector<std::string>{"written alone", "first of the batch"}));
  EXPECT_EQ(stop, TLogFileStop::End);
}

}  // namespace
}  // namespace bx
