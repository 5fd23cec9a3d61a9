// TManualResetEvent: a waitable flag that stays set until reset, the in-process form of the
// message-available event ("BREVIX_MESSAGEAVAILABLE_SIGNAL"). Created unset.
//
// Ownership: the dispatch core creates the one process-wide instance; the queue and the
// dispatch thread borrow it.
// Threads: every operation from any thread. Set wakes every waiter; a waiter that arrives while
// the event is set returns at once.
// Failure: nothing throws after construction (a failing system lock aborts, as std::mutex does).
//
// Ordering: what a setter stored before Set is seen by a waiter that calls Reset, then looks
// again at everything its setters publish, and only then waits: it never sleeps on data that
// was already there (the fences in manual_reset_event.cpp). A waiter must not rely on the event
// alone for that: a Set that finds the event set changes nothing and takes no lock.
// (Under ThreadSanitizer, which does not model fences, Set always exchanges instead.)
#pragma once

#include <atomic>
#include <chrono>

#include "platform/mutex.h"

namespace bx {

class TManualResetEvent {
 public:
  // The name the event carries where the system has named events.
  static constexpr const char* kMessageAvailableName = "BREVIX_MESSAGEAVAILABLE_SIGNAL";

  TManualResetEvent() = default;
  TManualResetEvent(const TManualResetEvent&) = delete;
  TManualResetEvent& operator=(const TManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // True as soon as the event is set (at once when it already is), false after `timeout`.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  mutable TMutex FMutex;
  TCondVar FChanged;
  // The state. Reset exchanges it and Set looks first, with fences (see above); waiters read it
  // under FMutex, and a Set that changed it passes through FMutex before notifying, so no
  // wake-up is lost.
  std::atomic<bool> FSignalled{false};
};

}  // namespace bx
