// TManualResetEvent: a waitable flag that stays set until reset, the in-process form of the
// message-available event ("BREVIX_MESSAGEAVAILABLE_SIGNAL"). Created unset.
//
// Ownership: the dispatch core creates the one process-wide instance; the queue and the
// dispatch thread borrow it.
// Threads: every operation from any thread. Set wakes every waiter; a waiter that arrives while
// the event is set returns at once.
// Failure: nothing throws after construction (a failing system lock aborts, as std::mutex does).
//
// Ordering: Set on an event that is already set costs no lock. It still pairs with Reset: when
// a producer stores data and then calls Set while a consumer calls Reset and then reads that
// data, either the Set sees the reset and sets the event again or the consumer sees the data
// (both sides pass a sequentially consistent fence between their store and their load). So a
// consumer that resets, finds nothing and waits never sleeps on data that was already there.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

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
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  // Written only under FMutex, so a waiter cannot miss a Set between its check and its sleep;
  // read without it on Set's fast path and by IsSet. Relaxed: the ordering against the
  // caller's data comes from the fences in Set and Reset, and waiters read it under FMutex.
  std::atomic<bool> FSignalled{false};
};

}  // namespace bx
