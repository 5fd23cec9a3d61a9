#include "config/paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

#include "config/registry.h"
#include "platform/file_access.h"
#include "platform/folders.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TTempHome;
using test::WriteFile;

TEST(PathsTest, DataFoldersAreCreatedBelowTheBaseFolders) {
  TTempHome home;
  EXPECT_EQ(GetUserDataFolder(), home.Path() + "/user/Korvane/Brevix/4.0/");
  EXPECT_EQ(GetCommonDataFolder(), home.Path() + "/common/Korvane/Brevix/4.0/");
  EXPECT_TRUE(test::FileExists(home / "user/Korvane/Brevix/4.0"));
  EXPECT_TRUE(test::FileExists(home / "common/Korvane/Brevix/4.0"));

  // A base that cannot hold folders: the path is kept (nothing lands next to the program).
  TTempHome broken;
  WriteFile(broken / "common", "a file, not a folder");
  EXPECT_EQ(GetCommonDataFolder(), broken.Path() + "/common/Korvane/Brevix/4.0/");
  EXPECT_FALSE(test::FileExists(broken / "common/Korvane"));
  EXPECT_NE(GetCommonDataFolder(), ExecutableFolder() + "/");
}

TEST(PathsTest, InstallPathGivesViewerAndHelpFileAsStored) {
  TTempHome home;
  EXPECT_EQ(GetInstallPath(), "");
  EXPECT_EQ(GetLiveViewerPath(), "");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ShowHelpTopic("Dispatcher"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Brevix Help: Brevix Help File (Brevix4.chm) could not be found.\n");

  ASSERT_TRUE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "InstallPath",
                                  "/opt/brevix", true));
  EXPECT_EQ(GetLiveViewerPath(), "/opt/brevixBin/BxLiveViewer");
  EXPECT_EQ(HelpFilePath(), "/opt/brevixHelp/Brevix4.chm");
  ASSERT_TRUE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "InstallPath",
                                  home.Path() + "/", false));
  EXPECT_EQ(GetLiveViewerPath(), home.Path() + "/Bin/BxLiveViewer");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ShowHelpTopic("Dispatcher_Settings"));  // the file itself is missing
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be found"), std::string::npos);
  CloseHelpWindow();
}

TEST(PathsTest, UnitFileOrEnabledLinkMeansInstalled) {
  TTempHome home;
  EXPECT_FALSE(IsServiceInstalled());
  WriteFile(ServiceUnitPath(), "[Unit]\nDescription=Brevix Dispatcher\n[Service]\nType=notify\n");
  EXPECT_TRUE(IsServiceInstalled());
  std::remove(ServiceUnitPath().c_str());
  EXPECT_FALSE(IsServiceInstalled());
  // The package's unit, enabled with systemctl: only the link in the wants folder is there.
  WriteFile(ServiceEnabledLinkPath(), "[Service]\nType=notify\n");
  EXPECT_TRUE(IsServiceInstalled());
}

TEST(PathsTest, ServiceManagerFoldersTakeTheActivityLogAndRegistrations) {
  TTempHome home;
  EXPECT_EQ(GetActivityLogFolder(), GetUserDataFolder());
  EXPECT_EQ(GetDispatchIDsFolder(), GetUserDataFolder());
  const std::string logs = home.Path() + "/var-log/BrevixDispatcher";
  const std::string state = home.Path() + "/var-lib/Korvane/Brevix/4.0";
  setenv("LOGS_DIRECTORY", (logs + ":/elsewhere").c_str(), 1);
  setenv("STATE_DIRECTORY", state.c_str(), 1);
  EXPECT_EQ(GetActivityLogFolder(), logs + "/");
  EXPECT_EQ(GetDispatchIDsFolder(), state + "/");
  EXPECT_TRUE(FolderExists(logs));
  setenv("LOGS_DIRECTORY", "relative/path", 1);  // not absolute: ignored
  EXPECT_EQ(GetActivityLogFolder(), GetUserDataFolder());
  unsetenv("LOGS_DIRECTORY");
  unsetenv("STATE_DIRECTORY");
}

}  // namespace
}  // namespace bx
