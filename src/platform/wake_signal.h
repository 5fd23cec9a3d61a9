// TWakeSignal: a readiness handle that one thread raises and another thread's event loop
// watches, so a loop that sleeps in the system's wait for its own sources (a toolkit's event
// loop) also wakes for work handed to it. On Linux an eventfd: readable while raised.
//
// Ownership: the object owns the handle and closes it in the destructor.
// Threads: Raise from any thread; Clear and NativeHandle from the watching thread. Raise and
// Clear never block.
// Failure: the constructor throws std::system_error when the system refuses the handle; Raise
// and Clear cannot fail in a way the caller could act on (a counter that cannot overflow in
// practice), so they report nothing.
#pragma once

#include <cstdint>

namespace bx {

class TWakeSignal {
 public:
  TWakeSignal();
  ~TWakeSignal();
  TWakeSignal(const TWakeSignal&) = delete;
  TWakeSignal& operator=(const TWakeSignal&) = delete;

  void Raise();
  void Clear();

  // The handle to watch for readability (a file descriptor on Linux), for the toolkit's
  // notifier. Valid for the object's life.
  intptr_t NativeHandle() const { return FHandle; }

 private:
  intptr_t FHandle;
};

}  // namespace bx
