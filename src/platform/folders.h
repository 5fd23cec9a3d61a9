// Where the product keeps its files on this system.
//
// BREVIX_HOME, when set, puts every file and socket below it:
//   user data    H/user             (else ${XDG_DATA_HOME:-~/.local/share})
//   common data  H/common           (else /var/lib)
//   registry     H/registry/HKEY_LOCAL_MACHINE.ini, H/registry/HKEY_CURRENT_USER.ini
//                (else /etc/Korvane/registry.ini,
//                ${XDG_CONFIG_HOME:-~/.config}/Korvane/registry.ini)
//   run folder   H/run              (else $XDG_RUNTIME_DIR/brevix, or /tmp/brevix-<uid>)
//   services     H/services         (else /etc/systemd/system)
// A service started by systemd gets its own folders from the unit (RuntimeDirectory=,
// StateDirectory=, LogsDirectory=): RUNTIME_DIRECTORY, when set, is the run folder whatever
// BREVIX_HOME says, and ServiceManagedFolder names the other two.
// The environment is read on every call, so a test that sets BREVIX_HOME sees it at once.
// Results never end with "/" and are not created here, except the run folder (below).
// Threads: any (reads the environment only).
#pragma once

#include <stdexcept>
#include <string>

namespace bx {

enum class TRegistryRoot { LocalMachine, CurrentUser };

std::string BaseUserDataFolder();    // the per-user local application data folder
std::string BaseCommonDataFolder();  // application data common to all users
std::string RegistryFilePath(TRegistryRoot root);
std::string ServicesFolder();
std::string ServiceUnitPath();  // ServicesFolder() + "/BrevixDispatcher.service"
// The link that "systemctl enable" makes for a unit shipped in the system's own unit folder:
// ServicesFolder() + "/multi-user.target.wants/BrevixDispatcher.service".
std::string ServiceEnabledLinkPath();

// The first folder of RUNTIME_DIRECTORY, STATE_DIRECTORY or LOGS_DIRECTORY (systemd gives a
// list separated by ":"), without a trailing "/"; empty when the variable is not set.
enum class TServiceFolder { Runtime, State, Logs };
std::string ServiceManagedFolder(TServiceFolder folder);

// The folder of window endpoints and the instance lock: RUNTIME_DIRECTORY when the service
// manager gave one, else as above. Created with mode 0700 when missing; an existing folder must
// belong to this user and is closed to others. Throws ERunFolderError (with the system's error
// text, or who owns the folder) when it cannot be made safe.
class ERunFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
std::string RunFolder();

// The folder holding the running executable (no trailing "/"); "." when unknown.
std::string ExecutableFolder();
std::string ExecutablePath();

// Creates every missing folder of `path`. Returns false on failure (errno text in *error).
bool CreateFolderChain(const std::string& path, std::string* error = nullptr);

}  // namespace bx
