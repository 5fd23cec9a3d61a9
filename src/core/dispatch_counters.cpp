#include "core/dispatch_counters.h"

#include <atomic>

#include "platform/mutex.h"

namespace bx {

namespace {

// Relaxed: each is a counter of its own, not tied to the invariants of any other data, so
// increments and reads need no ordering.
std::array<std::atomic<uint64_t>, kTransportCount> gReceived{};
std::atomic<uint64_t> gDelivered{0};
std::atomic<uint64_t> gFailed{0};

// The latest failure of each kind of destination; written only when a destination fails, which
// is rare and slow anyway.
struct TLastErrors {
  TMutex Lock;
  std::map<std::string, TBxDestinationError> ByKind GUARDED_BY(Lock);
};

TLastErrors& LastErrors() {
  static TLastErrors errors;
  return errors;
}

}  // namespace

void CountReceived(uint8_t connectionMethod) {
  if (connectionMethod < kTransportCount) {
    gReceived[connectionMethod].fetch_add(1, std::memory_order_relaxed);
  }
}

void CountDelivered(bool delivered) {
  (delivered ? gDelivered : gFailed).fetch_add(1, std::memory_order_relaxed);
}

void RecordDestinationError(std::string_view kind, std::string text, const TDateTime& time) {
  TLastErrors& errors = LastErrors();
  TMutexLock lock(errors.Lock);
  errors.ByKind[std::string(kind)] = TBxDestinationError{std::move(text), time};
}

TBxDispatchCounts DispatchCounts() {
  TBxDispatchCounts counts;
  for (size_t i = 0; i < kTransportCount; ++i) {
    counts.Received[i] = gReceived[i].load(std::memory_order_relaxed);
  }
  counts.Delivered = gDelivered.load(std::memory_order_relaxed);
  counts.Failed = gFailed.load(std::memory_order_relaxed);
  TLastErrors& errors = LastErrors();
  TMutexLock lock(errors.Lock);
  counts.LastErrors = errors.ByKind;
  return counts;
}

void ResetDispatchCountsForTest() {
  for (auto& counter : gReceived) counter.store(0, std::memory_order_relaxed);
  gDelivered.store(0, std::memory_order_relaxed);
  gFailed.store(0, std::memory_order_relaxed);
  TLastErrors& errors = LastErrors();
  TMutexLock lock(errors.Lock);
  errors.ByKind.clear();
}

}  // namespace bx
