#include "platform/manual_reset_event.h"

namespace bx {

// ThreadSanitizer does not model fences (the compiler refuses them under it). There Set
// exchanges the flag every time and Reset passes no fence: read-modify-writes of one flag are
// totally ordered, so a Reset either comes before a Set (which then sets the event again) or
// reads that Set's value with acquire and sees what the setter stored before it.
#if defined(__SANITIZE_THREAD__)
#define BX_EVENT_FENCES 0
#else
#define BX_EVENT_FENCES 1
#endif

// Invariant: a Set's fence and a Reset's fence are totally ordered. If the Reset's comes first,
// the Set's look at the flag sees the reset and sets the event again; if the Set's comes first,
// the resetting waiter's later reads see what the setter stored before Set. Either way no
// wake-up is lost, and a Set that finds the event set writes nothing, so the setters do not
// take the flag's cache line from each other while it stays set.
void TManualResetEvent::Set() {
#if BX_EVENT_FENCES
  // Seq_cst fence: orders the caller's stores before the look at the flag against a Reset's
  // fence. Relaxed look: the fences carry the ordering.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (FSignalled.load(std::memory_order_relaxed)) return;
#endif
  // Acq_rel: pairs with Reset's exchange, so two setters and a reset agree on one order.
  if (FSignalled.exchange(true, std::memory_order_acq_rel)) return;
  // A waiter checks the flag under FMutex before it sleeps; passing through FMutex here means it
  // has either seen the flag or is asleep and gets the notification.
  { TMutexLock lock(FMutex); }
  FChanged.NotifyAll();
}

void TManualResetEvent::Reset() {
  FSignalled.exchange(false, std::memory_order_acq_rel);
#if BX_EVENT_FENCES
  // Seq_cst fence: the caller's next reads come after it and are ordered against a Set's fence.
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

bool TManualResetEvent::IsSet() const { return FSignalled.load(std::memory_order_acquire); }

bool TManualResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TMutexLock lock(FMutex);
  while (!FSignalled.load(std::memory_order_acquire)) {
    if (!FChanged.WaitUntil(FMutex, deadline)) return FSignalled.load(std::memory_order_acquire);
  }
  return true;
}

}  // namespace bx
