#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>

namespace bx {

struct TThreadPriorityHandle::TState {
  explicit TState(pid_t tid) : Tid(tid) {}
  const pid_t Tid;  // the kernel's id of the thread; nice values are per thread on Linux
  // Relaxed: a value on its own, read back by Get; it guards nothing else.
  std::atomic<TThreadPriority> Last{TThreadPriority::Normal};
};

int NiceValueOf(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::Idle:
      return 19;
    case TThreadPriority::Lowest:
      return 10;
    case TThreadPriority::Lower:
      return 5;
    case TThreadPriority::Normal:
      return 0;
    case TThreadPriority::Higher:
      return -5;
    case TThreadPriority::Highest:
      return -10;
    case TThreadPriority::TimeCritical:
      return -20;
  }
  return 0;
}

TThreadPriorityHandle CurrentThreadHandle() {
  return TThreadPriorityHandle(
      std::make_shared<TThreadPriorityHandle::TState>(static_cast<pid_t>(::syscall(SYS_gettid))));
}

void SetThreadPriority(const TThreadPriorityHandle& handle, TThreadPriority priority) {
  if (!handle.FState) return;
  handle.FState->Last.store(priority, std::memory_order_relaxed);
  const int nice = NiceValueOf(priority);
  // Lowering (a larger nice value) is always allowed; going back up below the starting value
  // needs CAP_SYS_NICE or RLIMIT_NICE. Try the value, and when refused at least the best the
  // limit allows; otherwise leave the thread as it is.
  if (::setpriority(PRIO_PROCESS, static_cast<id_t>(handle.FState->Tid), nice) == 0) return;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const int floor = 20 - static_cast<int>(limit.rlim_cur);  // the lowest nice allowed
    if (floor > nice && floor <= 19) {
      (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(handle.FState->Tid), floor);
    }
  }
}

TThreadPriority GetThreadPriority(const TThreadPriorityHandle& handle) {
  if (!handle.FState) return TThreadPriority::Normal;
  return handle.FState->Last.load(std::memory_order_relaxed);
}

}  // namespace bx
