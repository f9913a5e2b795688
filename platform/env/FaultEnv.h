// An Env for tests that wraps another and fails the calls a test chooses:
// by operation, by a part of the path, after how many matching calls have
// succeeded, and for how many calls, with the errno code the test names
// (EIO, ENOSPC, EACCES, ...). It can also answer that another process holds
// the lock of a file, or that a file system keeps no locks. Everything not chosen passes through to the wrapped
// Env, including its clock.
//
// The FaultEnv must outlive the files it opened; it does not own the Env it
// wraps. Thread-safe.
#pragma once

#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "platform/env/Env.h"

namespace platform::env {

enum class Op {
  kOpen,             // Env::Open
  kRead,             // File::ReadAt
  kWrite,            // File::WriteAt
  kTruncate,         // File::Truncate
  kSync,             // File::Sync
  kStatus,           // File::Status and File::Size
  kSetMode,          // File::SetMode
  kLock,             // File::TryLock
  kStat,             // Env::Stat
  kList,             // Env::ListFolder
  kCreateFolder,     // Env::CreateFolder
  kRemoveFolder,     // Env::RemoveFolder
  kRename,           // Env::Rename (the path is the source's)
  kRemove,           // Env::Remove
  kSyncFolder,       // Env::SyncFolder
  kSyncFileSystem,   // Env::SyncFileSystem (the path is the folder's)
  kCreateTemporary,  // Env::CreateTemporary (the path is the folder's)
};

// One chosen failure, written as Fault(Op::kWrite, ENOSPC).On("TA_LIST").After(2).
struct Fault {
  Fault(Op fault_op, int fault_code) : op(fault_op), code(fault_code) {}
  Fault& On(std::string path_part) {
    path = std::move(path_part);
    return *this;
  }
  Fault& After(int calls) {
    after = calls;
    return *this;
  }
  Fault& Times(int failures) {
    times = failures;
    return *this;
  }

  Op op;
  int code;          // the errno value the call fails with
  std::string path;  // a part the path must contain; empty for any path
  int after = 0;     // matching calls that succeed before the first failure
  int times = -1;    // failures before the fault heals; -1 for good
};

class FaultEnv : public Env {
 public:
  explicit FaultEnv(Env& target) : target_(target) {}

  // Adds a fault; earlier ones stay. The first fault that matches a call
  // decides it.
  void Inject(const Fault& fault);
  // Takes away every fault and every lock held by "another process".
  void Clear();
  // From now on TryLock on a file whose path contains `path_part` answers
  // that another process holds the lock.
  void HoldLock(const std::string& path_part);
  void ReleaseLocks();
  // From now on the file system of the files whose path contains
  // `path_part` keeps no locks: TryLockAnswer says so, TryLock grants.
  void NoLocksOn(const std::string& path_part);
  // How many calls failed by a fault so far.
  int Failures() const;

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             uint32_t create_mode = 0666) override;
  std::optional<FileStatus> Stat(const std::string& path) override;
  std::optional<FileStatus> LinkStatus(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& folder) override;
  void CreateFolder(const std::string& folder, uint32_t mode = 0777) override;
  void RemoveFolder(const std::string& folder) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  void SyncFolder(const std::string& folder) override;
  void SyncFileSystem(const std::string& folder) override;
  std::unique_ptr<File> CreateTemporary(const std::string& folder,
                                        const std::string& prefix) override;
  std::string ResolveLinks(const std::string& path) override { return target_.ResolveLinks(path); }
  uint32_t DefaultFileMode() override { return target_.DefaultFileMode(); }

  int64_t WallNs() override { return target_.WallNs(); }
  int64_t SteadyNs() override { return target_.SteadyNs(); }
  std::tm LocalTime(int64_t seconds) override { return target_.LocalTime(seconds); }
  void SleepFor(std::chrono::microseconds duration) override { target_.SleepFor(duration); }

  // Throws the chosen EnvError when a fault decides this call. For the
  // wrapped files; `operation` names the call in the error.
  void Check(Op op, const std::string& path, const char* operation);
  bool LockHeld(const std::string& path) const;
  bool WithoutLocks(const std::string& path) const;

 private:
  struct Rule {
    Fault fault;
    int seen = 0;    // matching calls so far
    int failed = 0;  // of them failed
  };

  Env& target_;
  mutable std::mutex mu_;
  std::vector<Rule> rules_;
  std::vector<std::string> held_;
  std::vector<std::string> lockless_;
  int failures_ = 0;
};

}  // namespace platform::env
