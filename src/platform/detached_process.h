// Starting a program that lives on by itself: the desktop's handler for a file, the live
// viewer.
//
// The program runs in a new session, detached from this process: nothing has to wait for it,
// it never becomes a zombie of ours, and it outlives this process. It starts with the default
// signal mask and dispositions, whatever this process blocks or ignores (a dispatcher blocks
// its stop signals in every thread so that one thread takes them; a program it starts must
// still end on Ctrl-C or a plain kill).
//
// TWatchedProgram: a started program whose end can be noticed without being its parent (a
// process descriptor of the system), so a caller that waits for the program to get ready can
// stop waiting at once when it ended instead.
//
// Threads: SpawnDetached and Start from any thread; one thread at a time per TWatchedProgram.
// Failure: false (or null) with the system's error text in *error when the program could not
// be started (not found, not executable). Where the system cannot watch a process, Ended
// stays false and the caller's own time limit applies.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bx {

// Runs argv[0] (searched on PATH when it holds no "/") with the given arguments, detached.
bool SpawnDetached(const std::vector<std::string>& argv, std::string* error = nullptr);

class TWatchedProgram {
 public:
  // Starts the program as SpawnDetached does; null when it could not be started.
  static std::unique_ptr<TWatchedProgram> Start(const std::vector<std::string>& argv,
                                                std::string* error = nullptr);
  // Stops watching; the program runs on.
  ~TWatchedProgram();
  TWatchedProgram(const TWatchedProgram&) = delete;
  TWatchedProgram& operator=(const TWatchedProgram&) = delete;

  int64_t Pid() const { return FPid; }
  // True once the program has ended. Never waits.
  bool Ended() const;
  // Waits at most `timeout` for the program's end; true when it has ended.
  bool WaitEnded(std::chrono::milliseconds timeout) const;

 private:
  TWatchedProgram(int64_t pid, intptr_t watch) : FPid(pid), FWatch(watch) {}
  int64_t FPid;
  intptr_t FWatch;  // -1 when the system cannot watch it
};

}  // namespace bx
