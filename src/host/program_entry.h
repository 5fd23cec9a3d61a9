// ProgramEntry: what the dispatcher process does, decided from its command line and from
// whether the service is installed.
//
// 0. The activity log's dates take the user's short date format (LC_TIME, short_date.h).
// 1. The instance lock ("<RunFolder()>/Brevix Dispatcher Mutex.lock"): when another process
//    holds it, or it cannot be taken, the process ends at once with exit code 0, silently and
//    touching nothing, whatever the switches.
// 2. Service mode when "INSTALL" or "UNINSTALL" is given (after "-", "/" or "\", any case) or
//    the service's unit file exists: "-INSTALL"/"/INSTALL" installs, "-UNINSTALL"/"/UNINSTALL"
//    removes (with "SILENT" nothing is printed) and the process ends. Otherwise the process
//    must have been started by systemd (NOTIFY_SOCKET set): it runs the hub as the service
//    until SIGTERM. Not started by systemd, it writes the failure to the system log and ends
//    with exit code 1 before anything is created.
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

// The switches' characters.
inline constexpr const char* kServiceSwitchChars = "-/\\";
inline constexpr const char* kServiceActionSwitchChars = "-/";
inline constexpr const char* kAdminSwitchChars = "-/\\";

}  // namespace bx
