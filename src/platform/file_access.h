// Whole-file access for the configuration files: read a file at once, replace it atomically,
// test whether the current user may write it, and small queries on paths.
//
// Paths use "/". Every function reports failure through its result and, when asked, the
// system's error text (path and errno text) in *error; none throws.
// Threads: any; the functions keep no state. Two writers replacing the same file at once do
// not corrupt it (each rename is atomic), the last rename wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bx {

// Reads the whole file into `bytes`. False (bytes empty) when it is missing or unreadable.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error = nullptr);

// Writes `bytes` to a temporary file in the same folder, flushes it to disk and renames it over
// `path`. On any failure the temporary file is removed and `path` keeps its old content. A
// replaced file keeps its permission bits; a new file gets 0644 less the umask. An existing
// file that may not be written (no write access, or no write bit at all) is not replaced:
// false with the error "<path>: Permission denied".
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* error = nullptr);
// The same, with the permission bits `mode` (e.g. 0644) whatever the umask or the old file.
bool ReplaceFileAtomicallyWithMode(const std::string& path, std::string_view bytes, uint32_t mode,
                                   std::string* error = nullptr);

// True when `path` names an existing regular file (symbolic links followed).
bool RegularFileExists(const std::string& path);

// True when `path` names an existing folder.
bool FolderExists(const std::string& path);

// Whether the current user may change the file: an existing file is opened for writing (its
// content untouched), a missing one is created empty; the handle is closed at once. The folder
// must be writable too, since a save replaces the file through a temporary beside it.
bool CheckFileWriteAccess(const std::string& path, std::string* error = nullptr);

// The folder part of `path` ("." when it has none, "/" for a file in the root).
std::string FolderOfPath(const std::string& path);

}  // namespace bx
