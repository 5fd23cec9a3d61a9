// The service manager of this system (systemd) as the dispatcher's service host sees it: the
// notification socket through which a started service reports READY=1 and STOPPING=1, the
// system log for failures that have no other reader, and the manager's own command program.
//
// Threads: any; nothing here keeps state (the environment is read on every call).
// Failure: results and *error (with the system's text); nothing throws.
#pragma once

#include <string>
#include <vector>

namespace bx {

// The manager's notification socket (the variable NOTIFY_SOCKET): a path, or an abstract
// socket name starting with "@". Empty when the process was not started by the manager.
std::string ServiceNotifySocket();

// Sends `state` ("READY=1", "STOPPING=1") as one datagram to ServiceNotifySocket(). False when
// no socket is set or the send fails.
bool SendServiceNotification(const std::string& state, std::string* error = nullptr);

// True when the system was booted with systemd as its service manager.
bool ServiceManagerRunning();

// Runs a program (searched on PATH) and waits for it; its exit code, or -1 when it could not
// be started or was ended by a signal (*error says which).
int RunProgramAndWait(const std::vector<std::string>& argv, std::string* error = nullptr);

// Writes one line at level "error" to the system log under `ident`.
void WriteSystemLogError(const std::string& ident, const std::string& text);

// True when standard output is a terminal.
bool StandardOutputIsTerminal();

}  // namespace bx
