// Where the product's files are: data folders, the installation folder and the programs and
// help file in it, and whether the dispatcher is installed as a service (a systemd unit).
//
// Threads: any. Nothing here keeps state. Failure: every function degrades to an empty result
// (the executable's folder for the data folders) instead of failing; only ShowHelpTopic tells
// the user, on standard error, that the help file is missing.
#pragma once

#include <string>

namespace bx {

// HKEY_LOCAL_MACHINE "\Software\Korvane\Brevix\4.0" value "InstallPath" as stored, or "".
std::string GetInstallPath();

// <base folder>/Korvane/Brevix/4.0/, created when missing. When the folder neither exists nor
// can be created, the executable's folder. Both end with "/".
std::string GetUserDataFolder();    // activity log, dispatch-ID file
std::string GetCommonDataFolder();  // settings file

// Where the activity log and the dispatch-ID file live: the service's LogsDirectory= and
// StateDirectory= (LOGS_DIRECTORY, STATE_DIRECTORY) when systemd gave them, each ending with
// "/"; otherwise GetUserDataFolder().
std::string GetActivityLogFolder();
std::string GetDispatchIDsFolder();

// GetInstallPath() + "Bin/BxLiveViewer"; empty when there is no install path.
std::string GetLiveViewerPath();

// True when the service's unit file exists in ServicesFolder() (written by "INSTALL"), or the
// unit shipped by the package was enabled there (its link exists): installed, running or not.
bool IsServiceInstalled();

// GetInstallPath() + "Help/Brevix4.chm", the value used as stored.
std::string HelpFilePath();

// Whether there is an install path and the help file exists below it.
bool HelpFileExists();

// What the user is told when the help file is missing (a message box titled "Brevix Help").
inline constexpr const char* kHelpMissingText =
    "Brevix Help File (Brevix4.chm) could not be found.";

// Opens the help file with the desktop's default handler. The handler cannot be told a page,
// so the topic ("Dispatcher", "Dispatcher_Settings") only selects nothing beyond the file.
// When the file is missing, writes "Brevix Help: Brevix Help File (Brevix4.chm) could not be
// found." to standard error. Returns whether the handler was started.
bool ShowHelpTopic(const std::string& topic);

// The help viewer is a program of the desktop's choice, started detached: it belongs to the
// user's session and is not closed by the dispatcher. Kept so that callers need not know.
void CloseHelpWindow();

}  // namespace bx
