// TBxDispatcherSettings: every user-adjustable setting of the dispatcher, read from and written
// to BxDispatcher.ini (GetCommonDataFolder() + "BxDispatcher.ini").
//
// File layout (an ini file, see ini_file.h):
//   [Settings]   UIMode=<integer, kept as its low byte>
//   [Categories] <category>=1 (blocked) or any other value (forwarded; written as 0)
//   [Ports]      MonitorPorts=<bool>, TCPPort=<integer>, UDPPort=<integer>
//   [NamedPaths] <name>=<folder> per folder variable, then RestrictFolders=<bool>
//   [Dispatcher] Disabled=<bool>, BlockedMessages=<46 characters "1"/"0", one per type 0..45>,
//                MaxQueueMemoryMB=<integer>, StopDrainMilliseconds=<integer>
// MaxQueueMemoryMB and StopDrainMilliseconds are read only: a save leaves whatever the file
// says (or its absence) as it was, like any key this class does not write.
// Sections this class does not know (the alias sections among them) survive a save; a save
// writes Categories and NamedPaths anew at the end of the file.
//
// Ownership and threads: an instance is a value. It is loaded and saved on one thread (the main
// thread or the settings dialog). The running dispatcher shares loaded instances with its other
// threads only through PublishSettings (settings_snapshot.h) and never changes a published one.
// Failure: a missing file, key or unparsable value gives the default; nothing is validated.
// A file that cannot be written leaves CanModify false; SaveSettings then writes nothing and
// returns false. Nothing here throws or logs.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/category_list.h"
#include "config/ini_file.h"

namespace bx {

// Message types 0..47; bit n set = type n is blocked.
using TBxMessageTypeSet = std::bitset<48>;

// GetCommonDataFolder() + "BxDispatcher.ini".
std::string DefaultSettingsFileName();

class TBxDispatcherSettings {
 public:
  struct TDefaultsOnly {};

  // Defaults for the standard settings file, then the write-access check (the file is created
  // empty when missing). The owner calls LoadSettings next.
  TBxDispatcherSettings();
  // The same for the settings file at `fileName`.
  explicit TBxDispatcherSettings(std::string fileName);
  // Defaults only: no file, no check, CanModify false.
  explicit TBxDispatcherSettings(TDefaultsOnly);

  const std::string& SettingsFileName() const { return FFileName; }

  // Reads the file into the fields; keeps the loaded file for ReadLoadedValue.
  void LoadSettings();
  // Writes the fields into the file, keeping what else it holds. False, writing nothing, when
  // the file cannot be read back first (exists but unreadable) or cannot be replaced.
  bool SaveSettings(std::string* error = nullptr);
  // Sets CanModify: true when the file can be written (a missing file is created empty).
  void CheckWriteAccess();

  static std::string BlockedMessagesToString(const TBxMessageTypeSet& set);
  static TBxMessageTypeSet ParseBlockedMessages(std::string_view text);
  int BlockedMessageCount() const;  // blocked types among 0..45

  // A value of any section of the file as it was at the last LoadSettings (the alias sections
  // among them). False when the section or key is missing or nothing was loaded.
  bool ReadLoadedValue(std::string_view section, std::string_view key, std::string& value) const;
  // Whether the file existed and was read at the last LoadSettings.
  bool FileWasLoaded() const { return FFileLoaded; }

  // The folder of the named path `name` (compared without regard to case); false when absent.
  bool FindNamedPath(std::string_view name, std::string& path) const;
  // The folder restriction for log files: true when RestrictFolders is off, or when `path`
  // (less one trailing "/") begins exactly (with case) with the folder of some named path. A
  // path with a ".." part is never allowed while the restriction is on.
  bool IsPathAllowed(std::string_view path) const;

  uint8_t UIMode = 0;  // 0 Stealth, 1 Restricted, 2 Unrestricted
  bool Disabled = false;
  bool RestrictFolders = false;
  std::vector<std::string> NamedPaths;  // "name=folder", file order
  TBxCategoryList Categories;
  TBxMessageTypeSet BlockedMessages;
  bool MonitorPorts = false;
  int32_t UDPPort = 3435;
  int32_t TCPPort = 3434;
  // The memory the message queue may hold, in MB (1 MB = 1,048,576 bytes); 0 or less: no limit.
  int32_t MaxQueueMemoryMB = kDefaultMaxQueueMemoryMB;
  // How long an orderly stop goes on delivering what is queued; less than 0 counts as 0.
  int32_t StopDrainMilliseconds = kDefaultStopDrainMilliseconds;
  bool CanModify = false;  // not stored in the file

  static constexpr int32_t kDefaultMaxQueueMemoryMB = 64;
  static constexpr int32_t kDefaultStopDrainMilliseconds = 3000;
  // MaxQueueMemoryMB in bytes, 0 for no limit.
  int64_t MaxQueueMemoryBytes() const {
    return MaxQueueMemoryMB > 0 ? int64_t{MaxQueueMemoryMB} * 1024 * 1024 : 0;
  }

 private:
  std::string FFileName;
  std::shared_ptr<const TBxIniFile> FLoadedFile;  // shared by copies; never changed
  bool FFileLoaded = false;
};

// The file edits of the switches INIT_STEALTH (0), INIT_RESTRICTED (1), INIT_UNRESTRICTED (2)
// and MONITOR_PORTS: the write-access check, then only "Settings"/"UIMode" or
// "Ports"/"MonitorPorts" (true) changes, the rest of the file is kept. False when the file
// cannot be written (nothing changes then).
bool WriteInitialUIMode(uint8_t mode, const std::string& fileName = DefaultSettingsFileName());
bool WriteInitialMonitorPorts(const std::string& fileName = DefaultSettingsFileName());

}  // namespace bx
