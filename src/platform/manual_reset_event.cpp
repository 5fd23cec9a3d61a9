#include "platform/manual_reset_event.h"

namespace bx {

void TManualResetEvent::Set() {
  // Pairs with the fence in Reset (see the header): our caller's earlier stores are ordered
  // before the flag is read.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (FSignalled.load(std::memory_order_relaxed)) return;
  {
    std::lock_guard lock(FMutex);
    FSignalled.store(true, std::memory_order_relaxed);
  }
  FChanged.notify_all();
}

void TManualResetEvent::Reset() {
  {
    std::lock_guard lock(FMutex);
    FSignalled.store(false, std::memory_order_relaxed);
  }
  // Pairs with the fence in Set: the caller's later loads see what a Set that missed this
  // reset had published.
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

bool TManualResetEvent::IsSet() const {
  // Acquire is enough for a snapshot; a caller that needs the data ordering waits instead.
  return FSignalled.load(std::memory_order_acquire);
}

bool TManualResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, timeout,
                           [this] { return FSignalled.load(std::memory_order_relaxed); });
}

}  // namespace bx
