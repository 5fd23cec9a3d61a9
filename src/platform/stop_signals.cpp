#include "platform/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace bx {

namespace {

// The write end of the current watcher's pipe, or -1. Relaxed is enough for the handler: it is
// published before the handlers are installed (sigaction orders it) and cleared after they are
// removed.
std::atomic<int> gWakeFd{-1};

// The byte that asks the watcher's thread to end; signal numbers are never 0.
constexpr unsigned char kQuitByte = 0;

void OnStopSignal(int signalNumber) {
  const int savedErrno = errno;
  const int fd = gWakeFd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    ssize_t ignored = ::write(fd, &byte, 1);
    (void)ignored;
  }
  errno = savedErrno;
}

std::runtime_error SystemError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

struct TStopSignalWatcher::TImpl {
  TCallback Callback;
  int ReadFd = -1;
  int WriteFd = -1;
  std::thread Thread;

  void Run() {
    for (;;) {
      unsigned char byte = 0;
      const ssize_t n = ::read(ReadFd, &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == kQuitByte) return;
      Callback(byte == SIGINT ? TStopSignal::Interrupt : TStopSignal::Terminate);
    }
  }
};

TStopSignalWatcher::TStopSignalWatcher(TCallback callback) : FImpl(std::make_unique<TImpl>()) {
  FImpl->Callback = std::move(callback);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw SystemError("pipe");
  FImpl->ReadFd = fds[0];
  FImpl->WriteFd = fds[1];
  int expected = -1;
  if (!gWakeFd.compare_exchange_strong(expected, FImpl->WriteFd, std::memory_order_relaxed)) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw std::runtime_error("a stop signal watcher already exists");
  }
  try {
    FImpl->Thread = std::thread([impl = FImpl.get()] { impl->Run(); });
  } catch (...) {
    gWakeFd.store(-1, std::memory_order_relaxed);
    ::close(fds[0]);
    ::close(fds[1]);
    throw;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

TStopSignalWatcher::~TStopSignalWatcher() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  const unsigned char quit = kQuitByte;
  ssize_t ignored = ::write(FImpl->WriteFd, &quit, 1);
  (void)ignored;
  if (FImpl->Thread.joinable()) FImpl->Thread.join();
  gWakeFd.store(-1, std::memory_order_relaxed);
  ::close(FImpl->ReadFd);
  ::close(FImpl->WriteFd);
}

void IgnoreBrokenPipeSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace bx
