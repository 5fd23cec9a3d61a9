#include "platform/file_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/system_error.h"

namespace bx {

namespace {

[[noreturn]] void ThrowErrno(const std::string& path, int error) {
  throw std::runtime_error(TSystemError::Of(error).Describe(path));
}

void WriteAll(const std::string& path, int flags, std::string_view bytes) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowErrno(path, errno);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      ThrowErrno(path, error);
    }
    done += static_cast<size_t>(n);
  }
  // close reports a delayed write error (e.g. on a network file system).
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno(path, errno);
}

}  // namespace

void RewriteFile(const std::string& path, std::string_view bytes) {
  WriteAll(path, O_TRUNC, bytes);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  WriteAll(path, O_APPEND, bytes);
}

}  // namespace bx
