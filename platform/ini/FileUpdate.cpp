// Locked atomic replacement through the platform seam: lock the folder,
// read, hand the new content to the Env's safe replace (a synced temporary
// file renamed over the old one).
#include "platform/ini/FileUpdate.h"

#include <cerrno>
#include <cstring>

#include "platform/env/Env.h"

namespace platform::files {
namespace {

// Writers of one folder queue behind each other; a holder that keeps the
// lock this long is taken for stuck.
constexpr int kFolderLockTimeoutMs = 30000;

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  return env::FolderOf(path);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  try {
    return env::ReadFile(env::Env::Current(), path);
  } catch (const env::EnvError& e) {
    if (e.Code() == ENOENT || e.Code() == ENOTDIR) return std::nullopt;
    throw FileError(
        Reason(e.Operation() == "open" ? "cannot open" : "cannot read", path, e.Code()));
  }
}

void UpdateFile(const std::string& given_path, const ContentUpdate& update,
                std::optional<uint32_t> mode) {
  env::Env& env = env::Env::Current();
  // A file reached through a symbolic link is written where the link
  // points; replacing the link itself would leave the real file unchanged.
  const std::string path = env.ResolveLinks(given_path);
  const std::string dir = DirectoryOf(path);
  std::unique_ptr<env::File> folder;
  try {
    folder = env.Open(dir, env::OpenMode::kRead);
  } catch (const env::EnvError& e) {
    throw FileError(Reason("cannot open folder", dir, e.Code()));
  }
  bool locked = false;
  try {
    locked = env::LockWithin(env, *folder, env::LockKind::kExclusive, kFolderLockTimeoutMs);
  } catch (const env::EnvError& e) {
    throw FileError(Reason("cannot lock folder", dir, e.Code()));
  }
  if (!locked) throw FileError(Reason("cannot lock folder", dir, EWOULDBLOCK));
  // The lock goes with the folder's handle when it is closed.

  std::optional<std::string> current = ReadWholeFile(path);
  std::optional<std::string> next = update(current);
  if (!next) return;
  try {
    env::ReplaceFile(env, path, *next, mode);
  } catch (const env::EnvError& e) {
    const std::string& op = e.Operation();
    if (op == "sync folder" || op == "open folder") return;  // the new file is in place
    if (op == "create a file in") throw FileError(Reason("cannot create a file in", dir, e.Code()));
    if (op == "set the mode of") throw FileError(Reason("cannot set the mode of", path, e.Code()));
    if (op == "rename") throw FileError(Reason("cannot replace", path, e.Code()));
    throw FileError(Reason("cannot write", path, e.Code()));
  }
}

}  // namespace platform::files
