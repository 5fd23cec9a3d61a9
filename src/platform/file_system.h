// TFileSystem: the file operations of the log files (append under a lock, rename, delete, list,
// size), behind an interface so that tests can put a fake in front of the real one (a short
// write, a full disk, a file that will not open).
//
// Writers and readers. A file opened for writing carries an exclusive advisory lock (flock)
// that is taken without waiting: a second writer that cooperates (another dispatcher, or a tool
// using this layer) is refused with kFileLockedCode and the text "locked by another writer".
// Readers take no lock, so reading a log file never makes a writer drop a message. The lock is
// advisory: a program that opens the file without asking for the lock can still write into it.
// The lock is released when the file is closed or its object destroyed.
//
// Renames never replace: Rename fails with EEXIST when the target exists, so a file already
// saved under the target name is never lost.
//
// Paths use "/". Results report errno and the system's text (TSystemError; the text for
// kFileLockedCode is "locked by another writer"); nothing throws except std::bad_alloc.
// Threads: RealFileSystem() may be used from any thread; one open file object is used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_error.h"

namespace bx {

// The code a lock refusal reports (the system's "would block").
extern const int kFileLockedCode;
// The code of a write that stopped early without the system naming a reason.
extern const int kFileShortWriteCode;

// Whether a failed open means that the file (or a folder on its way) does not exist.
bool IsFileMissing(const TSystemError& status);

// Which file a name or an open file stands for: equal for the same file, whatever its name.
struct TFileIdentity {
  int64_t Device = 0;
  int64_t Inode = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// A file open for appending, holding the writer's lock. Closed (and unlocked) by Close or by
// destruction, whichever comes first.
class TWritableFile {
 public:
  virtual ~TWritableFile() = default;
  // The file's current size; -1 on failure.
  virtual int64_t Size(TSystemError& status) = 0;
  // Appends all of `bytes` at the end of the file, continuing after partial writes. Returns the
  // number of bytes written; when that is less than asked, `status` says why (for example
  // ENOSPC).
  virtual size_t Write(std::span<const std::byte> bytes, TSystemError& status) = 0;
  // Cuts the file to `size` bytes.
  virtual bool Truncate(int64_t size, TSystemError& status) = 0;
  // Closes the file; later calls do nothing and return true.
  virtual bool Close(TSystemError& status) = 0;
  // The open file's identity; false when it cannot be told (then nothing is compared).
  virtual bool Identity(TFileIdentity& identity) {
    (void)identity;
    return false;
  }
};

// A file open for reading; no lock.
class TReadableFile {
 public:
  virtual ~TReadableFile() = default;
  // The current size of the file, -1 on failure.
  virtual int64_t Size(TSystemError& status) = 0;
  // Reads up to into.size() bytes at `offset`; fewer only at the end of the file or on failure
  // (then `status` says why).
  virtual size_t ReadAt(int64_t offset, std::span<std::byte> into, TSystemError& status) = 0;
};

// How a folder stood when it was listed; compared by FolderUnchanged only.
struct TFolderStamp {
  bool Valid = false;
  int64_t Device = 0;
  int64_t Inode = 0;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
  int64_t ListedAtNs = 0;  // steady clock
};

enum class TOpenMode {
  Existing,      // the file must exist (ENOENT otherwise)
  OpenOrCreate,  // an existing file is opened unchanged, a missing one is created empty
};

class TFileSystem {
 public:
  virtual ~TFileSystem() = default;

  // Opens for appending and takes the writer's lock without waiting. Null on failure (a lock
  // held elsewhere gives kFileLockedCode). Never truncates.
  virtual std::unique_ptr<TWritableFile> OpenForWrite(const std::string& path, TOpenMode mode,
                                                      TSystemError& status) = 0;
  virtual std::unique_ptr<TReadableFile> OpenForRead(const std::string& path,
                                                     TSystemError& status) = 0;
  // Moves `from` to `to`; fails (EEXIST) when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to, TSystemError& status) = 0;
  virtual bool Delete(const std::string& path, TSystemError& status) = 0;
  // Names (without folder) of the entries of `folder` that begin with `prefix` and end with
  // `suffix`, where the two do not overlap: the pattern prefix*suffix. Case-sensitive, in no
  // particular order; "." and ".." never listed. Empty when the folder cannot be read.
  // With `stamp`, also records how the folder stood when it was listed (see FolderUnchanged).
  virtual std::vector<std::string> ListFolder(const std::string& folder, std::string_view prefix,
                                              std::string_view suffix,
                                              TFolderStamp* stamp = nullptr) = 0;
  // True when no entry of `folder` can have been added, removed or renamed since ListFolder
  // gave `stamp`: the folder is the same one and its change times are those recorded. A stamp
  // is not trusted when the folder changed in the same clock tick as the listing (a later
  // change could carry the same time), nor after one second, so that a file system with
  // unreliable times costs at most one second of staleness. False when unsure.
  virtual bool FolderUnchanged(const std::string& folder, const TFolderStamp& stamp) = 0;
  // Size in bytes; -1 when the path is missing or is a folder.
  virtual int64_t FileSize(const std::string& path) = 0;
  // The identity of the file the path names now; false when there is none (or it cannot be
  // told).
  virtual bool IdentityOf(const std::string& path, TFileIdentity& identity) {
    (void)path;
    (void)identity;
    return false;
  }
  virtual bool FolderExists(const std::string& path) = 0;
};

// The operating system's files.
TFileSystem& RealFileSystem();

}  // namespace bx
