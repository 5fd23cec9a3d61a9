// TStopSignalWatcher: turns the requests to stop that the system delivers to the process (an
// interrupt from the terminal, a termination request from the service manager or kill) into a
// call on a thread of our own, where ordinary code may run: the callback posts to the main loop.
//
// A signal handler only writes the signal's number into a pipe (async-signal-safe); the
// watcher's thread reads the pipe and calls the callback once per request. Handlers are
// installed by the constructor and the default actions put back by the destructor; a program
// that this process starts gets the default actions (exec resets caught signals).
//
// Ownership: one watcher per process at a time; it owns its pipe and thread.
// Threads: construct and destroy on the main thread. The callback runs on the watcher's thread
// and must not block for long.
// Failure: the constructor throws std::runtime_error (with the system's text) when the pipe or
// the thread cannot be made, or when a watcher already exists.
#pragma once

#include <functional>
#include <memory>

namespace bx {

enum class TStopSignal { Interrupt, Terminate };

class TStopSignalWatcher {
 public:
  using TCallback = std::function<void(TStopSignal)>;

  explicit TStopSignalWatcher(TCallback callback);
  ~TStopSignalWatcher();
  TStopSignalWatcher(const TStopSignalWatcher&) = delete;
  TStopSignalWatcher& operator=(const TStopSignalWatcher&) = delete;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Writes to a closed connection fail with an error instead of ending the process. Call once
// at program start.
void IgnoreBrokenPipeSignal();

}  // namespace bx
