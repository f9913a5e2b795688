// What every Env shares: the current Env, and the helpers
// written once over the interface (case-blind lookup, safe replace, waiting
// for a lock).
#include "platform/env/Env.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>

namespace platform::env {
namespace {

std::atomic<Env*> g_current{nullptr};

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsRegularFile(Env& env, const std::string& path) {
  const std::optional<FileStatus> st = env.Stat(path);
  return st && st->IsRegular();
}

}  // namespace

Env& Env::Current() {
  Env* env = g_current.load(std::memory_order_acquire);
  return env ? *env : Default();
}

ScopedEnv::ScopedEnv(Env& env) : previous_(g_current.exchange(&env, std::memory_order_acq_rel)) {}

ScopedEnv::~ScopedEnv() {
  g_current.store(previous_, std::memory_order_release);
}

std::optional<std::string> FindNoCase(Env& env, const std::string& folder, std::string_view name) {
  if (!IsPlainName(name)) return std::nullopt;
  const std::string exact(name);
  if (IsRegularFile(env, JoinPath(folder, exact))) return exact;
  std::vector<std::string> matches;
  try {
    for (std::string& entry : env.ListFolder(folder)) {
      if (entry != exact && EqualNoCase(entry, name)) matches.push_back(std::move(entry));
    }
  } catch (const EnvError&) {
    return std::nullopt;
  }
  std::sort(matches.begin(), matches.end());
  for (const std::string& entry : matches) {
    if (IsRegularFile(env, JoinPath(folder, entry))) return entry;
  }
  return std::nullopt;
}

bool FileExistsNoCase(Env& env, const std::string& path) {
  return !path.empty() && FileExistsNoCase(env, FolderOf(path), NameOf(path));
}

bool FileExistsNoCase(Env& env, const std::string& folder, std::string_view name) {
  return FindNoCase(env, folder, name).has_value();
}

namespace {

// The new content of `path` goes into a temporary file of its folder (written
// by `fill`), which is synced and renamed over the target; a failure at any
// step removes the temporary file and leaves the old one as it was.
void ReplaceThroughTemporary(Env& env, const std::string& path, std::optional<uint32_t> mode,
                             const std::function<void(File&)>& fill) {
  uint32_t new_mode = 0;
  if (mode) {
    new_mode = *mode;
  } else if (const std::optional<FileStatus> old = env.Stat(path)) {
    new_mode = old->mode;
  } else {
    new_mode = env.DefaultFileMode();
  }
  const std::string folder = FolderOf(path);
  std::unique_ptr<File> temp = env.CreateTemporary(folder, NameOf(path) + ".");
  const std::string temp_path = temp->Path();
  try {
    temp->SetMode(new_mode);
    fill(*temp);
    temp->Sync();
    temp.reset();
    env.Rename(temp_path, path);
  } catch (...) {
    temp.reset();
    try {
      env.Remove(temp_path);
    } catch (const EnvError&) {
      // Gone already, or the folder refuses: nothing more to tidy.
    }
    throw;
  }
  // The new name is in place; a crash before the folder reaches the disk
  // leaves the old or the new file, both whole.
  env.SyncFolder(folder);
}

}  // namespace

void ReplaceFile(Env& env, const std::string& path, std::string_view content,
                 std::optional<uint32_t> mode) {
  ReplaceThroughTemporary(env, path, mode,
                          [&](File& temp) { temp.WriteAt(0, content.data(), content.size()); });
}

namespace {

// Copies the file's content into the open file, block by block: pictures run
// to megabytes and are never held whole in memory.
uint64_t CopyContent(File& source, File& target, std::vector<char>& block) {
  uint64_t at = 0;
  while (const size_t n = source.ReadAt(at, block.data(), block.size())) {
    target.WriteAt(at, block.data(), n);
    at += n;
  }
  return at;
}

// A file written to while it was copied shows another size or time.
bool StillAsChecked(const FileStatus& now, const FileStatus& checked, uint64_t copied) {
  return now.SameFile(checked) && now.size == checked.size && now.mtime_ns == checked.mtime_ns &&
         copied == checked.size;
}

std::unique_ptr<File> OpenSource(Env& env, const std::string& from) {
  std::unique_ptr<File> source = env.Open(from, OpenMode::kRead);
  if (source->Status().IsFolder()) throw EnvError(EISDIR, "read", from);
  return source;
}

}  // namespace

void CopyFile(Env& env, const std::string& from, const std::string& to) {
  std::unique_ptr<File> source = OpenSource(env, from);
  std::vector<char> block(1 << 20);
  ReplaceThroughTemporary(env, to, std::nullopt,
                          [&](File& temp) { CopyContent(*source, temp, block); });
}

std::vector<std::string> CopyFiles(Env& env, const std::vector<CopyJob>& jobs) {
  std::vector<std::string> errors(jobs.size());
  std::vector<std::string> temps(jobs.size());
  auto drop = [&](size_t i, const std::string& error) {
    errors[i] = error;
    if (temps[i].empty()) return;
    try {
      env.Remove(temps[i]);
    } catch (const EnvError&) {
      // Gone already, or the folder refuses: nothing more to tidy.
    }
    temps[i].clear();
  };
  // Each copy goes into a temporary file beside its target first.
  std::vector<char> block(1 << 20);
  std::vector<std::string> folders;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const std::string folder = FolderOf(jobs[i].to);
    try {
      std::unique_ptr<File> opened;
      if (!jobs[i].source) opened = OpenSource(env, jobs[i].from);
      File& source = jobs[i].source ? *jobs[i].source : *opened;
      // Opened by its name, the source must still be the file checked
      // under it, no link; an open handle reads the file checked whatever
      // the name stands for now. What it read is held to the check below.
      if (jobs[i].expect && !jobs[i].source) {
        const std::optional<FileStatus> named = env.LinkStatus(jobs[i].from);
        if (!named || !named->IsRegular() || !named->SameFile(*jobs[i].expect)) {
          drop(i, "\"" + jobs[i].from + "\" wurde verändert, seit es geprüft wurde.");
          continue;
        }
      }
      const std::optional<FileStatus> old = env.Stat(jobs[i].to);
      std::unique_ptr<File> temp = env.CreateTemporary(folder, NameOf(jobs[i].to) + ".");
      temps[i] = temp->Path();
      temp->SetMode(old ? old->mode : env.DefaultFileMode());
      const uint64_t copied = CopyContent(source, *temp, block);
      if (jobs[i].expect && !StillAsChecked(source.Status(), *jobs[i].expect, copied)) {
        throw EnvError(ESTALE, "copy", jobs[i].from);
      }
      if (jobs[i].check) {
        const std::string refused = jobs[i].check(*temp);
        if (!refused.empty()) {
          temp.reset();  // an open file cannot be removed on Windows
          drop(i, refused);
          continue;
        }
      }
    } catch (const EnvError& e) {
      drop(i, e.what());
      continue;
    }
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
    }
  }
  auto fail_folder = [&](const std::string& folder, const std::string& error, bool placed) {
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (errors[i].empty() && FolderOf(jobs[i].to) == folder) {
        if (placed) {
          errors[i] = error;
        } else {
          drop(i, error);
        }
      }
    }
  };
  // Their contents reach the disk in one sync, before any takes its name.
  for (const std::string& folder : folders) {
    try {
      env.SyncFileSystem(folder);
    } catch (const EnvError& e) {
      fail_folder(folder, e.what(), false);
    }
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (temps[i].empty()) continue;
    try {
      env.Rename(temps[i], jobs[i].to);
    } catch (const EnvError& e) {
      drop(i, e.what());
    }
  }
  // The new names reach the disk; until then a crash leaves the old files.
  for (const std::string& folder : folders) {
    try {
      env.SyncFolder(folder);
    } catch (const EnvError& e) {
      fail_folder(folder, e.what(), true);
    }
  }
  return errors;
}

