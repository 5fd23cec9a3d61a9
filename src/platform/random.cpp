#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace bx {

void FillRandomBytes(void* buffer, size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    ssize_t n = getrandom(out, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::perror("getrandom");
      std::abort();
    }
    out += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace bx
