// An Env whose files and folders live in memory, for unit tests and the
// fuzzers: nothing reaches the disk, and every instance is a file system of
// its own that starts with the root folder "/" alone. Paths are taken as
// absolute ("a/b" is "/a/b"); there are no links. Locks behave as OFD locks
// between the File objects of one MemEnv. The clock is the Env's own: it
// starts at 2024-01-01 00:00 UTC, moves on by a microsecond at each reading
// and by the full length of each SleepFor, which returns at once; local time
// is UTC. A folder's modification time moves when an entry is made,
// removed or renamed in it. Thread-safe.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/env/Env.h"

namespace platform::env {

class MemEnv : public Env {
 public:
  MemEnv();
  ~MemEnv() override;

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             uint32_t create_mode = 0666) override;
  std::optional<FileStatus> Stat(const std::string& path) override;
  // A memory file system has no links.
  std::optional<FileStatus> LinkStatus(const std::string& path) override { return Stat(path); }
  std::vector<std::string> ListFolder(const std::string& folder) override;
  void CreateFolder(const std::string& folder, uint32_t mode = 0777) override;
  void RemoveFolder(const std::string& folder) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  void SyncFolder(const std::string& folder) override;
  void SyncFileSystem(const std::string& folder) override { SyncFolder(folder); }
  std::unique_ptr<File> CreateTemporary(const std::string& folder,
                                        const std::string& prefix) override;
  std::string ResolveLinks(const std::string& path) override { return path; }
  uint32_t DefaultFileMode() override { return 0644; }

  int64_t WallNs() override;
  int64_t SteadyNs() override;
  std::tm LocalTime(int64_t seconds) override;
  void SleepFor(std::chrono::microseconds duration) override;

  // The path as this Env keys it: absolute, no empty, "." or ".." parts.
  static std::string Normalize(const std::string& path);

  struct Node;

 private:
  friend class MemFile;
  std::shared_ptr<Node> Find(const std::string& key) const;  // under mu_
  void CheckParent(const std::string& key, const std::string& path, const char* operation) const;
  int64_t Tick(int64_t ns);
  void Touch(const std::string& key);  // the folder of `key` changed; under mu_

  mutable std::mutex mu_;
  std::map<std::string, std::shared_ptr<Node>> nodes_;
  uint64_t next_inode_ = 1;
  uint64_t temp_counter_ = 0;
  int64_t clock_ns_;
};

}  // namespace platform::env
