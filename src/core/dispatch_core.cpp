#include "core/dispatch_core.h"

#include <atomic>
#include <memory>
#include <stdexcept>

namespace bx {

namespace {
// Release on publish, acquire on read: whoever sees a pointer sees the constructed object.
std::atomic<TManualResetEvent*> gEvent{nullptr};
std::atomic<TBxMessageQueue*> gQueue{nullptr};
std::atomic<TBxDispatchIDList*> gRegistry{nullptr};
}  // namespace

void StartDispatchCore() {
  if (gEvent.load(std::memory_order_acquire) != nullptr ||
      gQueue.load(std::memory_order_acquire) != nullptr ||
      gRegistry.load(std::memory_order_acquire) != nullptr) {
    throw std::logic_error("dispatch core already started");
  }
  auto event = std::make_unique<TManualResetEvent>();
  auto queue = std::make_unique<TBxMessageQueue>(*event);
  auto registry = std::make_unique<TBxDispatchIDList>();
  gEvent.store(event.release(), std::memory_order_release);
  gQueue.store(queue.release(), std::memory_order_release);
  gRegistry.store(registry.release(), std::memory_order_release);
}

void ShutdownDispatchCore() {
  // Freeing the registry frees every registration, closing files and remote connections.
  delete gRegistry.exchange(nullptr, std::memory_order_acq_rel);
  TManualResetEvent* event = gEvent.exchange(nullptr, std::memory_order_acq_rel);
  TBxMessageQueue* queue = gQueue.exchange(nullptr, std::memory_order_acq_rel);
  // The queue borrows the event and may still set it while emptying, so it goes first.
  delete queue;
  delete event;
}

TBxMessageQueue* MessageQueue() { return gQueue.load(std::memory_order_acquire); }
TManualResetEvent* MessageAvailableEvent() { return gEvent.load(std::memory_order_acquire); }
TBxDispatchIDList* DispatchIDList() { return gRegistry.load(std::memory_order_acquire); }

}  // namespace bx
