#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/temp_home.h"

extern char** environ;

namespace bx::test {

namespace {
std::atomic<int> gCounter{0};
}  // namespace

TChildProcess::TChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> env,
                             const std::string& workDir) {
  const int n = gCounter.fetch_add(1, std::memory_order_relaxed);
  FOutPath = workDir + "/child" + std::to_string(n) + ".out";
  FErrPath = workDir + "/child" + std::to_string(n) + ".err";

  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (env.count(name) == 0) envText.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (value != "\x01") envText.push_back(name + "=" + value);
  }
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, FOutPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, FErrPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error(argv[0] + ": " + std::strerror(rc));
  FPid = pid;
}

TChildProcess::~TChildProcess() {
  if (!FExit && FPid > 0) {
    ::kill(FPid, SIGKILL);
    Wait(std::chrono::seconds(10));
  }
}

std::optional<int> TChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (FExit) return FExit;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(FPid, &status, WNOHANG);
    if (r == FPid) {
      FExit = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      return FExit;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool TChildProcess::Running() { return !Wait(std::chrono::milliseconds(0)).has_value(); }

void TChildProcess::Signal(int signalNumber) {
  if (!FExit) ::kill(FPid, signalNumber);
}

std::string TChildProcess::StandardOutput() const { return ReadFile(FOutPath); }
std::string TChildProcess::StandardError() const { return ReadFile(FErrPath); }

TRunResult RunProgram(std::vector<std::string> argv, const std::string& workDir,
                      std::map<std::string, std::string> env, std::chrono::milliseconds timeout) {
  TChildProcess child(std::move(argv), std::move(env), workDir);
  TRunResult result;
  const std::optional<int> code = child.Wait(timeout);
  result.ExitCode = code.value_or(-1000);
  result.Output = child.StandardOutput();
  result.Error = child.StandardError();
  return result;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace bx::test
