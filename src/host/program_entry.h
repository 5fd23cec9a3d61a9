// ProgramEntry: what the dispatcher process does, decided from its command line and from
// whether the service is installed.
//
// 0. "--help" (also "-h", "-?", "/?") prints kDispatcherHelp and "--version" the version, and
//    the process ends with exit code 0 before anything else happens. Then the activity log's
//    dates take the user's short date format (LC_TIME, short_date.h).
// 1. The instance lock ("<RunFolder()>/Brevix Dispatcher Mutex.lock"; a service's is in its
//    RuntimeDirectory=, so root's own command lines never meet it): when another process holds
//    it, the process ends at once with exit code 0, silently and touching nothing, whatever the
//    switches. A run folder that cannot be used (another user's folder in /tmp, no access) is
//    said on standard error and in the journal, and the process ends with exit code 1.
// 2. Service mode when "INSTALL" or "UNINSTALL" is given (after "-", "/" or "\", any case),
//    the service's unit file exists (or the package's unit is enabled), or systemd started the
//    process as a notify service (NOTIFY_SOCKET set: "systemctl start" of a unit not enabled):
//    "-INSTALL"/"/INSTALL" installs, "-UNINSTALL"/"/UNINSTALL" removes (with "SILENT" nothing is
//    printed) and the process ends. Otherwise the process must have been started by systemd
//    (NOTIFY_SOCKET set): it runs the hub as the service until SIGTERM, sends every activity-log
//    entry to the journal as well, reports READY=1 once the ports are bound and the registrations
//    loaded, and logs the account the process runs as ("Logged on as:"). Not started by systemd, it
//    writes the failure to the system log and ends with exit code 1 before anything is created.
// 3. Otherwise the first of "REGISTER", "INIT_STEALTH", "INIT_RESTRICTED",
//    "INIT_UNRESTRICTED", "MONITOR_PORTS" (after "-", "/" or "\") acts alone and the process
//    ends with exit code 0.
// 4. Otherwise the desktop run: the hub, StartDispatcher(false), the main loop until the hub
//    closes. SIGINT and SIGTERM close it as "Stop &Dispatcher" does. With a display named in
//    the environment the desktop face (desktop_face.h) is loaded and Qt's event loop drives the
//    main loop; without one, or when the face cannot start, the program runs headless (NoTray)
//    and says why in one Info entry when a display was named. Every activity-log line is also
//    printed to standard output when that is a terminal.
//
// Threads: the process's main thread, once. Failure: the exit code; nothing throws.
#pragma once

#include <string>
#include <vector>

namespace bx {

// `args` are the program's arguments without its name. Returns the process's exit code.
int ProgramEntry(const std::vector<std::string>& args);

// True when `args` ask for the help text or the version, which were then printed.
bool ProgramInformation(const std::vector<std::string>& args, int* exitCode);

inline constexpr const char* kProductVersion = "4.0.0";

inline constexpr const char* kDispatcherHelp =
    R"(Usage: BxDispatcher [SWITCH] [OPTION...]

The Brevix Dispatcher: receives log messages from loggers on this machine (window endpoint),
over TCP (port 3434) and UDP (port 3435), and delivers them to the destinations each logger
registered. Without a switch it runs in the foreground on the desktop (or, once the service is
installed, as the systemd service BrevixDispatcher).

Switches (written -SWITCH, /SWITCH or \SWITCH, in any case; the first one found acts alone):
  -INSTALL            install the systemd service: write the unit
                      /etc/systemd/system/BrevixDispatcher.service (mode 0644), reload systemd
                      and enable it; says so when an existing, different unit is replaced
  -UNINSTALL          disable the service and remove the unit that -INSTALL wrote
  -SILENT             with -INSTALL or -UNINSTALL: print nothing about the outcome
  -REGISTER           write this program's path to the registry value "Dispatcher" (only
                      when the product's key exists), then exit
  -INIT_STEALTH       write UIMode 0 (no tray icon) into BxDispatcher.ini, then exit
  -INIT_RESTRICTED    write UIMode 1 (tray icon with log, help, about, stop), then exit
  -INIT_UNRESTRICTED  write UIMode 2 (also settings, empty queue, disable), then exit
  -MONITOR_PORTS      write MonitorPorts=1 into BxDispatcher.ini, then exit
  -INSTALL and -UNINSTALL act only after "-" or "/"; after "\" they select the service run.

Options (written +NAME=VALUE, -NAME=VALUE or /NAME=VALUE):
  /TCPPort=N          initial TCP port (default 3434); the settings file's port wins
  /UDPPort=N          initial UDP port (default 3435); the settings file's port wins
  --help              this text
  --version           the program's version

Exit codes:
  0  done, or another dispatcher of this user already runs (silently)
  1  the service could not be installed or removed, the service run was not started by
     systemd, the run folder cannot be used, or the start failed

Environment: BREVIX_HOME puts every file and socket below one folder; under systemd
RUNTIME_DIRECTORY, STATE_DIRECTORY and LOGS_DIRECTORY hold the lock and sockets, the
registrations and the activity log. See BxDispatcher(8).
)";

// The switches' characters.
inline constexpr const char* kServiceSwitchChars = "-/\\";
inline constexpr const char* kServiceActionSwitchChars = "-/";
inline constexpr const char* kAdminSwitchChars = "-/\\";

}  // namespace bx
