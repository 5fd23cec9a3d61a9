// Heap accounting for the programs that link bx_heap_meter (an object library): it replaces
// the program's global operator new and delete with ones that count every block by its
// malloc_usable_size, so a test or a benchmark can tell how far the heap grew while some work
// ran. Only blocks taken through operator new count (std::string, std::vector and the parsers'
// nodes all are).
//
// Threads: the counters are atomics, any thread may allocate; PeakHeapGrowth is meant for one
// measuring thread at a time (a peak seen by another thread's work counts as well).
// Failure: operator new throws std::bad_alloc as usual.
#pragma once

#include <cstddef>

namespace bx::test {

// Bytes held now through operator new, and the most held since the last ResetHeapPeak.
size_t HeapNow();
size_t HeapPeak();
void ResetHeapPeak();

// The most the heap grew above its level at the start while `work` ran.
template <class F>
size_t PeakHeapGrowth(F&& work) {
  const size_t start = HeapNow();
  ResetHeapPeak();
  work();
  return HeapPeak() - start;
}

}  // namespace bx::test
