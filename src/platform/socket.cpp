#include "platform/socket.h"

#include "platform/descriptors.h"
#include "platform/mutex.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace bx {

ESocketError::ESocketError(const std::string& message, TSystemError error)
    : std::runtime_error(message), FError(std::move(error)) {}

namespace {

constexpr size_t kMaxUnixPath = sizeof(sockaddr_un::sun_path) - 1;  // 107 on Linux

// "Socket error <code> in <operation>: <text>".
ESocketError OperationError(const std::string& operation, TSystemError error) {
  const std::string message =
      error.Describe("Socket error " + std::to_string(error.Code) + " in " + operation);
  return ESocketError(message, std::move(error));
}

[[noreturn]] void ThrowErrno(const std::string& operation, int code = errno) {
  throw OperationError(operation, TSystemError::Of(code));
}

int Fd(intptr_t handle) { return static_cast<int>(handle); }

struct TSockAddr {
  sockaddr_storage Storage{};
  socklen_t Length = 0;
  sockaddr* Ptr() { return reinterpret_cast<sockaddr*>(&Storage); }
};

TSockAddr MakeAddress(const std::string& ip, uint16_t port, TIPVersion version) {
  TSockAddr result;
  if (version == TIPVersion::V6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&result.Storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    if (inet_pton(AF_INET6, ip.c_str(), &a->sin6_addr) != 1) {
      throw ESocketError("Invalid IPv6 address \"" + ip + "\"", TSystemError::Of(EINVAL));
    }
    result.Length = sizeof(sockaddr_in6);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&result.Storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &a->sin_addr) != 1) {
      throw ESocketError("Invalid IPv4 address \"" + ip + "\"", TSystemError::Of(EINVAL));
    }
    result.Length = sizeof(sockaddr_in);
  }
  return result;
}

TSocketAddress FromSockAddr(const sockaddr_storage& storage) {
  TSocketAddress result;
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
    inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    result.Port = ntohs(a->sin6_port);
    result.Version = TIPVersion::V6;
  } else if (storage.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    result.Port = ntohs(a->sin_port);
  }
  result.IP = text;
  return result;
}

int Family(TIPVersion version) { return version == TIPVersion::V6 ? AF_INET6 : AF_INET; }

int NewSocket(int family, int type) {
  const int fd = ::socket(family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowErrno("socket");
  return fd;
}

void SetIntOption(int fd, int level, int name, int value, const char* what) {
  if (setsockopt(fd, level, name, &value, sizeof value) != 0) {
    const int code = errno;
    ::close(fd);
    ThrowErrno(what, code);
  }
}

void BindOrThrow(int fd, TSockAddr& address) {
  if (::bind(fd, address.Ptr(), address.Length) != 0) {
    const int code = errno;
    ::close(fd);
    if (code == EADDRINUSE) throw ESocketError(kAddressInUseText, TSystemError::Of(code));
    ThrowErrno("bind", code);
  }
}

bool WaitFd(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) ThrowErrno("poll");
  }
}

TSocketAddress LocalOf(intptr_t handle) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (getsockname(Fd(handle), reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ThrowErrno("getsockname");
  }
  return FromSockAddr(storage);
}

void CloseHandle(intptr_t& handle) {
  if (handle >= 0) ::close(Fd(handle));
  handle = -1;
}

}  // namespace

bool IPv6Available() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string AnyAddress(TIPVersion version) { return version == TIPVersion::V6 ? "::" : "0.0.0.0"; }

ESocketError TimedOutError(const std::string& operation) {
  return OperationError(operation, TSystemError::Of(ETIMEDOUT));
}

bool IsPeerClosedCode(int code) { return code == EPIPE; }

bool IsPeerGoneCode(int code) { return code == EPIPE || code == ECONNRESET; }

std::chrono::milliseconds TimeLeft(TSteadyTime deadline) {
  const auto now = std::chrono::steady_clock::now();
  if (now >= deadline) return std::chrono::milliseconds(0);
  // Rounded up, so a wait never ends just before its deadline and spins.
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
}

