#include "platform/memory_release.h"

#include <malloc.h>

namespace bx {

void ReturnFreeMemoryToSystem() {
  // Every arena, and whole free pages inside the heaps as well as at their tops.
  ::malloc_trim(0);
}

}  // namespace bx
