// Thread priorities on this system: each priority is a per-thread nice value, lower priorities
// a larger nice value. Raising a thread above normal needs a privilege that an ordinary user
// lacks; it is attempted and a refusal is ignored. The same holds for going back up after a
// lowering: without CAP_SYS_NICE, or an RLIMIT_NICE that allows it (systemd: LimitNICE=), the
// system lets a thread's nice value only grow, so a thread set to Lower stays there. The closest
// value the limit allows is taken instead.
//
// A thread takes a handle to itself (CurrentThreadHandle) and hands it to whoever steers its
// priority, e.g. the main thread's work-load timer setting the dispatch thread's priority.
// Ownership: a handle is a small value; copies refer to the same thread and share the record of
// the priority last set. It must not be used after its thread has ended (the system may reuse
// the thread's id).
// Threads: SetThreadPriority and GetThreadPriority from any thread, concurrently.
// Failure: nothing throws; a refused change is ignored.
#pragma once

#include <memory>

namespace bx {

enum class TThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class TThreadPriorityHandle {
 public:
  TThreadPriorityHandle() = default;  // refers to no thread; Set does nothing, Get is Normal
  bool IsValid() const { return FState != nullptr; }

 private:
  struct TState;
  explicit TThreadPriorityHandle(std::shared_ptr<TState> state) : FState(std::move(state)) {}
  std::shared_ptr<TState> FState;

  friend TThreadPriorityHandle CurrentThreadHandle();
  friend void SetThreadPriority(const TThreadPriorityHandle& handle, TThreadPriority priority);
  friend TThreadPriority GetThreadPriority(const TThreadPriorityHandle& handle);
};

// A handle to the calling thread.
TThreadPriorityHandle CurrentThreadHandle();

// Applies the priority's nice value to the thread (best effort) and remembers the priority.
void SetThreadPriority(const TThreadPriorityHandle& handle, TThreadPriority priority);

// The priority last set through any copy of the handle (Normal when none was set), even when
// the system refused it.
TThreadPriority GetThreadPriority(const TThreadPriorityHandle& handle);

// The nice value used for a priority: Idle 19, Lowest 10, Lower 5, Normal 0, Higher -5,
// Highest -10, TimeCritical -20.
int NiceValueOf(TThreadPriority priority);

}  // namespace bx