std::vector<TSocketAddress> ResolveHost(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc != 0) {
    // The resolver's own code, with the system's text when the resolver names a system error.
    TSystemError error{rc, rc == EAI_SYSTEM ? SystemErrorText(errno) : gai_strerror(rc)};
    const std::string message = error.Describe("Could not resolve \"" + host + "\"");
    throw EResolveError(message, std::move(error));
  }
  std::vector<TSocketAddress> v4, v6;
  for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
    sockaddr_storage storage{};
    std::memcpy(&storage, it->ai_addr, std::min<size_t>(it->ai_addrlen, sizeof storage));
    TSocketAddress address = FromSockAddr(storage);
    if (address.IP.empty()) continue;
    address.Port = port;
    (address.Version == TIPVersion::V6 ? v6 : v4).push_back(address);
  }
  freeaddrinfo(list);
  v4.insert(v4.end(), v6.begin(), v6.end());
  if (v4.empty()) {
    throw EResolveError("Could not resolve \"" + host + "\": no address of a usable kind", {});
  }
  return v4;
}

// --- TStreamSocket ---

TStreamSocket::~TStreamSocket() { Close(); }

TStreamSocket::TStreamSocket(TStreamSocket&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)) {}

TStreamSocket& TStreamSocket::operator=(TStreamSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, -1);
  }
  return *this;
}

TStreamSocket TStreamSocket::ConnectTcp(const TSocketAddress& address) {
  TSockAddr target = MakeAddress(address.IP, address.Port, address.Version);
  const int fd = NewSocket(Family(address.Version), SOCK_STREAM);
  while (::connect(fd, target.Ptr(), target.Length) != 0) {
    if (errno == EINTR) continue;
    const int code = errno;
    ::close(fd);
    ThrowErrno("connect", code);
  }
  return TStreamSocket(fd);
}

TStreamSocket TStreamSocket::ConnectTcp(const std::string& host, uint16_t port) {
  return ConnectTcp(host, port, std::chrono::milliseconds(-1));
}

TStreamSocket TStreamSocket::ConnectTcp(const std::string& host, uint16_t port,
                                        std::chrono::milliseconds timeout) {
  const std::vector<TSocketAddress> addresses = ResolveHost(host, port);
  // One deadline for every address, so a name with many silent addresses costs `timeout`.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::optional<ESocketError> last;
  for (const TSocketAddress& address : addresses) {
    if (timeout.count() >= 0 && last && std::chrono::steady_clock::now() >= deadline) break;
    try {
      return ConnectTcp(address, timeout.count() < 0 ? timeout : TimeLeft(deadline));
    } catch (const ESocketError& e) {
      last = e;
    }
  }
  throw *last;
}

TStreamSocket TStreamSocket::ConnectTcp(const TSocketAddress& address,
                                        std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) return ConnectTcp(address);
  TSockAddr target = MakeAddress(address.IP, address.Port, address.Version);
  const int fd = NewSocket(Family(address.Version), SOCK_STREAM | SOCK_NONBLOCK);
  auto fail = [fd](const std::string& operation, int code) {
    ::close(fd);
    ThrowErrno(operation, code);
  };
  if (::connect(fd, target.Ptr(), target.Length) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) fail("connect", errno);
    // The connect goes on in the background; its end makes the socket writable.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        ::close(fd);
        throw TimedOutError("connect");
      }
      pollfd p{fd, POLLOUT, 0};
      const int rc = ::poll(&p, 1, static_cast<int>(left.count()));
      if (rc > 0) break;
      if (rc < 0 && errno != EINTR) fail("poll", errno);
    }
    int code = 0;
    socklen_t length = sizeof code;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) fail("getsockopt", errno);
    if (code != 0) fail("connect", code);
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) fail("fcntl", errno);
  return TStreamSocket(fd);
}

