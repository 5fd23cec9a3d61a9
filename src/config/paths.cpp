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

std::string GetLiveViewerPath() {
  std::string install = GetInstallPath();
  return install.empty() ? std::string() : install + "Bin/BxLiveViewer";
}

bool IsServiceInstalled() { return RegularFileExists(ServiceUnitPath()); }

std::string GetServiceAccount() {
  std::string bytes;
  if (!ReadWholeFile(ServiceUnitPath(), bytes)) return std::string();
  // Unit files are ini-like: "#" and ";" start comments; a later assignment overrides an
  // earlier one and an empty one resets the setting.
  std::string account;
  bool inService = false;
  size_t pos = 0;
  while (pos <= bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(pos, end - pos);
    pos = end + 1;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    size_t last = line.find_last_not_of(" \t\r");
    line = line.substr(first, last - first + 1);
    if (line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      inService = line == "[Service]";
      continue;
    }
    if (!inService) continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key != "User") continue;
    size_t valueStart = line.find_first_not_of(" \t", equals + 1);
    account = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
  }
  return account.empty() ? std::string("root") : account;
}

std::string HelpFilePath() { return GetInstallPath() + "Help/Brevix4.chm"; }

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
