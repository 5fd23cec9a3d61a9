#include "core/dispatch_core.h"

#include <atomic>
#include <memory>
#include <stdexcept>

namespace bx {

namespace {
// Release on publish, acquire on read: whoever sees a pointer sees the constructed object.
std::atomic<TManualResetEvent*> gEvent{nullptr};
std::atomic<TBxMessageQueue*> gQueue{nullptr};
}  // namespace

void StartDispatchCore() {
  if (gEvent.load(std::memory_order_acquire) != nullptr ||
      gQueue.load(std::memory_order_acquire) != nullptr) {
    throw std::logic_error("dispatch core already started");
  }
  auto event = std::make_unique<TManualResetEvent>();
  auto queue = std::make_unique<TBxMessageQueue>(*event);
  // DISPATCH-ID REGISTRY: create the process-wide TBxDispatchIDList here, after the queue.
  gEvent.store(event.release(), std::memory_order_release);
  gQueue.store(queue.release(), std::memory_order_release);
}

void ShutdownDispatchCore() {
  // DISPATCH-ID REGISTRY: free it here first and clear its global, before the event and queue.
  TManualResetEvent* event = gEvent.exchange(nullptr, std::memory_order_acq_rel);
  TBxMessageQueue* queue = gQueue.exchange(nullptr, std::memory_order_acq_rel);
  // The queue borrows the event and may still set it while emptying, so it goes first.
  delete queue;
  delete event;
}

TBxMessageQueue* MessageQueue() { return gQueue.load(std::memory_order_acquire); }
TManualResetEvent* MessageAvailableEvent() { return gEvent.load(std::memory_order_acquire); }

}  // namespace bx