std::optional<TStreamSocket> TStreamSocket::ConnectUnix(const std::string& path,
                                                        std::chrono::milliseconds timeout) {
  if (path.size() > kMaxUnixPath) {
    throw ESocketError(
        "Socket path is longer than " + std::to_string(kMaxUnixPath) + " bytes: " + path,
        TSystemError::Of(ENAMETOOLONG));
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = NewSocket(AF_UNIX, SOCK_STREAM);
  // A Unix connect waits while the listener's queue is full, for as long as the send time-out
  // allows; once that has passed it reports "would block".
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto setSendTimeout = [fd](std::chrono::milliseconds value) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(value.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((value.count() % 1000) * 1000);
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) {
      const int code = errno;
      ::close(fd);
      ThrowErrno("setsockopt(SO_SNDTIMEO)", code);
    }
  };
  for (;;) {
    if (timeout.count() >= 0) {
      // At least one short try, also when the time is up: a listener with room takes the
      // connection at once.
      setSendTimeout(std::max(TimeLeft(deadline), std::chrono::milliseconds(1)));
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    const int code = errno;
    if (code == EINTR) continue;
    if ((code == EAGAIN || code == EWOULDBLOCK) && timeout.count() >= 0) {
      ::close(fd);
      throw TimedOutError("connect");
    }
    ::close(fd);
    if (code == ENOENT || code == ECONNREFUSED) return std::nullopt;
    ThrowErrno("connect", code);
  }
  if (timeout.count() >= 0) setSendTimeout(std::chrono::milliseconds(0));
  return TStreamSocket(fd);
}

size_t TStreamSocket::Read(void* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::recv(Fd(FHandle), buffer, size, 0);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    ThrowErrno("recv");
  }
}

