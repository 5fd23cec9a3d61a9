// TInstanceLock: the lock that lets only one dispatcher run per user: an exclusive, non-blocking
// advisory lock on a file (normally "<RunFolder()>/Brevix Dispatcher Mutex.lock"), held for the
// life of the object and so of the process. The system drops the lock when the process ends,
// however it ends, so a crashed dispatcher never blocks the next start.
//
// Ownership: the object owns the open file; the destructor releases the lock and closes it. The
// file itself stays (removing it would let a third process lock a new file while the second
// still waits on the old one).
// Threads: create and destroy on one thread.
// Failure: TryAcquire returns null when another process holds the lock, or when the file
// cannot be opened (no access); *error then holds the system's text. Nothing throws.
#pragma once

#include <memory>
#include <string>

namespace bx {

class TInstanceLock {
 public:
  static std::unique_ptr<TInstanceLock> TryAcquire(const std::string& path,
                                                   std::string* error = nullptr);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

 private:
  explicit TInstanceLock(int handle) : FHandle(handle) {}
  int FHandle;
};

}  // namespace bx
