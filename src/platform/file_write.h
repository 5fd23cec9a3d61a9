// Writing small text files whole or line by line: the activity log file and the like.
//
// Each call opens the file, writes all of `bytes` with as few system calls as the system allows
// (one, normally, so a reader never sees half a line) and closes it again, so another program
// can read the file between calls.
// Threads: any; calls on the same file from several threads are not ordered against each other.
// Failure: throws std::runtime_error "<path>: <system error text>" when the file cannot be
// opened or written; what was written before the failure stays.
#pragma once

#include <string>
#include <string_view>

namespace bx {

// Creates the file or cuts it to nothing, then writes `bytes`.
void RewriteFile(const std::string& path, std::string_view bytes);

// Appends `bytes` to the file, creating it when missing.
void AppendToFile(const std::string& path, std::string_view bytes);

}  // namespace bx
