// The running process's identifier, as records sent on this process's behalf carry it.
// Threads: any; no state.
#pragma once

#include <cstdint>

namespace bx {

uint32_t CurrentProcessID();

}  // namespace bx
