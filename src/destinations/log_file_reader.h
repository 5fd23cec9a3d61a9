// Reading .bxl log files: ParseLogFileEntries turns bytes into entries and says exactly where
// and why it stopped; TLogFileReader reads a file on disk piece by piece (also while it grows).
//
// A file is complete when it ends exactly after an entry. It is cut when its last entry is
// shorter than its marker plus the record length computed from the entry's own length fields
// (the writer moves such files to their "_Incomplete" name). Bytes that do not begin with the
// marker, or a record with a negative length field, make the rest of the file unreadable.
// Nothing here reads outside the bytes given to it or past the end of the file.
//
// Threads: the parser is a free function without state; a TLogFileReader is used by one thread.
// Failure: problems of the file are results (TLogFileStop), never exceptions; std::bad_alloc
// can be thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace bx {

// One entry as read from a file. Texts are the bytes of the file (UTF-8 by convention, not
// checked here).
struct TLogFileEntry {
  int64_t Index = 0;   // 1 for the first entry of the file
  int64_t Offset = 0;  // file offset of its marker
  int32_t MsgType = 0;
  int32_t TimeStampTime = 0;
  int32_t TimeStampDate = 0;
  int32_t TimeBias = 0;
  uint32_t ProcessID = 0;
  std::string ThreadName;
  std::string ComputerName;
  std::string AppName;
  std::string Category;
  uint32_t CategoryColor = 0;
  uint32_t CategoryFontColor = 0;
  std::string TypeName;
  std::string MsgText;
  std::string Details;
};

enum class TLogFileStop {
  End,        // all bytes were whole entries
  Cut,        // the bytes end inside an entry
  BadMarker,  // an entry does not begin with the marker
  BadLength,  // a record has a negative length field
  ReadError,  // the file could not be read (TLogFileReader only)
};

struct TLogFileParse {
  TLogFileStop Stop = TLogFileStop::End;
  size_t Consumed = 0;     // bytes of whole entries taken from the front
  int64_t StopIndex = 0;   // number of the entry where parsing stopped (when not End)
  int64_t StopOffset = 0;  // file offset where parsing stopped: that entry's marker
  int64_t Needed = 0;      // Cut: the entry's full length (marker + record), when known
};

// Parses the whole entries at the front of `bytes`, which begin at file offset `baseOffset`
// with entry number `firstIndex`, appending them to `entries`.
TLogFileParse ParseLogFileEntries(std::span<const std::byte> bytes, int64_t baseOffset,
                                  int64_t firstIndex, std::vector<TLogFileEntry>& entries);

// The sentence that describes where parsing stopped, for example
// "file ends inside entry 3 at offset 424"; empty for TLogFileStop::End.
std::string DescribeLogFileStop(const TLogFileParse& parse);

// Reads a file from its start. Each Read returns the entries that have become whole since the
// previous call; a caller that follows a growing file calls Read again later.
class TLogFileReader {
 public:
  // Opens `path`; Ok() tells whether that worked, Error() why not.
  explicit TLogFileReader(const std::string& path, TFileSystem& fileSystem = RealFileSystem());

  bool Ok() const { return FFile != nullptr; }
  const std::string& Error() const { return FError; }

  // Appends the entries that are whole in the file now. The result says where the file stands:
  // End (every byte read belongs to a whole entry), Cut (the file ends inside an entry; a writer
  // may still be appending it), or a fault (BadMarker, BadLength, ReadError) after which further
  // calls return the same fault.
  TLogFileParse Read(std::vector<TLogFileEntry>& entries);

  int64_t Offset() const { return FOffset; }  // where the next entry begins

 private:
  std::unique_ptr<TReadableFile> FFile;
  std::string FError;
  int64_t FOffset = 0;
  int64_t FNextIndex = 1;
  bool FFailed = false;
  TLogFileParse FFailure;
};

}  // namespace bx
