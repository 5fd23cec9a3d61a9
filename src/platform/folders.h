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
// The environment is read on every call, so a test that sets BREVIX_HOME sees it at once.
// Results never end with "/" and are not created here, except the run folder (below).
// Threads: any (reads the environment only).
#pragma once

#include <string>

namespace bx {

enum class TRegistryRoot { LocalMachine, CurrentUser };

std::string BaseUserDataFolder();    // the per-user local application data folder
std::string BaseCommonDataFolder();  // application data common to all users
std::string RegistryFilePath(TRegistryRoot root);
std::string ServicesFolder();
std::string ServiceUnitPath();  // ServicesFolder() + "/BrevixDispatcher.service"

// The folder of window endpoints and the instance lock. Created with mode 0700 when missing;
// an existing folder must belong to this user and not be open to others. Throws
// std::runtime_error (with the system's error text) when it cannot be made safe.
std::string RunFolder();

// The folder holding the running executable (no trailing "/"); "." when unknown.
std::string ExecutableFolder();
std::string ExecutablePath();

// Creates every missing folder of `path`. Returns false on failure (errno text in *error).
bool CreateFolderChain(const std::string& path, std::string* error = nullptr);

}  // namespace bx
