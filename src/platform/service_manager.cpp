#include "platform/service_manager.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace bx {

std::string ServiceNotifySocket() {
  const char* value = std::getenv("NOTIFY_SOCKET");
  return value ? std::string(value) : std::string();
}

bool SendServiceNotification(const std::string& state, std::string* error) {
  const std::string name = ServiceNotifySocket();
  if (name.empty()) {
    if (error) *error = "NOTIFY_SOCKET is not set";
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof(address.sun_path) || (name[0] != '/' && name[0] != '@')) {
    if (error) *error = "NOTIFY_SOCKET is not a usable socket name: " + name;
    return false;
  }
  std::memcpy(address.sun_path, name.data(), name.size());
  // An abstract name: a leading NUL instead of "@", and the length counts only its bytes.
  if (name[0] == '@') address.sun_path[0] = '\0';
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (name[0] == '/'));
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  ssize_t sent;
  do {
    sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&address), length);
  } while (sent < 0 && errno == EINTR);
  const int code = errno;
  ::close(fd);
  if (sent < 0) {
    if (error) *error = name + ": " + std::strerror(code);
    return false;
  }
  return true;
}

bool ServiceManagerRunning() {
  struct stat info {};
  return ::lstat("/run/systemd/system", &info) == 0 && S_ISDIR(info.st_mode);
}

int RunProgramAndWait(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty()) {
    if (error) *error = "no program given";
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
  if (rc != 0) {
    if (error) *error = argv[0] + ": " + std::strerror(rc);
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      if (error) *error = std::string("waitpid: ") + std::strerror(errno);
      return -1;
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (error) *error = argv[0] + ": ended by signal " + std::to_string(WTERMSIG(status));
  return -1;
}

void WriteSystemLogError(const std::string& ident, const std::string& text) {
  ::openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  ::syslog(LOG_ERR, "%s", text.c_str());
  ::closelog();
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace bx
