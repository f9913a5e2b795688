// Files in memory: a map from normalized path to node. An open file holds
// its node, so a file removed or renamed while open keeps its content for
// the holder, as on POSIX.
#include "platform/env/MemEnv.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace platform::env {

struct MemEnv::Node {
  bool folder = false;
  std::string data;
  uint64_t inode = 0;
  int64_t mtime_ns = 0;
  uint32_t mode = 0;
  // Lock holders, by open file.
  const void* exclusive = nullptr;
  std::set<const void*> shared;
};

namespace {

constexpr int64_t kStartNs = 1704067200LL * 1000000000;  // 2024-01-01 00:00 UTC
constexpr uint64_t kDevice = 0x4D454D;

std::string Parent(const std::string& key) {
  const size_t slash = key.find_last_of('/');
  return slash == 0 ? "/" : key.substr(0, slash);
}

}  // namespace

class MemFile : public File {
 public:
  MemFile(MemEnv& env, std::shared_ptr<MemEnv::Node> node, std::string path, bool writable)
      : env_(env), node_(std::move(node)), path_(std::move(path)), writable_(writable) {}
  ~MemFile() override { Unlock(); }

  const std::string& Path() const override { return path_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    if (node_->folder) throw EnvError(EISDIR, "read", path_);
    const std::string& data = node_->data;
    if (offset >= data.size()) return 0;
    const size_t k = std::min<uint64_t>(n, data.size() - offset);
    std::memcpy(buffer, data.data() + offset, k);
    return k;
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    if (!writable_) throw EnvError(EBADF, "write", path_);
    std::string& d = node_->data;
    if (offset + n > d.size()) d.resize(offset + n, '\0');
    if (n > 0) std::memcpy(d.data() + offset, data, n);
    node_->mtime_ns = env_.Tick(1000);
  }

  uint64_t Size() override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    return node_->data.size();
  }

  void Truncate(uint64_t size) override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    if (!writable_) throw EnvError(EBADF, "truncate", path_);
    node_->data.resize(size, '\0');
    node_->mtime_ns = env_.Tick(1000);
  }

  void Sync() override {}

  FileStatus Status() override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    return StatusOf(*node_);
  }

  void SetMode(uint32_t mode) override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    node_->mode = mode & 07777;
  }

  LockAnswer TryLockAnswer(LockKind kind) override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    MemEnv::Node& n = *node_;
    if (n.exclusive && n.exclusive != this) return LockAnswer::kBusy;
    if (kind == LockKind::kExclusive) {
      const bool others = n.shared.size() > (n.shared.count(this) ? 1u : 0u);
      if (others) return LockAnswer::kBusy;
      n.shared.erase(this);
      n.exclusive = this;
    } else {
      n.exclusive = nullptr;
      n.shared.insert(this);
    }
    return LockAnswer::kTaken;
  }

  void Unlock() override {
    std::lock_guard<std::mutex> lock(env_.mu_);
    if (node_->exclusive == this) node_->exclusive = nullptr;
    node_->shared.erase(this);
  }

  static FileStatus StatusOf(const MemEnv::Node& n) {
    FileStatus s;
    s.kind = n.folder ? FileKind::kFolder : FileKind::kRegular;
    s.device = kDevice;
    s.inode = n.inode;
    s.size = n.folder ? 0 : n.data.size();
    s.mtime_ns = n.mtime_ns;
    s.mode = n.mode;
    return s;
  }

 private:
  MemEnv& env_;
  std::shared_ptr<MemEnv::Node> node_;
  std::string path_;
  bool writable_;
};

MemEnv::MemEnv() : clock_ns_(kStartNs) {
  auto root = std::make_shared<Node>();
  root->folder = true;
  root->inode = next_inode_++;
  root->mode = 0755;
  root->mtime_ns = clock_ns_;
  nodes_["/"] = root;
}

MemEnv::~MemEnv() = default;

std::string MemEnv::Normalize(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    const size_t slash = std::min(path.find('/', i), path.size());
    const std::string part = path.substr(i, slash - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = slash + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::shared_ptr<MemEnv::Node> MemEnv::Find(const std::string& key) const {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : it->second;
}

void MemEnv::CheckParent(const std::string& key, const std::string& path,
                         const char* operation) const {
  const std::shared_ptr<Node> parent = Find(Parent(key));
  if (!parent) throw EnvError(ENOENT, operation, path);
  if (!parent->folder) throw EnvError(ENOTDIR, operation, path);
}

void MemEnv::Touch(const std::string& key) {
  // As on POSIX, a folder changes when an entry comes or goes: callers that
  // watch a folder for new names go by its modification time.
  if (const std::shared_ptr<Node> parent = Find(Parent(key))) parent->mtime_ns = Tick(1000);
}

int64_t MemEnv::Tick(int64_t ns) {
  clock_ns_ += ns;
  return clock_ns_;
}

std::unique_ptr<File> MemEnv::Open(const std::string& path, OpenMode mode, uint32_t create_mode) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key = Normalize(path);
  std::shared_ptr<Node> node = Find(key);
  // Memory has no links: reading without them is reading.
  if (mode == OpenMode::kReadNoLink) mode = OpenMode::kRead;
  if (!node) {
    if (mode == OpenMode::kRead || mode == OpenMode::kReadWrite) {
      CheckParent(key, path, "open");
      throw EnvError(ENOENT, "open", path);
    }
    CheckParent(key, path, "open");
    node = std::make_shared<Node>();
    node->inode = next_inode_++;
    node->mode = create_mode & 07777 & ~022u;  // as under the usual umask
    node->mtime_ns = Tick(1000);
    nodes_[key] = node;
    Touch(key);
  } else if (mode == OpenMode::kCreateNew) {
    throw EnvError(EEXIST, "open", path);
  } else if (node->folder && mode != OpenMode::kRead) {
    throw EnvError(EISDIR, "open", path);
  } else if (mode == OpenMode::kTruncate) {
    node->data.clear();
    node->mtime_ns = Tick(1000);
  }
  return std::make_unique<MemFile>(*this, node, path, mode != OpenMode::kRead);
}

std::optional<FileStatus> MemEnv::Stat(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::shared_ptr<Node> node = Find(Normalize(path));
  if (!node) return std::nullopt;
  return MemFile::StatusOf(*node);
}

std::vector<std::string> MemEnv::ListFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key = Normalize(folder);
  const std::shared_ptr<Node> node = Find(key);
  if (!node) throw EnvError(ENOENT, "list", folder);
  if (!node->folder) throw EnvError(ENOTDIR, "list", folder);
  const std::string prefix = key == "/" ? "/" : key + "/";
  std::vector<std::string> names;
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (!rest.empty() && rest.find('/') == std::string::npos) names.push_back(rest);
  }
  return names;
}

