#include "platform/check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace bx {

void CheckFailed(const char* condition, const char* file, int line, const char* text) noexcept {
  // One write of a stack buffer: no allocation and no lock, since the heap or a lock may be
  // what is broken.
  char buffer[1024];
  const int length =
      text != nullptr
          ? std::snprintf(buffer, sizeof buffer,
                          "Brevix Dispatcher: check failed: %s at %s:%d: %s\n", condition, file,
                          line, text)
          : std::snprintf(buffer, sizeof buffer, "Brevix Dispatcher: check failed: %s at %s:%d\n",
                          condition, file, line);
  if (length > 0) {
    const size_t size = static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length)
                                                                    : sizeof buffer - 1;
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, buffer, size);
  }
  std::abort();
}

}  // namespace bx
