// Locked atomic replacement through the platform seam: lock the folder,
// read, hand the new content to the Env's safe replace (a synced temporary
// file renamed over the old one).
#include "platform/ini/FileUpdate.h"

#include <cerrno>

#include "platform/env/Env.h"

namespace platform::files {
namespace {

// Writers of one folder queue behind each other; a holder that keeps the
// lock this long is taken for stuck.
constexpr int kFolderLockTimeoutMs = 30000;

// "<subject> \"<path>\" <what>: <reason>." with the reason from the Env's
// one table, which names Windows' own reason on Windows.
std::string Text(const char* subject, const std::string& path, const char* what,
                 const std::string& reason) {
  return std::string(subject) + " \"" + path + "\" " + what + ": " + reason + ".";
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
        Text("Die Datei", path,
             e.Operation() == "open" ? "kann nicht geöffnet werden" : "kann nicht gelesen werden",
             e.Reason()));
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
    throw FileError(Text("Der Ordner", dir, "kann nicht geöffnet werden", e.Reason()));
  }
  bool locked = false;
  try {
    locked = env::LockWithin(env, *folder, env::LockKind::kExclusive, kFolderLockTimeoutMs);
  } catch (const env::EnvError& e) {
    throw FileError(Text("Der Ordner", dir, "kann nicht gesperrt werden", e.Reason()));
  }
  if (!locked) {
    throw FileError(Text("Der Ordner", dir, "kann nicht gesperrt werden",
                         "Ein anderes Programm schreibt seit " +
                             std::to_string(kFolderLockTimeoutMs / 1000) +
                             " Sekunden darin; später noch einmal versuchen"));
  }
  // The lock goes with the folder's handle when it is closed.

  std::optional<std::string> current = ReadWholeFile(path);
  std::optional<std::string> next = update(current);
  if (!next) return;
  try {
    env::ReplaceFile(env, path, *next, mode);
  } catch (const env::EnvError& e) {
    const std::string& op = e.Operation();
    if (op == "sync folder" || op == "open folder") return;  // the new file is in place
    if (op == "create a file in") {
      throw FileError(Text("Im Ordner", dir, "kann keine Datei angelegt werden", e.Reason()));
    }
    if (op == "set the mode of") {
      throw FileError(
          Text("Die Zugriffsrechte der Datei", path, "können nicht gesetzt werden", e.Reason()));
    }
    if (op == "rename") {
      throw FileError(Text("Die Datei", path, "kann nicht ersetzt werden", e.Reason()));
    }
    throw FileError(Text("Die Datei", path, "kann nicht geschrieben werden", e.Reason()));
  }
}

}  // namespace platform::files
