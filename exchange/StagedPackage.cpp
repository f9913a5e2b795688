// The staging of a package and its move into place (StagedPackage.h).
#include "exchange/StagedPackage.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <vector>

#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/ini/IniFile.h"
#include "platform/text/Strings.h"

namespace StagedPackage {
namespace {

namespace env = platform::env;
using platform::text::EqualsIgnoreCase;

std::string PhotoFolderName(const Package::Names& names) {
  return names.P + "_Fotos";
}

// Removes a file, or a folder with everything in it. A link is removed
// itself, never followed: the staging folder may hold nothing of the
// mapper's but what the export put there.
void RemoveTree(env::Env& e, const std::string& path) {
  const std::optional<env::FileStatus> status = e.LinkStatus(path);
  if (!status) return;
  if (status->IsFolder()) {
    for (const std::string& name : e.ListFolder(path)) RemoveTree(e, env::JoinPath(path, name));
    e.RemoveFolder(path);
  } else {
    e.Remove(path);
  }
}

bool IsFolder(env::Env& e, const std::string& path) {
  const std::optional<env::FileStatus> status = e.LinkStatus(path);
  return status && status->IsFolder();
}

// The file a temporary file was made for: the name less "." and six letters.
std::string TemporaryFor(const std::string& name) {
  constexpr size_t kTail = 7;
  return name.size() > kTail ? name.substr(0, name.size() - kTail) : std::string();
}

// The photo folder in D, spelt as it is there; the exact name first.
std::optional<std::string> ExistingPhotoFolder(env::Env& e, const std::string& D,
                                               const std::vector<std::string>& entries,
                                               const std::string& wanted) {
  std::vector<std::string> sorted = entries;
  std::sort(sorted.begin(), sorted.end());
  if (std::find(sorted.begin(), sorted.end(), wanted) != sorted.end() &&
      IsFolder(e, env::JoinPath(D, wanted))) {
    return wanted;
  }
  for (const std::string& entry : sorted) {
    if (EqualsIgnoreCase(entry, wanted) && IsFolder(e, env::JoinPath(D, entry))) return entry;
  }
  return std::nullopt;
}

// The new .tid becomes the earlier one with the two keys the export sets.
void CarryTidKeys(env::Env& e, const std::string& earlier, const std::string& staged) {
  const platform::ini::IniFile written(staged);
  const int32_t tid = written.ReadInteger(Package::kTidSection, "Transaktion", -1);
  const int32_t strip = written.ReadInteger(Package::kTidSection, "GK-Streifen", 0);
  env::ReplaceFile(e, staged, env::ReadFile(e, earlier));
  Package::WriteTidFile(staged, tid, strip);
}

}  // namespace

void RemoveLeftovers(const Package::Names& target) {
  env::Env& e = env::Env::Current();
  const std::string D = env::WithoutTrailingSeparator(target.D);
  std::vector<std::string> entries;
  try {
    entries = e.ListFolder(D);
  } catch (const env::EnvError& error) {
    if (error.Code() == ENOENT) return;
    throw;
  }
  const std::string staging = target.P + std::string(Package::kStagingSuffix);
  bool removed = false;
  for (const std::string& entry : entries) {
    const std::string path = env::JoinPath(D, entry);
    const std::string file = TemporaryFor(entry);
    if (EqualsIgnoreCase(entry, staging) ||
        (Package::IsTemporaryOf(entry, file) && Package::IsPackageFile(target, file))) {
      RemoveTree(e, path);
      removed = true;
    }
  }
  if (const auto photos = ExistingPhotoFolder(e, D, entries, PhotoFolderName(target))) {
    const std::string folder = env::JoinPath(D, *photos);
    bool removed_photo = false;
    for (const std::string& entry : e.ListFolder(folder)) {
      // A picture's temporary copy: its name, which has an extension, and
      // the random tail.
      const std::string file = TemporaryFor(entry);
      if (file.find('.') != std::string::npos && Package::IsTemporaryOf(entry, file) &&
          !IsFolder(e, env::JoinPath(folder, entry))) {
        e.Remove(env::JoinPath(folder, entry));
        removed_photo = true;
      }
    }
    if (removed_photo) e.SyncFolder(folder);
  }
  if (removed) e.SyncFolder(D);
}

Staging::Staging(Package::Names target) : target_(std::move(target)), staged_(target_.Staged()) {
  RemoveLeftovers(target_);
  env::Env::Current().CreateFolder(target_.StagingFolder());
}

Staging::~Staging() {
  if (committing_) return;
  try {
    RemoveTree(env::Env::Current(), target_.StagingFolder());
  } catch (const env::EnvError&) {
    // Left for the next export of the prefix, which removes it.
  }
}

void Staging::Commit() {
  env::Env& e = env::Env::Current();
  const std::string D = env::WithoutTrailingSeparator(target_.D);
  const std::string staging = target_.StagingFolder();
  const std::string tid_name = target_.P + ".tid";
  const std::string photo_name = PhotoFolderName(target_);
  const std::vector<std::string> entries = e.ListFolder(D);
  std::vector<std::string> staged_names = e.ListFolder(staging);
  std::sort(staged_names.begin(), staged_names.end());

  // The earlier .tid's other keys, then everything staged, reach the disk
  // before anything of the folder changes.
  std::vector<std::string> earlier_tids;
  for (const std::string& entry : entries) {
    if (EqualsIgnoreCase(entry, tid_name) && !IsFolder(e, env::JoinPath(D, entry))) {
      earlier_tids.push_back(entry);
    }
  }
  if (!earlier_tids.empty()) {
    const auto exact = std::find(earlier_tids.begin(), earlier_tids.end(), tid_name);
    CarryTidKeys(e, env::JoinPath(D, exact != earlier_tids.end() ? *exact : earlier_tids.front()),
                 staged_.TidFile());
  }
  // A move that cannot succeed (a folder where a file goes, or the other
  // way round) is found while the folder is still as it was.
  for (const std::string& name : staged_names) {
    const std::optional<env::FileStatus> there = e.LinkStatus(env::JoinPath(D, name));
    if (there && there->IsFolder() != IsFolder(e, env::JoinPath(staging, name))) {
      throw env::EnvError(there->IsFolder() ? EISDIR : ENOTDIR, "move into",
                          env::JoinPath(D, name));
    }
  }
  e.SyncFileSystem(staging);
  if (IsFolder(e, env::JoinPath(staging, photo_name))) {
    e.SyncFolder(env::JoinPath(staging, photo_name));
  }
  e.SyncFolder(staging);

  // From here the folder holds no whole package until the new .tid is in.
  committing_ = true;
  for (const std::string& tid : earlier_tids) e.Remove(env::JoinPath(D, tid));
  if (!earlier_tids.empty()) e.SyncFolder(D);

  // Files of the earlier package that the new one does not have, or has
  // under another spelling.
  const std::set<std::string> staged_set(staged_names.begin(), staged_names.end());
  for (const std::string& entry : entries) {
    if (staged_set.count(entry) != 0 || IsFolder(e, env::JoinPath(D, entry))) continue;
    const bool spelt_otherwise =
        std::any_of(staged_names.begin(), staged_names.end(),
                    [&](const std::string& name) { return EqualsIgnoreCase(name, entry); });
    if (spelt_otherwise || Package::IsPackageFile(target_, entry)) {
      e.Remove(env::JoinPath(D, entry));
    }
  }

  const std::optional<std::string> photos = ExistingPhotoFolder(e, D, entries, photo_name);
  for (const std::string& name : staged_names) {
    if (name == tid_name) continue;
    const std::string from = env::JoinPath(staging, name);
    if (name == photo_name && photos && IsFolder(e, from)) {
      // Pictures already there stay; one of the same name is replaced.
      const std::string into = env::JoinPath(D, *photos);
      for (const std::string& picture : e.ListFolder(from)) {
        e.Rename(env::JoinPath(from, picture), env::JoinPath(into, picture));
      }
      e.SyncFolder(into);
      e.RemoveFolder(from);
      continue;
    }
    e.Rename(from, env::JoinPath(D, name));
  }
  e.SyncFolder(D);

  // The .tid last: with it the package is whole.
  e.Rename(staged_.TidFile(), env::JoinPath(D, tid_name));
  e.SyncFolder(D);
  RemoveTree(e, staging);
  try {
    e.SyncFolder(D);
  } catch (const env::EnvError&) {
    // The package is whole. A staging folder that a crash brings back
    // makes it look incomplete until the next export removes it.
  }
}

}  // namespace StagedPackage
