#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace bx {

std::unique_ptr<TInstanceLock> TInstanceLock::TryAcquire(const std::string& path,
                                                         std::string* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = TSystemError::Last().Describe(path);
    return nullptr;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (error) *error = TSystemError::Last().Describe(path);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TInstanceLock>(new TInstanceLock(fd));
}

TInstanceLock::~TInstanceLock() {
  ::flock(FHandle, LOCK_UN);
  ::close(FHandle);
}

}  // namespace bx
