// The real Env: POSIX calls on the real file system and clocks. Regular
// files are locked with open-file-description locks (fcntl F_OFD_SETLK, the
// kind other dBase programs on Linux see); folders, which cannot be opened
// for writing, with flock, which is per open file too.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

#include "platform/env/Env.h"

namespace platform::env {
namespace {

[[noreturn]] void Throw(const char* operation, const std::string& path) {
  throw EnvError(errno, operation, path);
}

FileStatus StatusOf(const struct ::stat& st) {
  FileStatus s;
  s.kind = S_ISREG(st.st_mode)   ? FileKind::kRegular
           : S_ISDIR(st.st_mode) ? FileKind::kFolder
                                 : FileKind::kOther;
  s.device = static_cast<uint64_t>(st.st_dev);
  s.inode = static_cast<uint64_t>(st.st_ino);
  s.size = static_cast<uint64_t>(st.st_size);
  s.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.mode = st.st_mode & 07777;
  return s;
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path, bool folder)
      : fd_(fd), path_(std::move(path)), folder_(folder) {}
  ~PosixFile() override { ::close(fd_); }

  const std::string& Path() const override { return path_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) Throw("read", path_);
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    const auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) Throw("write", path_);
      if (r == 0) throw EnvError(EIO, "write", path_);
      done += static_cast<size_t>(r);
    }
  }

  uint64_t Size() override { return Status().size; }

  void Truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Throw("truncate", path_);
  }

  void Sync() override {
    if (::fsync(fd_) != 0) Throw("sync", path_);
  }

  FileStatus Status() override {
    struct ::stat st;
    if (::fstat(fd_, &st) != 0) Throw("status", path_);
    return StatusOf(st);
  }

  void SetMode(uint32_t mode) override {
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) Throw("set the mode of", path_);
  }

  LockAnswer TryLockAnswer(LockKind kind) override {
    for (;;) {
      int rc = 0;
      if (folder_) {
        rc = ::flock(fd_, (kind == LockKind::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
      } else {
        struct ::flock fl {};
        fl.l_type = kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        rc = ::fcntl(fd_, F_OFD_SETLK, &fl);
      }
      if (rc == 0) return LockAnswer::kTaken;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EACCES || errno == EWOULDBLOCK) return LockAnswer::kBusy;
      if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) return LockAnswer::kNoLocks;
      Throw("lock", path_);
    }
  }

  void Unlock() override {
    if (folder_) {
      ::flock(fd_, LOCK_UN);
      return;
    }
    struct ::flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(fd_, F_OFD_SETLK, &fl);
  }

 private:
  int fd_;
  std::string path_;
  bool folder_;
};

class PosixEnv : public Env {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             uint32_t create_mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenMode::kCreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
      case OpenMode::kTruncate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
      case OpenMode::kReadNoLink:
        flags |= O_RDONLY | O_NOFOLLOW | O_NONBLOCK;
        break;
    }
    int fd = -1;
    do {
      fd = ::open(path.c_str(), flags, static_cast<mode_t>(create_mode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) Throw("open", path);
    struct ::stat st;
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    return std::make_unique<PosixFile>(fd, path, folder);
  }

  std::optional<FileStatus> Stat(const std::string& path) override {
    struct ::stat st;
    if (::stat(path.c_str(), &st) == 0) return StatusOf(st);
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    Throw("status", path);
  }

  std::optional<FileStatus> LinkStatus(const std::string& path) override {
    struct ::stat st;
    if (::lstat(path.c_str(), &st) == 0) return StatusOf(st);
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    Throw("status", path);
  }

  std::vector<std::string> ListFolder(const std::string& folder) override {
    DIR* d = ::opendir(folder.c_str());
    if (!d) Throw("list", folder);
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
      const std::string_view name = e->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(d);
    return names;
  }

  void CreateFolder(const std::string& folder, uint32_t mode) override {
    if (::mkdir(folder.c_str(), static_cast<mode_t>(mode)) != 0) Throw("create folder", folder);
  }

  void RemoveFolder(const std::string& folder) override {
    if (::rmdir(folder.c_str()) != 0) Throw("remove folder", folder);
  }

  void Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) Throw("rename", from);
  }

  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) Throw("remove", path);
  }

  void SyncFolder(const std::string& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Throw("open folder", folder);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; the rename stands all the same.
    if (rc != 0 && err != EINVAL && err != EROFS) throw EnvError(err, "sync folder", folder);
  }

  void SyncFileSystem(const std::string& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Throw("open folder", folder);
    const int rc = ::syncfs(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0) throw EnvError(err, "sync file system", folder);
  }

  std::unique_ptr<File> CreateTemporary(const std::string& folder,
                                        const std::string& prefix) override {
    std::string pattern = JoinPath(folder, prefix) + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) Throw("create a file in", folder);
    return std::make_unique<PosixFile>(fd, pattern, false);
  }

  std::string ResolveLinks(const std::string& path) override {
    struct ::stat link;
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string out = resolved;
    std::free(resolved);
    return out;
  }

  uint32_t DefaultFileMode() override {
    // umask can only be read by setting it; put straight back.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666u & ~static_cast<uint32_t>(mask);
  }

  int64_t WallNs() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  }

  int64_t SteadyNs() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  }

  std::tm LocalTime(int64_t seconds) override {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
  }

  void SleepFor(std::chrono::microseconds duration) override {
    std::this_thread::sleep_for(duration);
  }
};

}  // namespace

Env& Env::Posix() {
  static Env* const posix = new PosixEnv();
  return *posix;
}

Env& Env::Default() {
  return Posix();
}

}  // namespace platform::env
