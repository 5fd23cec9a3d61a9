// Starting a program that lives on by itself: the desktop's handler for a file, for example.
//
// Threads: any. Failure: false with the system's error text in *error when the program could
// not be started (not found, not executable); what it does afterwards is not watched.
#pragma once

#include <string>
#include <vector>

namespace bx {

// Runs argv[0] (searched on PATH) with the given arguments in a new session, detached from
// this process: nothing has to wait for it, and it outlives this process.
bool SpawnDetached(const std::vector<std::string>& argv, std::string* error = nullptr);

}  // namespace bx
