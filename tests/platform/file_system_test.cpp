#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_home.h"

namespace bx {
namespace {

std::span<const std::byte> Bytes(std::string_view s) {
  return std::span(reinterpret_cast<const std::byte*>(s.data()), s.size());
}

TEST(FileSystemTest, WriterLockRefusesASecondWriterButNoReader) {
  test::TTempHome home;
  TFileSystem& files = RealFileSystem();
  const std::string path = home.Path() + "/f.bxl";
  TSystemError status;
  EXPECT_EQ(files.OpenForWrite(path, TOpenMode::Existing, status), nullptr);
  EXPECT_TRUE(IsFileMissing(status));
  auto writer = files.OpenForWrite(path, TOpenMode::OpenOrCreate, status);
  ASSERT_NE(writer, nullptr) << status.Text;
  EXPECT_EQ(writer->Size(status), 0);
  EXPECT_EQ(writer->Write(Bytes("abc"), status), 3u);

  EXPECT_EQ(files.OpenForWrite(path, TOpenMode::OpenOrCreate, status), nullptr);
  EXPECT_EQ(status.Code, kFileLockedCode);
  EXPECT_EQ(status.Text, "locked by another writer");
  auto reader = files.OpenForRead(path, status);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Size(status), 3);

  EXPECT_TRUE(writer->Close(status));
  auto second = files.OpenForWrite(path, TOpenMode::Existing, status);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Size(status), 3);  // opening never truncates
  EXPECT_EQ(second->Write(Bytes("de"), status), 2u);
  EXPECT_EQ(test::ReadFile(path), "abcde");
}

TEST(FileSystemTest, RenameNeverReplacesAndListingMatchesPrefixAndSuffix) {
  test::TTempHome home;
  TFileSystem& files = RealFileSystem();
  const std::string dir = home.Path();
  test::WriteFile(dir + "/a_1.bxl", "one");
  test::WriteFile(dir + "/a_2.bxl", "two");
  test::WriteFile(dir + "/a_.bxl", "");
  test::WriteFile(dir + "/a_1.bxlx", "");
  test::WriteFile(dir + "/b_1.bxl", "");
  std::filesystem::create_directory(dir + "/a_dir.bxl");
  TSystemError status;
  EXPECT_FALSE(files.Rename(dir + "/a_1.bxl", dir + "/a_2.bxl", status));
  EXPECT_EQ(test::ReadFile(dir + "/a_2.bxl"), "two");
  EXPECT_TRUE(files.Rename(dir + "/a_1.bxl", dir + "/a_3.bxl", status));

  auto names = files.ListFolder(dir, "a_", ".bxl");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a_.bxl", "a_2.bxl", "a_3.bxl", "a_dir.bxl"}));
  EXPECT_EQ(files.FileSize(dir + "/a_3.bxl"), 3);
  EXPECT_EQ(files.FileSize(dir + "/a_dir.bxl"), -1);
  EXPECT_EQ(files.FileSize(dir + "/none.bxl"), -1);
  EXPECT_TRUE(files.FolderExists(dir + "/"));
  EXPECT_FALSE(files.FolderExists(dir + "/a_3.bxl"));
  // A listing's stamp holds until an entry of the folder changes, however soon after.
  // A stamp is only given once the folder's last change lies in an earlier clock tick than the
  // listing; listing again until then takes a few milliseconds at most.
  TFolderStamp stamp;
  for (int i = 0; i < 1000000 && !stamp.Valid; ++i) files.ListFolder(dir, "a_", ".bxl", &stamp);
  ASSERT_TRUE(stamp.Valid);
  EXPECT_TRUE(files.FolderUnchanged(dir, stamp));
  test::WriteFile(dir + "/a_2.bxl", "appending changes no entry");
  EXPECT_TRUE(files.FolderUnchanged(dir, stamp));
  EXPECT_FALSE(files.FolderUnchanged(dir + "/a_dir.bxl", stamp));
  test::WriteFile(dir + "/a_4.bxl", "");
  EXPECT_FALSE(files.FolderUnchanged(dir, stamp));
  EXPECT_TRUE(files.Delete(dir + "/a_3.bxl", status));
  EXPECT_FALSE(files.Delete(dir + "/a_3.bxl", status));
  EXPECT_FALSE(status.Text.empty());
}

}  // namespace
}  // namespace bx
