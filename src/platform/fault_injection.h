// Fault injection for end-to-end tests: the environment variable BREVIX_FAULT names, separated
// by commas, the failure points that a test wants to see fail in a real process (for example
// "DispatchLoop": the dispatch thread's loop throws on its first message). Unset, nothing is
// ever injected; the variable is read once, at the first question.
//
// Threads: any. Failure: none.
#pragma once

#include <string_view>

namespace bx {

// True when BREVIX_FAULT lists `point` (exact, case-sensitive).
bool FaultInjected(std::string_view point);

}  // namespace bx
