// The service manager of this system (systemd) as the dispatcher's service host sees it: the
// notification socket through which a started service reports READY=1 and STOPPING=1, the
// system log for failures that have no other reader, and the manager's own command program.
//
// Threads: any; nothing here keeps state (the environment is read on every call).
// Failure: results and *error (with the system's text); nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bx {

// The manager's notification socket (the variable NOTIFY_SOCKET): a path, or an abstract
// socket name starting with "@". Empty when the process was not started by the manager.
std::string ServiceNotifySocket();

// Sends `state` ("READY=1", "STOPPING=1", "STATUS=...", "WATCHDOG=1") as one datagram to
// ServiceNotifySocket(), waiting at most 5 s for room at the manager. False when no socket is
// set or the send fails.
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

// The name of the account the process runs as (its effective user), or the number when the
// account has no name.
std::string EffectiveUserName();

// True when the system knows an account of that name.
bool UserAccountExists(const std::string& name);

// The watchdog interval the manager asks for (WATCHDOG_USEC, for this process: WATCHDOG_PID
// unset or equal to it), in microseconds; 0 when there is none.
uint64_t ServiceWatchdogMicroseconds();

// TJournal: entries for the system journal, sent as datagrams of the journal's native protocol
// to /run/systemd/journal/socket (BREVIX_JOURNAL_SOCKET names another socket, for tests). Each
// entry carries MESSAGE, PRIORITY (syslog 0..7), SYSLOG_IDENTIFIER and the extra fields given;
// a value holding a newline is sent in the protocol's length-prefixed form. A message longer
// than 48 KiB is cut there (a datagram cannot carry much more). When the journal's queue is
// full, Send waits at most 2 s for room; after such a wait ran out it does not wait again until
// an entry gets through, so a stalled journal never holds the caller (the main thread) for long.
// Ownership: the object owns its datagram socket. Threads: one thread at a time.
// Failure: Send returns false with the reason in *error; nothing throws.
class TJournal {
 public:
  explicit TJournal(std::string identifier);
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  static std::string SocketPath();
  bool Send(int priority, std::string_view message,
            const std::vector<std::pair<std::string, std::string>>& fields = {},
            std::string* error = nullptr);

 private:
  std::string FIdentifier;
  int FHandle = -1;       // connected to SocketPath() once the first entry was sent
  bool FStalled = false;  // the last send found no room even after waiting
};

}  // namespace bx
