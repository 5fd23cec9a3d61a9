// TMessageLoop: the main thread's message queue, standing in for the main window's window
// messages: posted messages, sent messages that wait for the handler's result, and timers.
//
// Two ways to drive it on the owning thread:
// - Run: the loop sleeps on its own condition variable until a message or a timer is due (the
//   headless program, the service).
// - A toolkit's event loop (the desktop face): it watches WakeHandle() for readability and
//   calls ProcessPending when it becomes readable, and again when NextTimerDue() has passed.
//   Both threads then sleep in the toolkit's one system wait; nothing polls.
//
// Re-entrance (toolkit-driven only): a handler may run a nested event loop, such as a modal
// dialog or an open popup menu, and that nested loop calls ProcessPending again. The nested
// call goes on with the same queue, front first, so posted log entries, sent WM_COPYDATA and
// timers keep flowing and keep their order while the dialog is up; a sender waiting in Send is
// answered from inside the nested loop. So every message may be handled while another handler
// of the same loop is still running (that is how modal loops behave with window messages);
// handlers must leave their object consistent before they open a dialog and check it again
// after it closes. Run is never re-entered: nothing that Run drives opens a nested loop.
//
// WM_QUIT taken by a nested call ends the loop at once: Post fails from then on, waiting
// senders get no value, the toolkit is told to leave every event loop (ExitCode()), and the
// outer ProcessPending returns false at its next message. The handler that opened the dialog
// still finishes, on an ended loop. Example: a WM_CLOSE arrives while the "&Empty Message
// Queue" confirmation is up. The nested loop runs the hub's close (the "Dispatcher has been
// stopped" entry, then WM_QUIT), the WM_QUIT ends the loop, the toolkit closes the dialog,
// and the hub's confirmation handler sees that the hub is closing and neither empties the
// queue nor disables the dispatcher. The hub itself is destroyed only after the toolkit's
// outermost loop has returned, so no handler ever runs on a destroyed hub.
//
// Ownership: the program's main() owns the loop; SetMainLoop publishes it process-wide so that
// worker code can post to it (AddLogEntry, reload requests). The owner clears the pointer (and
// joins every worker that might still use it) before the loop is destroyed.
// Threads: Post, Send, SetTimer, KillTimer and Quit from any thread. Run, ProcessPending,
// WakeHandle and NextTimerDue only on the owning thread; the handler runs on that thread.
// Failure: Post returns false and Send returns no value once the loop has ended; nothing throws
// across threads. An exception thrown by the handler of a sent message is returned to the
// sender as a failure; for a posted message it is passed to the loop's error callback.
// WakeHandle throws std::system_error when the system refuses the handle.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/mutex.h"

namespace bx {

class TWakeSignal;

// Window message numbers kept from the system the protocol was first defined on.
inline constexpr uint32_t WM_CLOSE = 16;
inline constexpr uint32_t WM_QUIT = 18;
inline constexpr uint32_t WM_COPYDATA = 74;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_USER = 1024;

struct TLoopMessage {
  uint32_t Msg = 0;
  uint64_t WParam = 0;
  uint64_t LParam = 0;
  std::string Data;  // owned payload: a log entry's text, a copied WM_COPYDATA block
  // Bytes the handler of a sent message hands back beside its result (a status snapshot);
  // Send passes them to a caller that asked for them, a posted message drops them.
  std::string Reply;
};

class TMessageLoop {
 public:
  using THandler = std::function<int64_t(TLoopMessage&)>;
  using TErrorHandler = std::function<void(const std::exception&)>;

  TMessageLoop();
  ~TMessageLoop();
  TMessageLoop(const TMessageLoop&) = delete;
  TMessageLoop& operator=(const TMessageLoop&) = delete;

  // Set before Run; the handler sees every message but WM_QUIT.
  void SetHandler(THandler handler);
  void SetErrorHandler(TErrorHandler handler);

  // Queues a message; never waits for the owning thread. False once the loop has ended.
  bool Post(uint32_t msg, uint64_t wparam = 0, uint64_t lparam = 0, std::string data = {});

