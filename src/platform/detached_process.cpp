#include "platform/detached_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace bx {

namespace {

ssize_t ReadFully(int fd, void* buffer, size_t size) {
  ssize_t n;
  do {
    n = read(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

// Starts argv detached (double fork) and returns the program's process id, or -1 with *error.
int64_t StartDetached(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    if (error != nullptr) *error = "no program given";
    return -1;
  }
  // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  sigset_t noSignals;
  sigemptyset(&noSignals);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);

  int report[2];   // the grandchild writes errno here when exec fails; exec closes it
  int pidPipe[2];  // the middle process writes the grandchild's process id here
  if (pipe2(report, O_CLOEXEC) != 0) {
    if (error != nullptr) *error = TSystemError::Last().Describe("pipe");
    return -1;
  }
  if (pipe2(pidPipe, O_CLOEXEC) != 0) {
    const int code = errno;
    close(report[0]);
    close(report[1]);
    if (error != nullptr) *error = TSystemError::Of(code).Describe("pipe");
    return -1;
  }
  pid_t child = fork();
  if (child < 0) {
    int code = errno;
    close(report[0]);
    close(report[1]);
    close(pidPipe[0]);
    close(pidPipe[1]);
    if (error != nullptr) *error = TSystemError::Of(code).Describe("fork");
    return -1;
  }
  if (child == 0) {
    // The middle process only starts the grandchild and ends, so the grandchild is adopted by
    // init and never becomes a zombie of ours.
    close(report[0]);
    close(pidPipe[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        if (devnull > STDERR_FILENO) close(devnull);
      }
      // Ignored signals survive exec, and so does the mask: give the program the defaults.
      for (int s = 1; s < NSIG; ++s) sigaction(s, &defaultAction, nullptr);
      sigprocmask(SIG_SETMASK, &noSignals, nullptr);
      execvp(args[0], args.data());
      int code = errno;
      ssize_t ignored = write(report[1], &code, sizeof code);
      (void)ignored;
      _exit(127);
    }
    if (grandchild > 0) {
      const int64_t id = grandchild;
      ssize_t ignored = write(pidPipe[1], &id, sizeof id);
      (void)ignored;
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(report[1]);
  close(pidPipe[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int64_t pid = -1;
  if (ReadFully(pidPipe[0], &pid, sizeof pid) != static_cast<ssize_t>(sizeof pid)) pid = -1;
  close(pidPipe[0]);
  int code = 0;
  const ssize_t n = ReadFully(report[0], &code, sizeof code);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    if (error != nullptr) *error = TSystemError::Of(code).Describe(argv[0]);
    return -1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || pid <= 0) {
    if (error != nullptr) *error = "fork: could not start " + argv[0];
    return -1;
  }
  return pid;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv, std::string* error) {
  return StartDetached(argv, error) > 0;
}

std::unique_ptr<TWatchedProgram> TWatchedProgram::Start(const std::vector<std::string>& argv,
                                                        std::string* error) {
  const int64_t pid = StartDetached(argv, error);
  if (pid <= 0) return nullptr;
  // A process descriptor turns readable when the process ends, also for one that is not our
  // child; it is made close-on-exec. The program is known to have passed exec here; if it has
  // already ended and been reaped, the lookup fails and it counts as ended.
  intptr_t watch = -1;
#ifdef SYS_pidfd_open
  const long fd = syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
  if (fd >= 0) {
    watch = fd;
  } else if (errno == ESRCH) {
    watch = -2;  // already gone
  }
#endif
  return std::unique_ptr<TWatchedProgram>(new TWatchedProgram(pid, watch));
}

TWatchedProgram::~TWatchedProgram() {
  if (FWatch >= 0) close(static_cast<int>(FWatch));
}

bool TWatchedProgram::Ended() const { return WaitEnded(std::chrono::milliseconds(0)); }

bool TWatchedProgram::WaitEnded(std::chrono::milliseconds timeout) const {
  if (FWatch == -2) return true;
  if (FWatch < 0) {
    // Not watchable: behave like a program that keeps running.
    if (timeout.count() > 0) poll(nullptr, 0, static_cast<int>(timeout.count()));
    return false;
  }
  pollfd p{static_cast<int>(FWatch), POLLIN, 0};
  for (;;) {
    const int rc = poll(&p, 1, static_cast<int>(timeout.count()));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace bx
