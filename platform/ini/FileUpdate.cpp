// Locked atomic replacement: lock the folder, read, write a temporary file
// beside the target, fsync, rename.
#include "platform/ini/FileUpdate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::files {
namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

// A file descriptor closed with the object.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& out) {
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw FileError(Reason("cannot open", path, errno));
  }
  struct stat st {};
  if (fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw FileError(Reason("cannot read", path, EISDIR));
  }
  std::string content;
  if (!ReadAll(fd.get(), content)) throw FileError(Reason("cannot read", path, errno));
  return content;
}

void UpdateFile(const std::string& given_path, const ContentUpdate& update,
                std::optional<mode_t> mode) {
  // A file reached through a symbolic link is written where the link
  // points; replacing the link itself would leave the real file unchanged.
  std::string path = given_path;
  struct stat link {};
  if (lstat(given_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* resolved = realpath(given_path.c_str(), nullptr)) {
      path = resolved;
      free(resolved);
    }
  }
  std::string dir = DirectoryOf(path);
  Fd dir_fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.get() < 0) throw FileError(Reason("cannot open folder", dir, errno));
  while (flock(dir_fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw FileError(Reason("cannot lock folder", dir, errno));
  }
  // The lock goes with the descriptor when it is closed.

  std::optional<std::string> current = ReadWholeFile(path);
  std::optional<std::string> next = update(current);
  if (!next) return;

  mode_t new_mode;
  if (mode) {
    new_mode = *mode;
  } else {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
      new_mode = st.st_mode & 07777;
    } else {
      mode_t mask = umask(0);
      umask(mask);
      new_mode = 0666 & ~mask;
    }
  }

  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  Fd temp_fd(mkostemp(name.data(), O_CLOEXEC));
  if (temp_fd.get() < 0) throw FileError(Reason("cannot create a file in", dir, errno));
  std::string temp_path(name.data());
  auto fail = [&](const std::string& what) {
    int err = errno;
    unlink(temp_path.c_str());
    throw FileError(Reason(what, path, err));
  };
  if (fchmod(temp_fd.get(), new_mode) != 0) fail("cannot set the mode of");
  if (!WriteAll(temp_fd.get(), *next)) fail("cannot write");
  if (fsync(temp_fd.get()) != 0) fail("cannot write");
  if (close(temp_fd.release()) != 0) fail("cannot write");
  if (rename(temp_path.c_str(), path.c_str()) != 0) fail("cannot replace");
  fsync(dir_fd.get());
}

}  // namespace platform::files
