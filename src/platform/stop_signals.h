// TStopSignals: turns the system's requests to end a program (interrupt or hang-up of the terminal,
// termination by the service manager or `kill`) into a call on an ordinary thread, where it
// may do what a signal handler may not (post WM_QUIT to a message loop, for example).
//
// Ownership: one object per program, made by main() before any other thread starts, so that
// every thread inherits the blocked signals and only this object's waiter takes them.
// Threads: construct and destroy on the main thread; `onStop` runs on the waiter thread, once
// per signal received. Failure: the constructor throws std::system_error when the signals
// cannot be blocked or the waiter cannot start.
#pragma once

#include <functional>
#include <memory>

namespace bx {

class TStopSignals {
 public:
  explicit TStopSignals(std::function<void()> onStop);
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace bx
