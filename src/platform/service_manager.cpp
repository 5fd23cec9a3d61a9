#include "platform/service_manager.h"

#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/system_error.h"

extern char** environ;

namespace bx {

namespace {

constexpr int kNotifyWaitMs = 5000;
constexpr int kJournalWaitMs = 2000;

// Sends one datagram on a socket connected to its receiver, waiting at most `waitMs` for room
// in the receiver's queue (a connected datagram socket polls writable exactly when there is).
// Returns 0, or the errno of the failure (EAGAIN when the wait ran out).
int SendConnectedBounded(int fd, std::string_view data, int waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (::send(fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return EAGAIN;
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return errno;
  }
}

}  // namespace

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
    if (error) *error = TSystemError::Last().Describe("socket");
    return false;
  }
  int code = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    code = errno;
  } else {
    code = SendConnectedBounded(fd, state, kNotifyWaitMs);
  }
  ::close(fd);
  if (code != 0) {
    if (error) *error = TSystemError::Of(code).Describe(name);
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
    if (error) *error = TSystemError::Of(rc).Describe(argv[0]);
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      if (error) *error = TSystemError::Last().Describe("waitpid");
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

std::string EffectiveUserName() {
  const uid_t uid = ::geteuid();
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

bool UserAccountExists(const std::string& name) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  return ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
         found != nullptr;
}

uint64_t ServiceWatchdogMicroseconds() {
  const char* usec = std::getenv("WATCHDOG_USEC");
  if (usec == nullptr || *usec == '\0') return 0;
  if (const char* pid = std::getenv("WATCHDOG_PID")) {
    if (*pid != '\0' && std::strtoll(pid, nullptr, 10) != static_cast<long long>(::getpid())) {
      return 0;  // meant for another process of the unit
    }
  }
  char* end = nullptr;
  const unsigned long long value = std::strtoull(usec, &end, 10);
  return end != nullptr && *end == '\0' ? value : 0;
}

namespace {

constexpr size_t kMaxJournalMessage = 48 * 1024;

void AppendJournalField(std::string& out, std::string_view name, std::string_view value) {
  if (value.find('\n') == std::string_view::npos) {
    out.append(name).append("=").append(value).append("\n");
    return;
  }
  out.append(name).append("\n");
  const uint64_t size = value.size();
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(size >> (8 * i)));
  out.append(value).append("\n");
}

bool FillUnixAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

}  // namespace

TJournal::TJournal(std::string identifier) : FIdentifier(std::move(identifier)) {}

TJournal::~TJournal() {
  if (FHandle >= 0) ::close(FHandle);
}

std::string TJournal::SocketPath() {
  const char* path = std::getenv("BREVIX_JOURNAL_SOCKET");
  return path != nullptr && *path != '\0' ? std::string(path) : "/run/systemd/journal/socket";
}

bool TJournal::Send(int priority, std::string_view message,
                    const std::vector<std::pair<std::string, std::string>>& fields,
                    std::string* error) {
  std::string datagram;
  datagram.reserve(message.size() + 128);
  AppendJournalField(datagram, "MESSAGE", message.substr(0, kMaxJournalMessage));
  AppendJournalField(datagram, "PRIORITY",
                     std::to_string(priority < 0   ? 0
                                    : priority > 7 ? 7
                                                   : priority));
  AppendJournalField(datagram, "SYSLOG_IDENTIFIER", FIdentifier);
  for (const auto& [name, value] : fields) AppendJournalField(datagram, name, value);

  const std::string path = SocketPath();
  if (FHandle < 0) {
    sockaddr_un address{};
    socklen_t length = 0;
    if (!FillUnixAddress(path, address, length)) {
      if (error) *error = "journal socket path is not usable: " + path;
      return false;
    }
    FHandle = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (FHandle < 0) {
      if (error) *error = TSystemError::Last().Describe("socket");
      return false;
    }
    if (::connect(FHandle, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
      const int code = errno;
      ::close(FHandle);
      FHandle = -1;
      if (error) *error = TSystemError::Of(code).Describe(path);
      return false;
    }
  }
  // A journal that stopped reading costs one bounded wait; after that entries are dropped
  // without waiting until one gets through again.
  const int code = SendConnectedBounded(FHandle, datagram, FStalled ? 0 : kJournalWaitMs);
  if (code == 0) {
    FStalled = false;
    return true;
  }
  if (code == EAGAIN || code == EWOULDBLOCK) {
    FStalled = true;
  } else {
    // The journal went away (restarted): connect afresh next time.
    ::close(FHandle);
    FHandle = -1;
  }
  if (error) *error = TSystemError::Of(code).Describe(path);
  return false;
}

}  // namespace bx
