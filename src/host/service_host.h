// The service host: the dispatcher as the system service "BrevixDispatcher" ("Brevix
// Dispatcher"), run by systemd as a Type=notify unit.
//
// TSvcDispatcher turns the service manager's start and stop into messages to the main loop:
// Start posts WM_USER+71 with WParam 1 (the hub's StartDispatcher(true)) and reports READY=1;
// Stop posts WM_QUIT (the loop ends without the "stopped" entry; the hub's destructor saves
// the registrations) and reports STOPPING=1.
//
// InstallService writes the unit file (ServiceUnitText) into ServicesFolder() with mode 0644
// and, where systemd runs and that folder is the system's own, reloads systemd and enables the
// unit; an existing unit with another text is kept as "<unit>.old" and *notice says so.
// UninstallService disables the unit and removes the file that InstallService wrote.
//
// Ownership: the entry point owns the service object; the loop is borrowed.
// Threads: Start and Stop from any thread (they only post and send a datagram).
// Failure: Start/Stop report a failed notification on standard error; install and uninstall
// return false with the reason in *error.
#pragma once

#include <string>

#include "platform/log_entry.h"
#include "platform/message_loop.h"

namespace bx {

inline constexpr const char* kServiceName = "BrevixDispatcher";
inline constexpr const char* kServiceDisplayName = "Brevix Dispatcher";
// The folder of system units when BREVIX_HOME does not redirect it.
inline constexpr const char* kSystemUnitFolder = "/etc/systemd/system";
// The system account the unit runs the service as (the package creates it).
inline constexpr const char* kServiceUser = "brevix";

class TSvcDispatcher {
 public:
  explicit TSvcDispatcher(TMessageLoop& loop) : FLoop(loop) {}

  void Start();
  void Stop();

 private:
  TMessageLoop& FLoop;
};

// The unit file's text for a program at `executablePath`: a hardened Type=notify unit that
// runs the program as the user "brevix" with its folders given by systemd.
std::string ServiceUnitText(const std::string& executablePath);

// The journal priority (syslog level) of an activity-log level: Error 3, Warning 4, Reg and
// Unreg 5, Info and Setting 6.
int JournalPriority(TLogLevel level);

bool InstallService(std::string* error, std::string* notice = nullptr);
bool UninstallService(std::string* error);

// The "INSTALL"/"UNINSTALL" run: installs or removes the service and tells the outcome on
// standard output ("Service installed successfully", "Service uninstalled successfully") or
// standard error, unless `silent`. Returns the process's exit code (0 on success).
int RunServiceInstallation(bool install, bool silent);

}  // namespace bx