  // Runs the handler on the owning thread and returns its result. From the owning thread
  // itself the handler runs at once. Returns no value when the loop has ended or ends while
  // waiting, when `stop` is requested while waiting, or when the handler threw.
  // With `reply`, the handler's TLoopMessage::Reply is moved into it (left empty on failure).
  std::optional<int64_t> Send(uint32_t msg, uint64_t wparam = 0, uint64_t lparam = 0,
                              std::string data = {}, std::stop_token stop = {},
                              std::string* reply = nullptr);

  // Delivers WM_TIMER with WParam = id every `interval` while Run is running. Setting an id
  // again restarts it with the new interval.
  void SetTimer(uint32_t id, std::chrono::milliseconds interval);
  void KillTimer(uint32_t id);

  // Dispatches messages until WM_QUIT is taken; returns its WParam as the exit code. Messages
  // posted before the WM_QUIT are handled first. Afterwards Post fails and every waiting Send
  // returns no value.
  int Run();

  // Handles the messages queued now (not those they post) and due timers, without waiting,
  // one message at a time from the front of the queue (see Re-entrance above). Returns false
  // when a WM_QUIT was taken, here or by a nested call, or the loop had ended. The pump of a
  // toolkit's event loop, and for tests.
  bool ProcessPending();

  // The handle a toolkit's event loop watches (a file descriptor on Linux): readable while
  // messages wait or a timer was set since the last ProcessPending. Created on the first call,
  // already readable then when messages wait; the same handle afterwards.
  intptr_t WakeHandle();

  // When the earliest timer is due; no value without timers. The toolkit's loop calls
  // ProcessPending once that time has passed, and asks again afterwards.
  std::optional<std::chrono::steady_clock::time_point> NextTimerDue() const;

  // The WParam of the WM_QUIT that ended the loop; 0 before.
  int ExitCode() const;

  // Posts WM_QUIT with the exit code.
  void Quit(int exitCode = 0);

  // True once Run has taken WM_QUIT (or the loop was ended).
  bool Ended() const;

  // True on the thread that constructed the loop, which is the one that must run it.
  bool IsLoopThread() const;
  // Aborts in debug builds when called on another thread (check.h); nothing in release builds.
  // Objects that belong to the loop's thread call it in their entry points.
  void AssertInLoopThread() const;

 private:
  struct TSendState;
  struct TItem {
    TLoopMessage Message;
    std::shared_ptr<TSendState> Send;  // null for a posted message
  };
  struct TTimer {
    std::chrono::milliseconds Interval;
    std::chrono::steady_clock::time_point Due;
  };

  // Handles one item; returns false for WM_QUIT.
  bool Dispatch(TItem& item);
  // Takes the due timers' messages into `out`; caller holds FMutex.
  void CollectDueTimers(std::deque<TItem>& out) REQUIRES(FMutex);
  void EndLocked() REQUIRES(FMutex);
  // The wake handle when it must be raised for a message just queued (or a timer just set),
  // marked raised; null when not. Caller holds FMutex and raises the handle after unlocking
  // (the handle, once created, lives as long as the loop).
  TWakeSignal* NeedsWakeLocked() REQUIRES(FMutex);

  THandler FHandler;
  TErrorHandler FErrorHandler;
  std::thread::id FLoopThread;

  // State below is protected by FMutex.
  mutable TMutex FMutex;
  TCondVar FWake;
  std::deque<TItem> FQueue GUARDED_BY(FMutex);
  std::map<uint32_t, TTimer> FTimers GUARDED_BY(FMutex);
  bool FEnded GUARDED_BY(FMutex) = false;
  // The owning thread sleeps in Run and needs a notify.
  bool FWaiting GUARDED_BY(FMutex) = false;
  // Null until WakeHandle.
  std::unique_ptr<TWakeSignal> FWakeSignal GUARDED_BY(FMutex);
  // Raised since the last ProcessPending cleared it.
  bool FWakeRaised GUARDED_BY(FMutex) = false;
  int FExitCode GUARDED_BY(FMutex) = 0;
};

// The process-wide main loop, or null. Acquire/release: a worker that sees the pointer also
// sees the fully constructed loop.
TMessageLoop* MainLoop();
void SetMainLoop(TMessageLoop* loop);

}  // namespace bx
