// TMutex, TSharedMutex and their scoped locks: the standard locks with the thread-safety
// annotations (thread_annotations.h), so that the thread-safety build checks every field
// marked GUARDED_BY against the locks actually held. TCondVar waits on a TMutex.
//
// Ownership: a lock object belongs to the object whose fields it guards; a scoped lock holds
// its lock from construction to destruction and must not outlive it.
// Threads: any thread. A TMutex is not recursive: taking it twice on one thread deadlocks, as
// std::mutex does.
// Failure: nothing throws after construction (a failing system lock aborts, as std::mutex
// does).
//
// Condition variables: TCondVar wraps std::condition_variable and waits on the TMutex's own
// std::mutex, so it costs what std::condition_variable costs, and a wait keeps the analysis'
// view that the caller holds the lock across the wait. Callers loop on their condition
// themselves (`while (!ready) FChanged.Wait(FLock);`), which the analysis checks; predicates in
// lambdas it could not. A wait that must also end on a std::stop_token uses
// std::condition_variable_any with a TMutexLock (which is BasicLockable for that purpose).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#include "platform/thread_annotations.h"

namespace bx {

class CAPABILITY("mutex") TMutex {
 public:
  constexpr TMutex() noexcept = default;
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  void Lock() ACQUIRE() { FMutex.lock(); }
  void Unlock() RELEASE() { FMutex.unlock(); }

  // Tells the analysis that the caller holds the lock where it cannot see it being taken (a
  // callback run by the lock holder). No check at run time.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  friend class TCondVar;
  std::mutex FMutex;
};

// Holds a TMutex for its scope.
class SCOPED_CAPABILITY TMutexLock {
 public:
  explicit TMutexLock(TMutex& mutex) ACQUIRE(mutex) : FMutex(mutex) { FMutex.Lock(); }
  ~TMutexLock() RELEASE() {
    if (FHeld) FMutex.Unlock();
  }
  TMutexLock(const TMutexLock&) = delete;
  TMutexLock& operator=(const TMutexLock&) = delete;

  // BasicLockable, for std::condition_variable_any, which releases the lock while it waits and
  // takes it again before it returns.
  void lock() ACQUIRE() {
    FMutex.Lock();
    FHeld = true;
  }
  void unlock() RELEASE() {
    FHeld = false;
    FMutex.Unlock();
  }

 private:
  TMutex& FMutex;
  bool FHeld = true;
};

class CAPABILITY("shared_mutex") TSharedMutex {
 public:
  TSharedMutex() = default;
  TSharedMutex(const TSharedMutex&) = delete;
  TSharedMutex& operator=(const TSharedMutex&) = delete;

  void Lock() ACQUIRE() { FMutex.lock(); }
  void Unlock() RELEASE() { FMutex.unlock(); }
  void LockShared() ACQUIRE_SHARED() { FMutex.lock_shared(); }
  void UnlockShared() RELEASE_SHARED() { FMutex.unlock_shared(); }

 private:
  std::shared_mutex FMutex;
};

// Holds a TSharedMutex exclusively for its scope.
class SCOPED_CAPABILITY TWriterLock {
 public:
  explicit TWriterLock(TSharedMutex& mutex) ACQUIRE(mutex) : FMutex(mutex) { FMutex.Lock(); }
  ~TWriterLock() RELEASE() { FMutex.Unlock(); }
  TWriterLock(const TWriterLock&) = delete;
  TWriterLock& operator=(const TWriterLock&) = delete;

 private:
  TSharedMutex& FMutex;
};

// Holds a TSharedMutex shared for its scope.
class SCOPED_CAPABILITY TReaderLock {
 public:
  explicit TReaderLock(TSharedMutex& mutex) ACQUIRE_SHARED(mutex) : FMutex(mutex) {
    FMutex.LockShared();
  }
  ~TReaderLock() RELEASE() { FMutex.UnlockShared(); }
  TReaderLock(const TReaderLock&) = delete;
  TReaderLock& operator=(const TReaderLock&) = delete;

 private:
  TSharedMutex& FMutex;
};

class TCondVar {
 public:
  TCondVar() = default;
  TCondVar(const TCondVar&) = delete;
  TCondVar& operator=(const TCondVar&) = delete;

  // Releases `mutex` while it waits and holds it again when it returns. May return without a
  // notification (spuriously), so callers test their condition in a loop.
  void Wait(TMutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.FMutex, std::adopt_lock);
    FCond.wait(lock);
    lock.release();  // the caller's scoped lock still owns it
  }
  // As Wait, until `deadline` (steady clock) at the latest; false when it returned because the
  // deadline passed.
  bool WaitUntil(TMutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.FMutex, std::adopt_lock);
    const std::cv_status status = FCond.wait_until(lock, deadline);
    lock.release();
    return status == std::cv_status::no_timeout;
  }

  void NotifyOne() noexcept { FCond.notify_one(); }
  void NotifyAll() noexcept { FCond.notify_all(); }

 private:
  std::condition_variable FCond;
};

}  // namespace bx