void TStreamSocket::Write(const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(Fd(FHandle), bytes, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Only a send time-out (SetSendTimeout) makes a blocking socket report "would block".
      if (errno == EAGAIN || errno == EWOULDBLOCK) throw TimedOutError("send");
      ThrowErrno("send");
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

void TStreamSocket::Write(const void* data, size_t size, TSteadyTime deadline, size_t* written) {
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  if (written != nullptr) *written = 0;
  while (done < size) {
    const ssize_t n = ::send(Fd(FHandle), bytes + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      if (written != nullptr) *written = done;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) ThrowErrno("send");
    // The buffers are full: wait until the peer takes some bytes, or the deadline.
    pollfd p{Fd(FHandle), POLLOUT, 0};
    for (;;) {
      const auto left = TimeLeft(deadline);
      if (left.count() <= 0) throw TimedOutError("send");
      const int rc = ::poll(&p, 1, static_cast<int>(left.count()));
      if (rc > 0) break;
      if (rc < 0 && errno != EINTR) ThrowErrno("poll");
    }
  }
}

bool TStreamSocket::WaitReadable(std::chrono::milliseconds timeout) {
  return WaitFd(Fd(FHandle), timeout);
}

bool TStreamSocket::PeerClosed() const {
  if (FHandle < 0) return true;
  pollfd p{Fd(FHandle), POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return false;  // nothing happened on the connection
  if ((p.revents & (POLLERR | POLLNVAL)) != 0) return true;
  char byte;
  ssize_t n;
  do {
    n = ::recv(Fd(FHandle), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return false;  // data waiting: the connection is alive
  if (n == 0) return true;  // end of data: the peer closed its side
  return errno != EAGAIN && errno != EWOULDBLOCK;
}

void TStreamSocket::SetSendTimeout(std::chrono::milliseconds timeout) {
  timeval value{};
  if (timeout.count() > 0) {
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  }
  if (setsockopt(Fd(FHandle), SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) != 0) {
    ThrowErrno("setsockopt(SO_SNDTIMEO)");
  }
}

void TStreamSocket::Shutdown() {
  if (FHandle >= 0) ::shutdown(Fd(FHandle), SHUT_RDWR);
}

void TStreamSocket::Close() { CloseHandle(FHandle); }

void TStreamSocket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  if (setsockopt(Fd(FHandle), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    ThrowErrno("setsockopt(TCP_NODELAY)");
  }
}

TSocketAddress TStreamSocket::Peer() const {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (getpeername(Fd(FHandle), reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    return {};
  }
  return FromSockAddr(storage);
}

std::string TStreamSocket::PeerText() const {
  const TSocketAddress peer = Peer();
  if (peer.IP.empty()) return "";
  if (peer.Version == TIPVersion::V6) return "[" + peer.IP + "]:" + std::to_string(peer.Port);
  return peer.IP + ":" + std::to_string(peer.Port);
}

std::optional<uint32_t> TStreamSocket::PeerUserId() const {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(Fd(FHandle), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(credentials.uid);
}

// --- TListenSocket ---

TListenSocket::~TListenSocket() { Close(); }

TListenSocket::TListenSocket(TListenSocket&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)) {}

TListenSocket& TListenSocket::operator=(TListenSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, -1);
  }
  return *this;
}

TListenSocket TListenSocket::BindTcp(const std::string& ip, uint16_t port, TIPVersion version) {
  TSockAddr address = MakeAddress(ip, port, version);
  const int fd = NewSocket(Family(version), SOCK_STREAM);
  // Lets a restarted server bind while old connections sit in TIME_WAIT; on this system it
  // does not let a second listener take the port.
  SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)");
  if (version == TIPVersion::V6) {
    SetIntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1, "setsockopt(IPV6_V6ONLY)");
  }
  BindOrThrow(fd, address);
  TListenSocket result;
  result.FHandle = fd;
  return result;
}

TListenSocket TListenSocket::ListenUnix(const std::string& path, int backlog) {
  if (path.size() > kMaxUnixPath) {
    throw ESocketError(
        "Socket path is longer than " + std::to_string(kMaxUnixPath) + " bytes: " + path,
        TSystemError::Of(ENAMETOOLONG));
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = NewSocket(AF_UNIX, SOCK_STREAM);
  TListenSocket result;
  result.FHandle = fd;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int code = errno;
    if (code == EADDRINUSE)
      throw ESocketError("Socket file exists: " + path, TSystemError::Of(code));
    ThrowErrno("bind(" + path + ")", code);
  }
  if (::chmod(path.c_str(), 0600) != 0) {
    const int code = errno;
    ::unlink(path.c_str());
    ThrowErrno("chmod(" + path + ")", code);
  }
  result.Listen(backlog);
  return result;
}

void TListenSocket::Listen(int backlog) {
  if (::listen(Fd(FHandle), backlog) != 0) ThrowErrno("listen");
}

namespace {

// One descriptor held in reserve for shedding connections when the process has none left:
// closing it makes room for one accept, whose connection is closed at once, and it is taken
// again. The lock keeps two listeners from spending it at the same time.
constinit TMutex gSpareLock;
int gSpareFd GUARDED_BY(gSpareLock) = -1;

void TakeSpareLocked() REQUIRES(gSpareLock) {
  if (gSpareFd < 0) gSpareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Accepts and closes one waiting connection without a descriptor of its own to spare.
[[noreturn]] void ShedConnection(int listenFd, int code) {
  {
    TMutexLock lock(gSpareLock);
    if (gSpareFd >= 0) {
      ::close(gSpareFd);
      gSpareFd = -1;
      const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) ::close(fd);
      TakeSpareLocked();
    }
  }
  TSystemError error = TSystemError::Of(code);
  const std::string message = error.Describe("Socket error " + std::to_string(code) + " in accept");
  throw EDescriptorsExhausted(message, std::move(error));
}

}  // namespace

std::optional<TStreamSocket> TListenSocket::Accept(size_t keepFree) {
  {
    TMutexLock lock(gSpareLock);
    TakeSpareLocked();
  }
  for (;;) {
    const int fd = ::accept4(Fd(FHandle), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      if (keepFree > 0) {
        const TDescriptorLimit limit = CurrentDescriptorLimit();
        // Descriptors are handed out lowest first: every number below `fd` is in use.
        if (limit.Soft > 0 && static_cast<size_t>(fd) + keepFree >= limit.Soft) {
          ::close(fd);
          throw EDescriptorsExhausted("Connection closed: only " +
                                          std::to_string(limit.Soft - static_cast<size_t>(fd)) +
                                          " of " + std::to_string(limit.Soft) + " descriptors left",
                                      TSystemError{});
        }
      }
      return TStreamSocket(fd);
    }
    const int code = errno;
    if (code == EINTR || code == ECONNABORTED) continue;
    // A shut-down listener reports EINVAL: the owner is stopping.
    if (code == EINVAL || code == EBADF) return std::nullopt;
    if (code == EMFILE || code == ENFILE) ShedConnection(Fd(FHandle), code);
    ThrowErrno("accept", code);
  }
}

bool TListenSocket::WaitAcceptable(std::chrono::milliseconds timeout) {
  return WaitFd(Fd(FHandle), timeout);
}

void TListenSocket::Shutdown() {
  if (FHandle >= 0) ::shutdown(Fd(FHandle), SHUT_RDWR);
}

void TListenSocket::Close() { CloseHandle(FHandle); }

TSocketAddress TListenSocket::Local() const { return LocalOf(FHandle); }

// --- TUdpSocket ---

TUdpSocket::~TUdpSocket() { Close(); }

TUdpSocket::TUdpSocket(TUdpSocket&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)), FVersion(other.FVersion) {}

TUdpSocket& TUdpSocket::operator=(TUdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, -1);
    FVersion = other.FVersion;
  }
  return *this;
}