void MemEnv::CreateFolder(const std::string& folder, uint32_t mode) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key = Normalize(folder);
  if (Find(key)) throw EnvError(EEXIST, "create folder", folder);
  CheckParent(key, folder, "create folder");
  auto node = std::make_shared<Node>();
  node->folder = true;
  node->inode = next_inode_++;
  node->mode = mode & 07777 & 0755;
  node->mtime_ns = Tick(1000);
  nodes_[key] = node;
  Touch(key);
}

void MemEnv::RemoveFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key = Normalize(folder);
  const std::shared_ptr<Node> node = Find(key);
  if (!node) throw EnvError(ENOENT, "remove folder", folder);
  if (!node->folder) throw EnvError(ENOTDIR, "remove folder", folder);
  if (key == "/") throw EnvError(EBUSY, "remove folder", folder);
  auto next = nodes_.upper_bound(key);
  if (next != nodes_.end() && next->first.compare(0, key.size() + 1, key + "/") == 0) {
    throw EnvError(ENOTEMPTY, "remove folder", folder);
  }
  nodes_.erase(key);
  Touch(key);
}

void MemEnv::Rename(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string src = Normalize(from);
  const std::string dst = Normalize(to);
  const std::shared_ptr<Node> node = Find(src);
  if (!node) throw EnvError(ENOENT, "rename", from);
  CheckParent(dst, to, "rename");
  if (src == dst) return;
  if (const std::shared_ptr<Node> old = Find(dst)) {
    if (old->folder != node->folder) throw EnvError(old->folder ? EISDIR : ENOTDIR, "rename", from);
    if (old->folder) throw EnvError(ENOTEMPTY, "rename", from);
  }
  if (node->folder) {
    if (dst.compare(0, src.size() + 1, src + "/") == 0) throw EnvError(EINVAL, "rename", from);
    std::vector<std::pair<std::string, std::shared_ptr<Node>>> moved;
    for (auto it = nodes_.upper_bound(src);
         it != nodes_.end() && it->first.compare(0, src.size() + 1, src + "/") == 0;) {
      moved.emplace_back(dst + it->first.substr(src.size()), it->second);
      it = nodes_.erase(it);
    }
    for (auto& [key, child] : moved) nodes_[key] = child;
  }
  nodes_.erase(src);
  nodes_[dst] = node;
  Touch(src);
  Touch(dst);
}

void MemEnv::Remove(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string key = Normalize(path);
  const std::shared_ptr<Node> node = Find(key);
  if (!node) throw EnvError(ENOENT, "remove", path);
  if (node->folder) throw EnvError(EISDIR, "remove", path);
  nodes_.erase(key);
  Touch(key);
}

void MemEnv::SyncFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::shared_ptr<Node> node = Find(Normalize(folder));
  if (!node) throw EnvError(ENOENT, "open folder", folder);
}

std::unique_ptr<File> MemEnv::CreateTemporary(const std::string& folder,
                                              const std::string& prefix) {
  for (;;) {
    uint64_t n = 0;
    {
      std::lock_guard<std::mutex> lock(mu_);
      n = ++temp_counter_;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06llu", static_cast<unsigned long long>(n % 1000000));
    try {
      return Open(JoinPath(folder, prefix + suffix), OpenMode::kCreateNew, 0600);
    } catch (const EnvError& e) {
      if (e.Code() != EEXIST) throw EnvError(e.Code(), "create a file in", folder);
    }
  }
}

int64_t MemEnv::WallNs() {
  std::lock_guard<std::mutex> lock(mu_);
  return Tick(1000);
}

int64_t MemEnv::SteadyNs() {
  return WallNs() - kStartNs;
}

std::tm MemEnv::LocalTime(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  ::gmtime_r(&t, &tm);
#endif
  return tm;
}

void MemEnv::SleepFor(std::chrono::microseconds duration) {
  std::lock_guard<std::mutex> lock(mu_);
  Tick(std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count());
}

}  // namespace platform::env
