// Random bytes from the system's random source.
// Threads: any. Failure: aborts with a message (the kernel source does not fail in practice).
#pragma once

#include <cstddef>

namespace bx {

void FillRandomBytes(void* buffer, size_t size);

}  // namespace bx