std::string ReadFile(Env& env, const std::string& path) {
  std::unique_ptr<File> file = env.Open(path, OpenMode::kRead);
  const FileStatus st = file->Status();
  if (st.IsFolder()) throw EnvError(EISDIR, "read", path);
  // Read at the size the file has, in one call: settings files are replaced
  // whole, never grown in place. Only a file that tells no size (as those
  // of /proc) is read until it ends.
  std::string content(static_cast<size_t>(st.size), '\0');
  size_t done = file->ReadAt(0, content.data(), content.size());
  if (st.size == 0) {
    char buffer[8192];
    while (const size_t n = file->ReadAt(done, buffer, sizeof buffer)) {
      content.append(buffer, n);
      done += n;
    }
  }
  content.resize(done);
  return content;
}

bool LockWithin(Env& env, File& file, LockKind kind, int timeout_ms) {
  const int64_t deadline = env.SteadyNs() + static_cast<int64_t>(timeout_ms) * 1000000;
  int pause_us = 100;
  for (;;) {
    if (file.TryLock(kind)) return true;
    if (env.SteadyNs() >= deadline) return false;
    env.SleepFor(std::chrono::microseconds(pause_us));
    pause_us = std::min(pause_us * 2, 5000);
  }
}

}  // namespace platform::env
