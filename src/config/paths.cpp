#include "config/paths.h"

#include <cstdio>
#include <vector>

#include "config/registry.h"
#include "platform/detached_process.h"
#include "platform/file_access.h"
#include "platform/folders.h"

namespace bx {

namespace {

constexpr const char* kProductSubFolder = "/Korvane/Brevix/4.0";

std::string DataFolder(const std::string& base) {
  if (!base.empty()) {
    std::string folder = base;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder == "/") folder.clear();
    folder += kProductSubFolder;
    // A failure to create is not reported, and the path is kept: the files are then missing
    // or cannot be written there, which their own operations report, instead of appearing
    // next to the executable.
    CreateFolderChain(folder);
    return folder + "/";
  }
  std::string exe = ExecutableFolder();
  return exe.back() == '/' ? exe : exe + "/";
}

}  // namespace

std::string GetInstallPath() {
  std::string value;
  if (!RegistryReadString(TRegistryRoot::LocalMachine, kProductRegistryKey, "InstallPath", value)) {
    return std::string();
  }
  return value;
}

std::string GetUserDataFolder() { return DataFolder(BaseUserDataFolder()); }

std::string GetCommonDataFolder() { return DataFolder(BaseCommonDataFolder()); }

namespace {

std::string ManagedOrUserFolder(TServiceFolder which) {
  std::string folder = ServiceManagedFolder(which);
  if (folder.empty()) return GetUserDataFolder();
  // systemd made it before the start; a missing one (a test playing systemd) is made here.
  CreateFolderChain(folder);
  return folder == "/" ? folder : folder + "/";
}

}  // namespace

std::string GetActivityLogFolder() { return ManagedOrUserFolder(TServiceFolder::Logs); }

std::string GetDispatchIDsFolder() { return ManagedOrUserFolder(TServiceFolder::State); }

std::string GetLiveViewerPath() {
  std::string install = GetInstallPath();
  return install.empty() ? std::string() : install + "Bin/BxLiveViewer";
}

bool IsServiceInstalled() {
  return RegularFileExists(ServiceUnitPath()) || RegularFileExists(ServiceEnabledLinkPath());
}

std::string HelpFilePath() { return GetInstallPath() + "Help/Brevix4.chm"; }

bool HelpFileExists() { return !GetInstallPath().empty() && RegularFileExists(HelpFilePath()); }

bool ShowHelpTopic(const std::string& topic) {
  (void)topic;
  std::string install = GetInstallPath();
  std::string helpFile = HelpFilePath();
  if (install.empty() || !RegularFileExists(helpFile)) {
    std::fputs("Brevix Help: Brevix Help File (Brevix4.chm) could not be found.\n", stderr);
    return false;
  }
  std::string error;
  if (!SpawnDetached({"xdg-open", helpFile}, &error)) {
    std::fprintf(stderr, "Brevix Help: %s\n", error.c_str());
    return false;
  }
  return true;
}

void CloseHelpWindow() {}

}  // namespace bx
