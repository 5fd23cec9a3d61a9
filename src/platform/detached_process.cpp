#include "platform/detached_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bx {

bool SpawnDetached(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    if (error != nullptr) *error = "no program given";
    return false;
  }
  // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int report[2];  // the grandchild writes errno here when exec fails; exec closes it
  if (pipe2(report, O_CLOEXEC) != 0) {
    if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    int code = errno;
    close(report[0]);
    close(report[1]);
    if (error != nullptr) *error = std::string("fork: ") + std::strerror(code);
    return false;
  }
  if (child == 0) {
    // The middle process only starts the grandchild and ends, so the grandchild is adopted by
    // init and never becomes a zombie of ours.
    close(report[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        if (devnull > STDERR_FILENO) close(devnull);
      }
      execvp(args[0], args.data());
      int code = errno;
      ssize_t ignored = write(report[1], &code, sizeof code);
      (void)ignored;
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int code = 0;
  ssize_t n;
  do {
    n = read(report[0], &code, sizeof code);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    if (error != nullptr) *error = argv[0] + ": " + std::strerror(code);
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (error != nullptr) *error = "fork: could not start " + argv[0];
    return false;
  }
  return true;
}

}  // namespace bx
