// TManualResetEvent: a waitable flag that stays set until reset, the in-process form of the
// message-available event ("BREVIX_MESSAGEAVAILABLE_SIGNAL"). Created unset.
//
// Ownership: the dispatch core creates the one process-wide instance; the queue and the
// dispatch thread borrow it.
// Threads: every operation from any thread. Set wakes every waiter; a waiter that arrives while
// the event is set returns at once.
// Failure: nothing throws after construction (a failing system lock aborts, as std::mutex does).
//
// Ordering: Set and Reset are both atomic exchanges (acquire-release) on the flag, so they
// cannot pass each other. When a producer stores data and then calls Set while a consumer calls
// Reset and then reads that data, either the Set comes after the Reset and sets the event again,
// or the Reset reads the Set's value and so sees the producer's data. A consumer that resets,
// finds nothing and waits therefore never sleeps on data that was already there. Set takes no
// lock when the event is already set.
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
  // The state. Set and Reset exchange it (acq_rel, see above); waiters read it under FMutex,
  // and a Set that changed it passes through FMutex before notifying, so no wake-up is lost.
  std::atomic<bool> FSignalled{false};
};

}  // namespace bx
