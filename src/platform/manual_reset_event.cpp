#include "platform/manual_reset_event.h"

namespace bx {

void TManualResetEvent::Set() {
  // Always a read-modify-write, never a plain look first: see the header. Acq_rel pairs with
  // the exchange in Reset.
  if (FSignalled.exchange(true, std::memory_order_acq_rel)) return;
  // A waiter checks the flag under FMutex before it sleeps; passing through FMutex here means it
  // has either seen the flag or is asleep and gets the notification.
  { std::lock_guard lock(FMutex); }
  FChanged.notify_all();
}

void TManualResetEvent::Reset() { FSignalled.exchange(false, std::memory_order_acq_rel); }

bool TManualResetEvent::IsSet() const { return FSignalled.load(std::memory_order_acquire); }

bool TManualResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, timeout,
                           [this] { return FSignalled.load(std::memory_order_acquire); });
}

}  // namespace bx
