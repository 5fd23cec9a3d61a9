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
// until its delivery has returned. The last lookup is reused while the registry's generation
// is unchanged and the next message carries the same dispatch ID; it is let go when the
// registry changes, at every unregistration and whenever the queue runs empty, so a removed
// registration never outlives the burst it was serving. The settings are read as one snapshot
// per message.
//
// Quiet times: log files kept open (KeepOpen) are closed once idle (kept_open_files.h); the
// thread then wakes every 250 ms instead of every second. When the queue runs empty after
// holding 4 MiB or more, and otherwise after a second without messages, the queue's spare
// nodes are freed and the heap's free memory goes back to the system.
//
// Orderly stop: Stop(drainTime) lets the thread go on delivering what is queued until the
// queue is empty or drainTime has passed, then it ends; what is still queued stays in the queue
// for the owner to count and discard. Terminate ends after the message in hand.
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
#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "config/settings_snapshot.h"
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
  // Asks the loop to deliver what is queued for at most `drainTime`, then end.
  void Stop(std::chrono::milliseconds drainTime);
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
  // Whether the loop ends now (Terminate, or Stop once drained or out of time).
  bool Finished();
  // The quiet-time work above; `now` on the steady clock.
  void Housekeeping(std::chrono::steady_clock::time_point now, bool idle);
  // Frees the queue's spare nodes and gives the heap's free memory back to the system.
  void ReleaseMemory();
  // Reports a loop that cannot go on and ends the process (see Failure above).
  void LoopFailed(std::exception_ptr error) noexcept;

  TBxMessageQueue& FQueue;
  TManualResetEvent& FEvent;
  TBxDispatchIDList& FRegistry;
  TThreadPriorityHandle FPriority;  // stored by the constructor, read-only afterwards
  // Release by Terminate and Stop, acquire by the loop: seeing the flag means seeing
  // FDrainDeadline.
  std::atomic<bool> FTerminated{false};
  // Set by Stop before FTerminated; until it, time_point::min(): no draining.
  std::chrono::steady_clock::time_point FDrainDeadline =
      std::chrono::steady_clock::time_point::min();
  // Loop thread only.
  std::chrono::steady_clock::time_point FLastMessage{};
  std::chrono::steady_clock::time_point FLastKeptCheck{};
  bool FTrafficSinceRelease = false;
  // The last lookup for delivery (see above); loop thread only.
  struct TLastLookup {
    std::string DispatchID;
    uint64_t Generation = 0;
    std::shared_ptr<TBxDestination> Destination;  // null: nothing cached
  } FLastLookup;
  // Holds a message's dispatch ID when it is not ASCII and had to be converted; loop thread.
  std::string FDispatchIDScratch;
  // The settings in force, taken again only when a new set was published; loop thread only.
  TSettingsReader FSettings;
  std::thread FThread;
};

}  // namespace bx
