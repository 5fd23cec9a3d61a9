#include "config/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "config/registry.h"
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

TEST(PathsTest, ServiceUnitDecidesInstalledAndAccount) {
  TTempHome home;
  EXPECT_FALSE(IsServiceInstalled());
  EXPECT_EQ(GetServiceAccount(), "");
  WriteFile(ServiceUnitPath(), "[Unit]\nDescription=Brevix Dispatcher\n[Service]\nType=notify\n");
  EXPECT_TRUE(IsServiceInstalled());
  EXPECT_EQ(GetServiceAccount(), "root");
  WriteFile(ServiceUnitPath(),
            "[Unit]\nUser=wrong\n[Service]\n# User=comment\nUser=first\n  User = bx \r\n");
  EXPECT_EQ(GetServiceAccount(), "bx");
  WriteFile(ServiceUnitPath(), "[Service]\nUser=bx\nUser=\n");
  EXPECT_EQ(GetServiceAccount(), "root");
}

}  // namespace
}  // namespace bx