TUdpSocket TUdpSocket::Bind(const std::string& ip, uint16_t port, TIPVersion version) {
  TSockAddr address = MakeAddress(ip, port, version);
  const int fd = NewSocket(Family(version), SOCK_DGRAM);
  if (version == TIPVersion::V6) {
    SetIntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1, "setsockopt(IPV6_V6ONLY)");
  }
  BindOrThrow(fd, address);
  TUdpSocket result;
  result.FHandle = fd;
  result.FVersion = version;
  return result;
}

TUdpSocket TUdpSocket::Open(TIPVersion version) {
  TUdpSocket result;
  result.FHandle = NewSocket(Family(version), SOCK_DGRAM);
  result.FVersion = version;
  return result;
}

bool TUdpSocket::WaitReadable(std::chrono::milliseconds timeout) {
  return WaitFd(Fd(FHandle), timeout);
}

size_t TUdpSocket::ReceiveFrom(std::vector<uint8_t>& buffer, TSocketAddress& sender) {
  sockaddr_storage storage{};
  for (;;) {
    socklen_t length = sizeof storage;
    const ssize_t n = ::recvfrom(Fd(FHandle), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&storage), &length);
    if (n >= 0) {
      sender = FromSockAddr(storage);
      return static_cast<size_t>(n);
    }
    if (errno == EINTR) continue;
    ThrowErrno("recvfrom");
  }
}

std::optional<size_t> TUdpSocket::TryReceiveFrom(void* buffer, size_t size,
                                                 TSocketAddress& sender) {
  sockaddr_storage storage{};
  for (;;) {
    socklen_t length = sizeof storage;
    const ssize_t n = ::recvfrom(Fd(FHandle), buffer, size, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&storage), &length);
    if (n >= 0) {
      sender = FromSockAddr(storage);
      return static_cast<size_t>(n);
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
    ThrowErrno("recvfrom");
  }
}

void TUdpSocket::SendTo(const TSocketAddress& to, const void* data, size_t size) {
  TSockAddr address = MakeAddress(to.IP, to.Port, to.Version);
  for (;;) {
    const ssize_t n =
        ::sendto(Fd(FHandle), data, size, MSG_NOSIGNAL, address.Ptr(), address.Length);
    if (n >= 0) return;
    if (errno == EINTR) continue;
    ThrowErrno("sendto");
  }
}

void TUdpSocket::SetReceiveBufferSize(int bytes) {
  if (setsockopt(Fd(FHandle), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) {
    ThrowErrno("setsockopt(SO_RCVBUF)");
  }
}

int TUdpSocket::EnlargeReceiveBuffer(int bytes) {
  const int fd = Fd(FHandle);
  // The forcing option needs administrative rights; without them the plain one is capped by
  // the system's ceiling, which is still far above the default.
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
  int actual = 0;
  socklen_t length = sizeof actual;
  if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &actual, &length) != 0) return 0;
  return actual;
}

void TUdpSocket::Shutdown() {
  // On an unbound or unconnected datagram socket this reports ENOTCONN but still wakes pollers.
  if (FHandle >= 0) ::shutdown(Fd(FHandle), SHUT_RDWR);
}

void TUdpSocket::Close() { CloseHandle(FHandle); }

TSocketAddress TUdpSocket::Local() const { return LocalOf(FHandle); }

}  // namespace bx
