#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bx {

const int kFileLockedCode = EWOULDBLOCK;
const int kFileShortWriteCode = EIO;

bool IsFileMissing(const TSystemError& status) {
  return status.Code == ENOENT || status.Code == ENOTDIR;
}

namespace {

constexpr mode_t kNewFileMode = 0644;

void SetError(TSystemError& status, int code) {
  if (code == kFileLockedCode) {
    status = {code, "locked by another writer"};
    return;
  }
  status = TSystemError::Of(code);
}

void SetOk(TSystemError& status) { status = {}; }

constexpr int64_t kStampLifetimeNs = 1'000'000'000;

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t SteadyNanoseconds() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t);
}

TFolderStamp StampOf(const struct stat& st) {
  TFolderStamp stamp;
  stamp.Valid = true;
  stamp.Device = static_cast<int64_t>(st.st_dev);
  stamp.Inode = static_cast<int64_t>(st.st_ino);
  stamp.ModifiedNs = Nanoseconds(st.st_mtim);
  stamp.ChangedNs = Nanoseconds(st.st_ctim);
  stamp.ListedAtNs = SteadyNanoseconds();
  return stamp;
}

int CloseRetryless(int fd) {
  // close is never retried after EINTR on Linux: the descriptor is gone either way.
  return ::close(fd) == 0 ? 0 : errno;
}

class TPosixWritableFile final : public TWritableFile {
 public:
  explicit TPosixWritableFile(int fd) : FFd(fd) {}
  ~TPosixWritableFile() override {
    if (FFd >= 0) CloseRetryless(FFd);
  }
  TPosixWritableFile(const TPosixWritableFile&) = delete;
  TPosixWritableFile& operator=(const TPosixWritableFile&) = delete;

  int64_t Size(TSystemError& status) override {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) {
      SetError(status, errno);
      return -1;
    }
    SetOk(status);
    return static_cast<int64_t>(st.st_size);
  }

  size_t Write(std::span<const std::byte> bytes, TSystemError& status) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(FFd, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        SetError(status, errno);
        return done;
      }
      if (n == 0) {
        SetError(status, kFileShortWriteCode);
        return done;
      }
      done += static_cast<size_t>(n);
    }
    SetOk(status);
    return done;
  }

  bool Truncate(int64_t size, TSystemError& status) override {
    if (::ftruncate(FFd, static_cast<off_t>(size)) != 0) {
      SetError(status, errno);
      return false;
    }
    SetOk(status);
    return true;
  }

  bool Identity(TFileIdentity& identity) override {
    struct stat st {};
    if (FFd < 0 || ::fstat(FFd, &st) != 0) return false;
    identity = {static_cast<int64_t>(st.st_dev), static_cast<int64_t>(st.st_ino)};
    return true;
  }

  bool Close(TSystemError& status) override {
    SetOk(status);
    if (FFd < 0) return true;
    const int error = CloseRetryless(FFd);
    FFd = -1;
    if (error != 0) {
      SetError(status, error);
      return false;
    }
    return true;
  }

 private:
  int FFd;
};

class TPosixReadableFile final : public TReadableFile {
 public:
  explicit TPosixReadableFile(int fd) : FFd(fd) {}
  ~TPosixReadableFile() override { CloseRetryless(FFd); }
  TPosixReadableFile(const TPosixReadableFile&) = delete;
  TPosixReadableFile& operator=(const TPosixReadableFile&) = delete;

  int64_t Size(TSystemError& status) override {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) {
      SetError(status, errno);
      return -1;
    }
    SetOk(status);
    return static_cast<int64_t>(st.st_size);
  }

  size_t ReadAt(int64_t offset, std::span<std::byte> into, TSystemError& status) override {
    size_t done = 0;
    SetOk(status);
    while (done < into.size()) {
      const ssize_t n = ::pread(FFd, into.data() + done, into.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
      if (n < 0) {
        if (errno == EINTR) continue;
        SetError(status, errno);
        break;
      }
      if (n == 0) break;  // end of file
      done += static_cast<size_t>(n);
    }
    return done;
  }

 private:
  int FFd;
};

class TPosixFileSystem final : public TFileSystem {
 public:
  std::unique_ptr<TWritableFile> OpenForWrite(const std::string& path, TOpenMode mode,
                                              TSystemError& status) override {
    int flags = O_WRONLY | O_APPEND | O_CLOEXEC;
    if (mode == TOpenMode::OpenOrCreate) flags |= O_CREAT;
    int fd;
    do {
      fd = ::open(path.c_str(), flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      SetError(status, errno);
      return nullptr;
    }
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const int error = errno;
      CloseRetryless(fd);
      SetError(status, error);
      return nullptr;
    }
    SetOk(status);
    return std::make_unique<TPosixWritableFile>(fd);
  }

  std::unique_ptr<TReadableFile> OpenForRead(const std::string& path,
                                             TSystemError& status) override {
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      SetError(status, errno);
      return nullptr;
    }
    SetOk(status);
    return std::make_unique<TPosixReadableFile>(fd);
  }

  bool Rename(const std::string& from, const std::string& to, TSystemError& status) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      SetOk(status);
      return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
      SetError(status, errno);
      return false;
    }
    // A file system without the no-replace rename: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      SetOk(status);
      return true;
    }
    if (errno == EEXIST || errno == ENOENT) {
      SetError(status, errno);
      return false;
    }
    // Neither is available (no hard links): test first, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
      SetError(status, EEXIST);
      return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
      SetError(status, errno);
      return false;
    }
    SetOk(status);
    return true;
  }

  bool Delete(const std::string& path, TSystemError& status) override {
    if (::unlink(path.c_str()) != 0) {
      SetError(status, errno);
      return false;
    }
    SetOk(status);
    return true;
  }

  std::vector<std::string> ListFolder(const std::string& folder, std::string_view prefix,
                                      std::string_view suffix, TFolderStamp* stamp) override {
    std::vector<std::string> names;
    if (stamp != nullptr) *stamp = TFolderStamp{};
    // The coarse clock is the one the kernel stamps folder changes with: a change after this
    // moment carries this time or a later one.
    timespec listedAt{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &listedAt);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      if (name.size() < prefix.size() + suffix.size()) continue;
      if (!name.starts_with(prefix) || !name.ends_with(suffix)) continue;
      names.emplace_back(name);
    }
    struct stat st {};
    if (stamp != nullptr && ::fstat(::dirfd(dir), &st) == 0 &&
        Nanoseconds(st.st_mtim) < Nanoseconds(listedAt) &&
        Nanoseconds(st.st_ctim) < Nanoseconds(listedAt)) {
      *stamp = StampOf(st);
    }
    ::closedir(dir);
    return names;
  }

  bool FolderUnchanged(const std::string& folder, const TFolderStamp& stamp) override {
    if (!stamp.Valid || SteadyNanoseconds() - stamp.ListedAtNs > kStampLifetimeNs) return false;
    struct stat st {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return false;
    const TFolderStamp now = StampOf(st);
    return now.Device == stamp.Device && now.Inode == stamp.Inode &&
           now.ModifiedNs == stamp.ModifiedNs && now.ChangedNs == stamp.ChangedNs;
  }

  int64_t FileSize(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
  }

  bool IdentityOf(const std::string& path, TFileIdentity& identity) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    identity = {static_cast<int64_t>(st.st_dev), static_cast<int64_t>(st.st_ino)};
    return true;
  }

  bool FolderExists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
};

}  // namespace

TFileSystem& RealFileSystem() {
  static TPosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace bx
