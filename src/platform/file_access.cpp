#include "platform/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/system_error.h"

namespace bx {

namespace {

void SetError(std::string* error, const std::string& path, int code) {
  if (error != nullptr) *error = TSystemError::Of(code).Describe(path);
}

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  // Closes now and reports the result (a delayed write error shows up here).
  int Close() {
    int result = close(FFd);
    FFd = -1;
    return result;
  }

 private:
  int FFd;
};

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string* error) {
  bytes.clear();
  TFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    SetError(error, path, errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) == 0 && !S_ISREG(st.st_mode)) {
    SetError(error, path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return false;
  }
  if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = read(fd.Get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      SetError(error, path, errno);
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    bytes.append(buffer.data(), static_cast<size_t>(n));
  }
  return true;
}

namespace {

// mode < 0: a new file gets 0666 less the umask, a replaced one keeps its bits.
bool ReplaceFile(const std::string& path, std::string_view bytes, int mode, std::string* error) {
  // The rename below would replace a file that may not be written (no write permission for
  // this user, or read-only for everyone, which even a privileged user honours here): such a
  // file is refused as an open for writing would be.
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
      (access(path.c_str(), W_OK) != 0 || (existing.st_mode & 0222) == 0)) {
    SetError(error, path, EACCES);
    return false;
  }
  // The temporary is created with 0666 so that the kernel applies the umask to a new file;
  // a file being replaced passes its own permission bits on below.
  static std::atomic<uint32_t> counter{0};
  int raw = -1;
  std::string tempPath;
  for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
    // Relaxed: the counter only makes names distinct, it orders nothing.
    tempPath = path + ".tmp-" + std::to_string(getpid()) + "-" +
               std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    raw = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (raw < 0 && errno != EEXIST) break;
  }
  if (raw < 0) {
    SetError(error, tempPath, errno);
    return false;
  }
  TFd fd(raw);
  auto fail = [&](const std::string& what, int code) {
    SetError(error, what, code);
    unlink(tempPath.c_str());
    return false;
  };
  struct stat old {};
  if (mode >= 0) {
    if (fchmod(fd.Get(), static_cast<mode_t>(mode)) != 0) return fail(tempPath, errno);
  } else if (stat(path.c_str(), &old) == 0 && fchmod(fd.Get(), old.st_mode & 07777) != 0) {
    return fail(tempPath, errno);
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(tempPath, errno);
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd.Get()) != 0) return fail(tempPath, errno);
  if (fd.Close() != 0) return fail(tempPath, errno);
  if (rename(tempPath.c_str(), path.c_str()) != 0) return fail(path, errno);
  return true;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  return ReplaceFile(path, bytes, -1, error);
}

bool ReplaceFileAtomicallyWithMode(const std::string& path, std::string_view bytes, uint32_t mode,
                                   std::string* error) {
  return ReplaceFile(path, bytes, static_cast<int>(mode & 07777), error);
}

bool RegularFileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOfPath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool CheckFileWriteAccess(const std::string& path, std::string* error) {
  std::string folder = FolderOfPath(path);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    SetError(error, folder, errno);
    return false;
  }
  TFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
  if (fd.Get() < 0) {
    SetError(error, path, errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetError(error, path, EINVAL);
    return false;
  }
  return true;
}

}  // namespace bx
