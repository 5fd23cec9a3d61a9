// TBxLogFileDestination (kind "File"): appends every message it receives to a .bxl log file.
//
// Options: Path (required: the option text must contain the word PATH), MaxSize (KB per part;
// parts are on above 1), MaxParts (parts kept; 0 or less: no limit), LogByDate and
// LogByDateFormat (the current date in the file name), KeepOpen (below) and DataFormat (stored
// only).
// Path is unquoted and its folder variables $(name) are expanded from the settings' NamedPaths
// when its item is applied; with RestrictFolders on, a path outside the named folders makes
// the destination invalid.
//
// Each message is one open, append and close: the file name (date, part, rotation) is chosen
// afresh from the clock and from what is on disk, so several destinations, dispatchers or runs
// can share a file.
//
// KeepOpen=True keeps the file open (and locked) between messages instead. The open file is
// used while the date part of its name stays the same and, with parts on, while its size (known
// from the handle and the bytes written, not from the path) is below MaxSize; otherwise it is
// closed and the name chosen afresh as above (a rollover). It is also closed after
// kKeptFileIdleMs without a message (kept_open_files.h), when the destination is destroyed (its
// registration ends, or the program stops), and when the name no longer leads to the open file
// (replaced or removed; looked at once a second at most by the injected clock): the next
// message then opens a file of that name again. Another destination of this process that needs
// a kept file is given it: the holder closes it first. While the dispatch thread has more
// messages queued (DispatchBacklog), a kept file's entries are gathered, up to
// kKeptWriteBatchBytes, and written together: by the message that finds no backlog, when the
// queue runs empty (FlushKeptFiles), and before the file is closed for any reason. Entries keep
// their order and every decision (size, part, rollover) counts the gathered bytes. The file is
// opened with the writer's lock (file_system.h); a file held by another writer is tried five times,
// 20 ms apart. A write that stops early never leaves a cut entry under the regular name: the file
// is moved to its
// "_Incomplete.bxl" name, or, when that cannot be done, cut back to its last whole entry
// (gathered entries that did not reach the file are lost with the one that was cut).
//
// Ownership: owns nothing between messages (with KeepOpen: the kept file); borrows the file
// system and the clock, which must outlive it. Threads: configured on the registering thread,
// Dispatch on the dispatch thread only (destination.h); destroyed on any thread once no
// delivery runs. Failure: every problem is an activity-log line and never makes the
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
#include "destinations/kept_open_files.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace bx {

// The table of kinds makes it through DestinationClassOf<TBxLogFileDestination>()
// (core/known_destinations.h): ClassKindName and the default constructor, which uses the real
// files and the system clock.
class TBxLogFileDestination : public TBxDestination, private TBxKeptOpenFile {
 public:
  static std::string_view ClassKindName() { return "File"; }

  TBxLogFileDestination();
  TBxLogFileDestination(TFileSystem& fileSystem, const TClock& clock);
  ~TBxLogFileDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void SetOptions(const std::string& text) override;
  std::span<const TBxOptionDef> OptionTable() const override;
  void Dispatch(TDispatchMessage& message) override;

  const std::string& GetPath() const { return FPath; }
  // Unquotes, expands folder variables and applies the folder restriction (see above).
  void SetPath(const std::string& value);

  // The file that the message would go to now (date, part and any rotation that makes room
  // for it are decided here). Stores it in CurrentFileName and returns that.
  const std::string& ChooseFileName();

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

  // Whether a file is held open between messages now (KeepOpen).
  bool HoldsOpenFile() const { return FFileStream != nullptr; }
  // Bytes of entries gathered for the kept file and not yet written.
  size_t PendingBytes() const { return FPending.size(); }

  // The most a kept file gathers before it writes.
  static constexpr size_t kKeptWriteBatchBytes = 64 * 1024;

 private:
  // TBxKeptOpenFile, called through the list of kept files on the dispatch thread.
  bool IdleExpired() const override;
  void CloseKeptFile() override;
  const std::string& KeptFileName() const override { return FKept.Name; }
  bool FlushKeptFile() override { return WritePending(); }

  // The base name: Path without its extension, with the date when LogByDate is on.
  std::string BaseName() const;
  // Whether the kept file may take the next message (name, part size, identity).
  bool KeptFileStillFits();
  // Closes the file of the current message (and forgets a kept one).
  void CloseFile();
  std::string ExpandFolderVariables(std::string text);
  std::string PartFileName(const std::string& base, int64_t part) const;
  int64_t ChoosePart(const std::string& base);
  // Opens CurrentFileName into FFileStream with retries; logs and returns false on failure.
  bool OpenFile();
  // Appends FEntry (or gathers it, see above); false when an entry was cut (the file has been
  // moved aside).
  bool WriteEntry();
  // Writes the gathered entries; false when they were cut (as WriteEntry).
  bool WritePending();
  // Writes `bytes`, whose entries end at `ends` (offsets into it, ascending, the last one its
  // size), to FFileStream, the file called `name`; moves a cut file aside. True when whole.
  bool WriteEntries(std::span<const std::byte> bytes, std::span<const size_t> ends,
                    const std::string& name);

  TFileSystem& FFileSystem;
  const TClock& FClock;
  std::string FPath;
  std::string FPathStem;                       // FPath without its extension
  std::unique_ptr<TWritableFile> FFileStream;  // while a message is written, or kept open
  // The kept file (valid while FFileStream is kept between messages).
  struct TKept {
    std::string Name;
    std::string Base;  // BaseName() when it was opened
    int64_t Size = 0;  // its size: at opening, plus every byte written since
    bool HasIdentity = false;
    TFileIdentity Identity;
    int64_t LastUseMs = 0;    // steady clock
    int64_t LastCheckMs = 0;  // when the name was last compared with the open file
  } FKept;
  // Whether this destination is in the list of kept files. Dispatch thread only: set when it
  // registers, cleared by CloseKeptFile (the list drops a holder before calling it).
  bool FKeptListed = false;
  // The last part file found in a folder, kept while the folder stays unchanged.
  struct TLastPart {
    std::string Folder;
    std::string Prefix;
    TFolderStamp Stamp;
    std::string Name;  // empty: no part file
  } FLastPart;
  std::vector<std::byte> FEntry;  // reused for every message
  // Entries gathered for the kept file, and where each ends in FPending; dispatch thread.
  std::vector<std::byte> FPending;
  std::vector<size_t> FPendingEnds;
};

}  // namespace bx
