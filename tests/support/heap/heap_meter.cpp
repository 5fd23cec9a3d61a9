#include "heap_meter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Relaxed: counters on their own, read after the measured work; nothing is published through
// them.
std::atomic<size_t> gHeapNow{0};
std::atomic<size_t> gHeapPeak{0};

void* Allocate(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  const size_t block = malloc_usable_size(p);
  const size_t now = gHeapNow.fetch_add(block, std::memory_order_relaxed) + block;
  size_t peak = gHeapPeak.load(std::memory_order_relaxed);
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
  return p;
}

void Release(void* p) {
  if (p == nullptr) return;
  gHeapNow.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace bx::test {

size_t HeapNow() { return gHeapNow.load(std::memory_order_relaxed); }
size_t HeapPeak() { return gHeapPeak.load(std::memory_order_relaxed); }
void ResetHeapPeak() { gHeapPeak.store(HeapNow(), std::memory_order_relaxed); }

}  // namespace bx::test
