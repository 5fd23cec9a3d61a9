#include "host/service_host.h"

#include <cstdio>

#include "config/paths.h"
#include "host/frm_dispatcher.h"
#include "platform/file_access.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/service_manager.h"

namespace bx {

namespace {

// systemd splits ExecStart at blanks unless the word is quoted.
std::string QuoteForUnit(const std::string& path) {
  if (path.find_first_of(" \t\"\\") == std::string::npos) return path;
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// systemd is told about the unit only when it is the one in the system's folder: a unit below
// BREVIX_HOME belongs to a test or a side-by-side run.
bool ManagesRealUnit() { return ServiceManagerRunning() && ServicesFolder() == kSystemUnitFolder; }

bool RunSystemctl(const std::vector<std::string>& args, std::string* error) {
  std::vector<std::string> argv{"systemctl"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string reason;
  const int code = RunProgramAndWait(argv, &reason);
  if (code == 0) return true;
  if (error) {
    std::string command;
    for (const std::string& a : argv) command += (command.empty() ? "" : " ") + a;
    *error = reason.empty() ? command + " failed with exit code " + std::to_string(code) : reason;
  }
  return false;
}

}  // namespace

void TSvcDispatcher::Start() {
  FLoop.Post(kWmStartDispatcher, 1, 0);
  std::string error;
  if (!SendServiceNotification("READY=1", &error)) {
    std::fprintf(stderr, "Brevix Dispatcher: %s\n", error.c_str());
  }
}

void TSvcDispatcher::Stop() {
  FLoop.Post(WM_QUIT, 0, 0);
  std::string error;
  if (!SendServiceNotification("STOPPING=1", &error)) {
    std::fprintf(stderr, "Brevix Dispatcher: %s\n", error.c_str());
  }
}

std::string ServiceUnitText(const std::string& executablePath) {
  return std::string("[Unit]\n") + "Description=" + kServiceDisplayName + "\n" +
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" +
         QuoteForUnit(executablePath) +
         "\n"
         "Restart=on-failure\n"
         // One descriptor per TCP connection: far more than the default 1024 may be open.
         "LimitNOFILE=65536\n"
         "TimeoutStartSec=5\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

bool InstallService(std::string* error) {
  const std::string folder = ServicesFolder();
  if (!CreateFolderChain(folder, error)) return false;
  if (!ReplaceFileAtomically(ServiceUnitPath(), ServiceUnitText(ExecutablePath()), error)) {
    return false;
  }
  if (ManagesRealUnit()) {
    if (!RunSystemctl({"daemon-reload"}, error)) return false;
    if (!RunSystemctl({"enable", std::string(kServiceName) + ".service"}, error)) return false;
  }
  return true;
}

bool UninstallService(std::string* error) {
  const std::string path = ServiceUnitPath();
  if (!RegularFileExists(path)) {
    if (error) *error = "The specified service does not exist as an installed service.";
    return false;
  }
  if (ManagesRealUnit()) {
    if (!RunSystemctl({"disable", std::string(kServiceName) + ".service"}, error)) return false;
  }
  TFileStatus status;
  if (!RealFileSystem().Delete(path, status)) {
    if (error) *error = path + ": " + status.Text;
    return false;
  }
  if (ManagesRealUnit()) return RunSystemctl({"daemon-reload"}, error);
  return true;
}

int RunServiceInstallation(bool install, bool silent) {
  std::string error;
  const bool done = install ? InstallService(&error) : UninstallService(&error);
  if (!silent) {
    if (done) {
      std::puts(install ? "Service installed successfully" : "Service uninstalled successfully");
    } else {
      std::fprintf(stderr, "Service %s could not be %s: %s\n", kServiceName,
                   install ? "installed" : "uninstalled", error.c_str());
    }
    std::fflush(stdout);
  }
  return done ? 0 : 1;
}

}  // namespace bx
