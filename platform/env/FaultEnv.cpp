// Fault injection: every call asks the rules first, then goes to the
// wrapped Env; files opened through the FaultEnv are wrapped so that their
// calls ask too.
#include "platform/env/FaultEnv.h"

namespace platform::env {
namespace {

class FaultFile : public File {
 public:
  FaultFile(FaultEnv& env, std::unique_ptr<File> target) : env_(env), target_(std::move(target)) {}

  const std::string& Path() const override { return target_->Path(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    env_.Check(Op::kRead, Path(), "read");
    return target_->ReadAt(offset, buffer, n);
  }
  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    env_.Check(Op::kWrite, Path(), "write");
    target_->WriteAt(offset, data, n);
  }
  uint64_t Size() override {
    env_.Check(Op::kStatus, Path(), "status");
    return target_->Size();
  }
  void Truncate(uint64_t size) override {
    env_.Check(Op::kTruncate, Path(), "truncate");
    target_->Truncate(size);
  }
  void Sync() override {
    env_.Check(Op::kSync, Path(), "sync");
    target_->Sync();
  }
  FileStatus Status() override {
    env_.Check(Op::kStatus, Path(), "status");
    return target_->Status();
  }
  void SetMode(uint32_t mode) override {
    env_.Check(Op::kSetMode, Path(), "set the mode of");
    target_->SetMode(mode);
  }
  LockAnswer TryLockAnswer(LockKind kind) override {
    env_.Check(Op::kLock, Path(), "lock");
    if (env_.LockHeld(Path())) return LockAnswer::kBusy;
    if (env_.WithoutLocks(Path())) return LockAnswer::kNoLocks;
    return target_->TryLockAnswer(kind);
  }
  void Unlock() override { target_->Unlock(); }

 private:
  FaultEnv& env_;
  std::unique_ptr<File> target_;
};

}  // namespace

void FaultEnv::Inject(const Fault& fault) {
  std::lock_guard<std::mutex> lock(mu_);
  rules_.push_back({fault, 0, 0});
}

void FaultEnv::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  rules_.clear();
  held_.clear();
  lockless_.clear();
}

void FaultEnv::HoldLock(const std::string& path_part) {
  std::lock_guard<std::mutex> lock(mu_);
  held_.push_back(path_part);
}

void FaultEnv::ReleaseLocks() {
  std::lock_guard<std::mutex> lock(mu_);
  held_.clear();
}

void FaultEnv::NoLocksOn(const std::string& path_part) {
  std::lock_guard<std::mutex> lock(mu_);
  lockless_.push_back(path_part);
}

bool FaultEnv::WithoutLocks(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  for (const std::string& part : lockless_) {
    if (path.find(part) != std::string::npos) return true;
  }
  return false;
}

int FaultEnv::Failures() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failures_;
}

bool FaultEnv::LockHeld(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  for (const std::string& part : held_) {
    if (path.find(part) != std::string::npos) return true;
  }
  return false;
}

void FaultEnv::Check(Op op, const std::string& path, const char* operation) {
  int code = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (Rule& rule : rules_) {
      const Fault& f = rule.fault;
      if (f.op != op || (!f.path.empty() && path.find(f.path) == std::string::npos)) continue;
      if (rule.seen++ < f.after) return;
      if (f.times >= 0 && rule.failed >= f.times) continue;
      ++rule.failed;
      ++failures_;
      code = f.code;
      break;
    }
  }
  if (code != 0) throw EnvError(code, operation, path);
}

std::unique_ptr<File> FaultEnv::Open(const std::string& path, OpenMode mode, uint32_t create_mode) {
  Check(Op::kOpen, path, "open");
  return std::make_unique<FaultFile>(*this, target_.Open(path, mode, create_mode));
}

std::optional<FileStatus> FaultEnv::Stat(const std::string& path) {
  Check(Op::kStat, path, "status");
  return target_.Stat(path);
}

std::optional<FileStatus> FaultEnv::LinkStatus(const std::string& path) {
  Check(Op::kStat, path, "status");
  return target_.LinkStatus(path);
}

std::vector<std::string> FaultEnv::ListFolder(const std::string& folder) {
  Check(Op::kList, folder, "list");
  return target_.ListFolder(folder);
}

void FaultEnv::CreateFolder(const std::string& folder, uint32_t mode) {
  Check(Op::kCreateFolder, folder, "create folder");
  target_.CreateFolder(folder, mode);
}

void FaultEnv::RemoveFolder(const std::string& folder) {
  Check(Op::kRemoveFolder, folder, "remove folder");
  target_.RemoveFolder(folder);
}

void FaultEnv::Rename(const std::string& from, const std::string& to) {
  Check(Op::kRename, from, "rename");
  target_.Rename(from, to);
}

void FaultEnv::Remove(const std::string& path) {
  Check(Op::kRemove, path, "remove");
  target_.Remove(path);
}

void FaultEnv::SyncFileSystem(const std::string& folder) {
  Check(Op::kSyncFileSystem, folder, "sync file system");
  target_.SyncFileSystem(folder);
}

void FaultEnv::SyncFolder(const std::string& folder) {
  Check(Op::kSyncFolder, folder, "sync folder");
  target_.SyncFolder(folder);
}

std::unique_ptr<File> FaultEnv::CreateTemporary(const std::string& folder,
                                                const std::string& prefix) {
  Check(Op::kCreateTemporary, folder, "create a file in");
  return std::make_unique<FaultFile>(*this, target_.CreateTemporary(folder, prefix));
}

}  // namespace platform::env
