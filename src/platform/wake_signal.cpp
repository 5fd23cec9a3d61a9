#include "platform/wake_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace bx {

TWakeSignal::TWakeSignal() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  FHandle = fd;
}

TWakeSignal::~TWakeSignal() { close(static_cast<int>(FHandle)); }

void TWakeSignal::Raise() {
  const uint64_t one = 1;
  // Only EAGAIN (the counter at its maximum, still readable) or EINTR can happen; either way
  // the handle stays or becomes readable, so a retry on EINTR is all there is to do.
  while (write(static_cast<int>(FHandle), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TWakeSignal::Clear() {
  uint64_t count = 0;
  // Non-blocking: EAGAIN means it was not raised.
  while (read(static_cast<int>(FHandle), &count, sizeof count) < 0 && errno == EINTR) {
  }
}

}  // namespace bx
