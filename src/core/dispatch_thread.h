// TBxDispatchThread: the single worker that empties the message queue. For each message, oldest
// first, it handles an unregistration (type 92), drops a message whose type or category the
// settings block, and otherwise delivers it to the registration of its dispatch ID. All
// delivery happens on this thread, so destinations never see two messages at once.
//
// The loop waits on the message-available event for at most 1000 ms and dispatches exactly one
// message per wake-up; the event stays set while messages remain. A request to empty the queue
// (EmptyRequested) is served on the next wake-up and keeps the unregistrations. A wait that
// times out with messages queued sets the event again (a lost signal is repaired within a
// second). The thread runs one step below normal priority; the hub's work-load timer steers it
// further through PriorityHandle().
//
// Registrations are shared-owned (see dispatch_id_list.h): a lookup takes the registry lock
// only to copy the registration's reference, and delivery runs without the lock, so a slow
// destination never holds up registering threads, and a registration removed meanwhile lives
// until its delivery has returned. The settings are read as one snapshot per message.
//
// Ownership: the hub owns the thread; queue, event and registry are borrowed and must outlive
// it. The constructor starts the thread; the destructor terminates and joins it (waiting at most
// about a second plus the message in hand). Messages still queued stay in the queue.
// Threads: construct, Terminate, WaitFor and destroy from the owning (main) thread;
// PriorityHandle from any thread while the object exists. DispatchMessage and FindDestination
// are the thread's own steps, public for the owner's inspection only: call them from no other
// thread while the dispatch thread runs.
// Failure: nothing escapes. Each failure of a message becomes one activity-log entry and the
// thread goes on with the next message. An exception in the loop itself cannot be survived
// (nothing queued would ever be delivered again): the thread logs "Exception occurred in
// DispatchThread: <reason>" and "The dispatch thread cannot go on; the dispatcher ends with
// exit code 70" at level Error and posts WM_QUIT with kExitDispatchThreadFailed, so the
// program ends with that code (and systemd restarts the service). When even that cannot be
// posted, the process ends at once with the same code. Tests reach this path in a real process
// with BREVIX_FAULT=DispatchLoop (fault_injection.h).
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <string_view>
#include <thread>

#include "core/dispatch_id_list.h"
#include "core/message_queue.h"
#include "platform/manual_reset_event.h"
#include "platform/thread_priority.h"

namespace bx {

// The exit code of a dispatcher whose dispatch thread could not go on (EX_SOFTWARE).
inline constexpr int kExitDispatchThreadFailed = 70;

class TBxDispatchThread {
 public:
  TBxDispatchThread(TBxMessageQueue& queue, TManualResetEvent& event, TBxDispatchIDList& registry);
  ~TBxDispatchThread();
  TBxDispatchThread(const TBxDispatchThread&) = delete;
  TBxDispatchThread& operator=(const TBxDispatchThread&) = delete;

  // Asks the loop to end after the message in hand (wakes it at once).
  void Terminate();
  // Joins the thread (after Terminate). Safe to call more than once.
  void WaitFor();

  // The thread's priority handle, valid from construction until WaitFor has returned.
  TThreadPriorityHandle PriorityHandle() const { return FPriority; }

  // The decision for one message: unregistration, blocked type, blocked category, delivery.
  // Exceptions from delivery propagate to the caller.
  void DispatchMessage(TDispatchMessage& message);
  // The registration for a dispatch ID, or null (a failing lookup is logged).
  std::shared_ptr<TBxDestination> FindDestination(std::string_view dispatchID);

 private:
  void Execute(const TThreadPriorityHandle& self);
  void DispatchNextMessage();
  // Reports a loop that cannot go on and ends the process (see Failure above).
  void LoopFailed(std::exception_ptr error) noexcept;

  TBxMessageQueue& FQueue;
  TManualResetEvent& FEvent;
  TBxDispatchIDList& FRegistry;
  TThreadPriorityHandle FPriority;  // stored by the constructor, read-only afterwards
  // Release by Terminate, acquire by the loop: a plain stop flag, nothing else rides on it.
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};

}  // namespace bx
