// TChildProcess: a program of the build started by a test, with its own environment additions
// and its standard output and error collected in files, so end-to-end tests can drive the real
// programs. The destructor kills a child that still runs and reaps it.
//
// Threads: one test thread. Failure: Start throws std::runtime_error when the program cannot
// be started.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bx::test {

class TChildProcess {
 public:
  // `argv[0]` is a path. `env` entries are set (or replaced) in the child's environment; a
  // value of "\x01" removes the variable instead. `workDir` receives the output files.
  TChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> env,
                const std::string& workDir);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // The exit code once the child ended (-signal when a signal ended it); no value when it still
  // runs after `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  bool Running();
  void Signal(int signalNumber);
  int Pid() const { return FPid; }

  std::string StandardOutput() const;
  std::string StandardError() const;

 private:
  int FPid = -1;
  std::optional<int> FExit;
  std::string FOutPath;
  std::string FErrPath;
};

// Runs a program to its end (at most `timeout`, then it is killed) and returns its exit code
// and standard output.
struct TRunResult {
  int ExitCode = -1;
  std::string Output;
  std::string Error;
};
TRunResult RunProgram(std::vector<std::string> argv, const std::string& workDir,
                      std::map<std::string, std::string> env = {},
                      std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Polls `done` (every few milliseconds) until it is true or `timeout` passes.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace bx::test
