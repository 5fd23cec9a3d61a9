// TBxLogFileDestination (kind "File"): appends every message it receives to a .bxl log file.
//
// Options: Path (required: the option text must contain the word PATH), MaxSize (KB per part;
// parts are on above 1), MaxParts (parts kept; 0 or less: no limit), LogByDate and
// LogByDateFormat (the current date in the file name), KeepOpen and DataFormat (stored only).
// Path is unquoted and its folder variables $(name) are expanded from the settings' NamedPaths
// when its item is applied; with RestrictFolders on, a path outside the named folders makes
// the destination invalid.
//
// Each message is one open, append and close: the file name (date, part, rotation) is chosen
// afresh from the clock and from what is on disk, so several destinations, dispatchers or runs
// can share a file. The file is opened with the writer's lock (file_system.h); a file held by
// another writer is tried five times, 20 ms apart. A write that stops early never leaves a cut
// entry under the regular name: the file is moved to its "_Incomplete.bxl" name, or, when that
// cannot be done, cut back to its last whole entry.
//
// Ownership: owns nothing between messages; borrows the file system and the clock, which must
// outlive it. Threads: configured on the registering thread, Dispatch on the dispatch thread
// only (destination.h). Failure: every problem is an activity-log line and never makes the
// destination invalid; Dispatch throws only std::bad_alloc, or std::invalid_argument for a
// record with a negative length (one that did not pass CheckDispatchMessage), before any file
// is touched.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "destinations/destination.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace bx {

// The table of kinds makes it through DestinationClassOf<TBxLogFileDestination>()
// (core/known_destinations.h): ClassKindName and the default constructor, which uses the real
// files and the system clock.
class TBxLogFileDestination : public TBxDestination {
 public:
  static std::string_view ClassKindName() { return "File"; }

  TBxLogFileDestination();
  TBxLogFileDestination(TFileSystem& fileSystem, const TClock& clock);

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;
  void Dispatch(TDispatchMessage& message) override;

  const std::string& GetPath() const { return FPath; }
  // Unquotes, expands folder variables and applies the folder restriction (see above).
  void SetPath(const std::string& value);

  // The file that the message would go to now (date, part and any rotation that makes room
  // for it are decided here). Stores it in CurrentFileName.
  std::string ChooseFileName();

  int32_t MaxSize = 0;
  int32_t MaxParts = 0;
  bool KeepOpen = false;
  bool LogByDate = false;
  std::string LogByDateFormat = "yyyymmdd";
  std::string DataFormat;
  // The file chosen for the latest message.
  std::string CurrentFileName;
  // Whether the latest message's file was opened.
  bool FileOpened = false;

 private:
  std::string ExpandFolderVariables(std::string text);
  std::string PartFileName(const std::string& base, int64_t part) const;
  int64_t ChoosePart(const std::string& base);
  // Opens CurrentFileName into FFileStream with retries; logs and returns false on failure.
  bool OpenFile();
  void WriteEntry();

  TFileSystem& FFileSystem;
  const TClock& FClock;
  std::string FPath;
  std::unique_ptr<TWritableFile> FFileStream;  // only while a message is written
  // The last part file found in a folder, kept while the folder stays unchanged.
  struct TLastPart {
    std::string Folder;
    std::string Prefix;
    TFolderStamp Stamp;
    std::string Name;  // empty: no part file
  } FLastPart;
  std::vector<std::byte> FEntry;  // reused for every message
};

}  // namespace bx
