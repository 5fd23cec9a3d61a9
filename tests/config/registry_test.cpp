#include "config/registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_home.h"

namespace bx {
namespace {

using test::ReadFile;
using test::TTempHome;
using test::WriteFile;

TEST(RegistryTest, KeysIgnoreCaseAndALeadingDelimiter) {
  TTempHome home;
  std::string value = "untouched";
  EXPECT_FALSE(RegistryKeyExists(TRegistryRoot::LocalMachine, kProductRegistryKey));
  EXPECT_FALSE(
      RegistryReadString(TRegistryRoot::LocalMachine, kProductRegistryKey, "InstallPath", value));
  EXPECT_EQ(value, "untouched");

  // Without createKey nothing is written, not even the file.
  EXPECT_FALSE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "Dispatcher",
                                   "/bin/x", false));
  EXPECT_FALSE(test::FileExists(RegistryFilePath(TRegistryRoot::LocalMachine)));

  ASSERT_TRUE(RegistryWriteString(TRegistryRoot::CurrentUser, "Software\\Korvane\\Brevix\\4.0",
                                  "DispatcherLogPath", "/tmp/log.txt", true));
  EXPECT_EQ(
      ReadFile(RegistryFilePath(TRegistryRoot::CurrentUser)),
      "\xEF\xBB\xBF[Software\\Korvane\\Brevix\\4.0]\r\nDispatcherLogPath=/tmp/log.txt\r\n\r\n");
  EXPECT_TRUE(RegistryKeyExists(TRegistryRoot::CurrentUser, "\\SOFTWARE\\korvane\\Brevix\\4.0"));
  EXPECT_FALSE(RegistryKeyExists(TRegistryRoot::LocalMachine, kProductRegistryKey));
  ASSERT_TRUE(RegistryReadString(TRegistryRoot::CurrentUser, kProductRegistryKey,
                                 "dispatcherlogpath", value));
  EXPECT_EQ(value, "/tmp/log.txt");
  EXPECT_FALSE(RegistryReadString(TRegistryRoot::CurrentUser, kProductRegistryKey, "Other", value));
  EXPECT_FALSE(RegistryKeyExists(TRegistryRoot::CurrentUser, "Software\\Korvane"));
}

TEST(RegistryTest, WritesIntoAnExistingKeyKeepOtherKeysAndValues) {
  TTempHome home;
  std::string path = RegistryFilePath(TRegistryRoot::LocalMachine);
  WriteFile(path,
            "; written by the installer\n[\\software\\korvane\\brevix\\4.0]\nInstallPath=/opt/bx/\n"
            "[Other\\Key]\nA=1\n[Empty]\n");
  EXPECT_TRUE(RegistryKeyExists(TRegistryRoot::LocalMachine, "empty"));
  ASSERT_TRUE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "Dispatcher",
                                  "/usr/bin/BxDispatcher", false));
  EXPECT_EQ(ReadFile(path),
            "\xEF\xBB\xBF[\\software\\korvane\\brevix\\4.0]\r\nInstallPath=/opt/bx/\r\n"
            "Dispatcher=/usr/bin/BxDispatcher\r\n\r\n[Other\\Key]\r\nA=1\r\n\r\n[Empty]\r\n\r\n");
  std::string value;
  ASSERT_TRUE(RegistryReadString(TRegistryRoot::LocalMachine, "Software\\Korvane\\Brevix\\4.0",
                                 "InstallPath", value));
  EXPECT_EQ(value, "/opt/bx/");
}

TEST(RegistryTest, AnUnwritableOrUnreadableFileIsLeftAlone) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  TTempHome home;
  std::string path = RegistryFilePath(TRegistryRoot::LocalMachine);
  const std::string original = "[Software\\Korvane\\Brevix\\4.0]\r\nInstallPath=/opt/bx/\r\n";
  WriteFile(path, original);
  std::string folder = home / "registry";
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  EXPECT_FALSE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "Dispatcher",
                                   "/x", true));
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);  // writable, not readable
  EXPECT_FALSE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "Dispatcher",
                                   "/x", true));
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  EXPECT_EQ(ReadFile(path), original);
}

}  // namespace
}  // namespace bx
