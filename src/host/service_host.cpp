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

// A word of a unit's command line: systemd expands "%" specifiers and "$" variables everywhere
// (doubled, they stand for themselves) and splits at blanks unless the word is quoted, where
// "\" and the quote are escaped.
std::string QuoteForUnit(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    if (c == '%' || c == '$') escaped += c;
    escaped += c;
  }
  if (path.find_first_of(" \t\"\\'") == std::string::npos) return escaped;
  std::string quoted = "\"";
  for (char c : escaped) {
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
         "Documentation=man:BxDispatcher(8)\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "NotifyAccess=main\n"
         "ExecStart=" +
         QuoteForUnit(executablePath) +
         "\n"
         "User=" +
         kServiceUser +
         "\n"
         "Group=" +
         kServiceUser +
         "\n"
         "Restart=on-failure\n"
         "RestartSec=2\n"
         "# The dispatcher extends this while it loads its registrations (EXTEND_TIMEOUT_USEC),\n"
         "# so a large registrations file does not run into it; a start that stops making\n"
         "# progress still does.\n"
         "TimeoutStartSec=60\n"
         "TimeoutStopSec=30\n"
         "WatchdogSec=30\n"
         "# The product's folders: endpoint sockets and the instance lock, settings and\n"
         "# registrations, the activity log.\n"
         "RuntimeDirectory=BrevixDispatcher\n"
         "RuntimeDirectoryMode=0700\n"
         "StateDirectory=Korvane/Brevix/4.0\n"
         "StateDirectoryMode=0750\n"
         "LogsDirectory=BrevixDispatcher\n"
         "LogsDirectoryMode=0750\n"
         "# Where log file destinations may write (everything else is read-only).\n"
         "ReadWritePaths=-/var/log/brevix\n"
         "UMask=0027\n"
         "LimitNOFILE=65536\n"
         "# The work-load timer lowers the dispatch thread under load and raises it again, and\n"
         "# raises the main thread to nice -5.\n"
         "LimitNICE=-5\n"
         "NoNewPrivileges=yes\n"
         "CapabilityBoundingSet=\n"
         "AmbientCapabilities=\n"
         "ProtectSystem=strict\n"
         "ProtectHome=yes\n"
         "PrivateTmp=yes\n"
         "PrivateDevices=yes\n"
         "PrivateUsers=yes\n"
         "PrivateMounts=yes\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "ProtectProc=invisible\n"
         "ProcSubset=pid\n"
         "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "RestrictSUIDSGID=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         "RemoveIPC=yes\n"
         "KeyringMode=private\n"
         "SystemCallArchitectures=native\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallFilter=~@privileged\n"
         "SystemCallErrorNumber=EPERM\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

int JournalPriority(TLogLevel level) {
  switch (level) {
    case TLogLevel::Error:
      return 3;  // err
    case TLogLevel::Warning:
      return 4;  // warning
    case TLogLevel::Reg:
    case TLogLevel::Unreg:
      return 5;  // notice: a logger came or went
    case TLogLevel::Info:
    case TLogLevel::Setting:
      return 6;  // info
  }
  return 6;
}

bool InstallService(std::string* error, std::string* notice) {
  const std::string executable = ExecutablePath();
  if (executable.empty() || executable.find_first_of("\n\r") != std::string::npos) {
    if (error) *error = "the program's path cannot be written into a unit file: " + executable;
    return false;
  }
  const std::string folder = ServicesFolder();
  if (!CreateFolderChain(folder, error)) return false;
  const std::string path = ServiceUnitPath();
  const std::string text = ServiceUnitText(executable);
  std::string old;
  if (ReadWholeFile(path, old)) {
    if (old == text) {
      if (notice) *notice = "Service unit " + path + " is unchanged";
    } else {
      // The administrator may have edited it; the old text stays beside the new one.
      if (!ReplaceFileAtomicallyWithMode(path + ".old", old, 0644, error)) return false;
      if (notice) {
        *notice = "Service unit " + path + " differs from the one this program writes: " +
                  "replaced, the old one is kept as " + path + ".old";
      }
    }
  }
  // 0644 whatever the umask: systemd and unprivileged tools read it.
  if (!ReplaceFileAtomicallyWithMode(path, text, 0644, error)) return false;
  if (ManagesRealUnit()) {
    if (!RunSystemctl({"daemon-reload"}, error)) return false;
    if (!RunSystemctl({"enable", std::string(kServiceName) + ".service"}, error)) return false;
    if (!UserAccountExists(kServiceUser) && notice != nullptr) {
      // The package creates the account; a unit installed from a build needs it made.
      *notice += std::string(notice->empty() ? "" : "\n") + "The service runs as the user " +
                 kServiceUser + ", which does not exist yet: sudo adduser --system --group " +
                 kServiceUser;
    }
  }
  return true;
}

bool UninstallService(std::string* error) {
  const std::string path = ServiceUnitPath();
  if (!IsServiceInstalled()) {
    if (error) *error = "The specified service does not exist as an installed service.";
    return false;
  }
  if (ManagesRealUnit()) {
    if (!RunSystemctl({"disable", std::string(kServiceName) + ".service"}, error)) return false;
  }
  // The package's own unit (enabled, not written by "INSTALL") stays where the package put it.
  if (!RegularFileExists(path)) {
    if (ManagesRealUnit()) return RunSystemctl({"daemon-reload"}, error);
    TSystemError linkStatus;
    if (!RealFileSystem().Delete(ServiceEnabledLinkPath(), linkStatus)) {
      if (error) *error = ServiceEnabledLinkPath() + ": " + linkStatus.Text;
      return false;
    }
    return true;
  }
  TSystemError status;
  if (!RealFileSystem().Delete(path, status)) {
    if (error) *error = path + ": " + status.Text;
    return false;
  }
  if (ManagesRealUnit()) return RunSystemctl({"daemon-reload"}, error);
  return true;
}

int RunServiceInstallation(bool install, bool silent) {
  std::string error;
  std::string notice;
  const bool done = install ? InstallService(&error, &notice) : UninstallService(&error);
  if (!silent) {
    if (!notice.empty()) std::puts(notice.c_str());
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
