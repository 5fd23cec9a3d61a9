// The product's registry values, kept in one ini file per root (RegistryFilePath): one section
// per key path, written with "\" between its parts, one "name=value" line per string value.
//
// Key paths compare without regard to case, and leading "\" characters are ignored, so
// "\Software\Korvane\Brevix\4.0" and "software\korvane\brevix\4.0" name the same key. Value
// names compare without regard to case too. A key exists when its section exists, even empty.
//
// Threads: any. Writes within this process are serialised, and each one reads the file,
// changes the value and replaces the file atomically, so a reader never sees half a file.
// Writers in two processes at once may lose one of the two changes (the last rename wins).
// Failure: a missing or unreadable file reads as an empty registry; a failed write leaves the
// file as it was and returns false. Nothing here throws or logs.
#pragma once

#include <string>

#include "platform/folders.h"

namespace bx {

// The product's key below both roots.
inline constexpr const char* kProductRegistryKey = "\\Software\\Korvane\\Brevix\\4.0";

// False (value untouched) when the key or the value is missing.
bool RegistryReadString(TRegistryRoot root, const std::string& key, const std::string& name,
                        std::string& value);

// Writes the value, creating the key (and the registry file and its folder) when createKey is
// true. False, writing nothing, when the key does not exist and createKey is false, or when the
// file cannot be written.
bool RegistryWriteString(TRegistryRoot root, const std::string& key, const std::string& name,
                         const std::string& value, bool createKey);

bool RegistryKeyExists(TRegistryRoot root, const std::string& key);

}  // namespace bx
