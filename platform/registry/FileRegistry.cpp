// The registry file: every read loads it, every write goes through the
// locked atomic replacement with mode 0600.
#include "platform/registry/FileRegistry.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/env/Env.h"
#include "platform/ini/FileUpdate.h"
#include "platform/process/Process.h"
#include "platform/registry/RegistryFile.h"

namespace platform::registry {
namespace {

using detail::RegistryData;

// Creates the folders of the path that are missing, readable by the owner only.
void MakeFolders(const std::string& dir) {
  if (dir.empty() || dir == "/" || dir == ".") return;
  env::Env& env = env::Env::Current();
  try {
    if (env.Stat(dir)) return;
    MakeFolders(files::DirectoryOf(dir));
    env.CreateFolder(dir, 0700);
  } catch (const env::EnvError& e) {
    if (e.Code() == EEXIST) return;
    throw RegistryError("Der Ordner \"" + dir +
                        "\" für die Registrierungsdatei kann nicht angelegt werden: " + e.Reason() +
                        ".");
  }
}

// Loads the file; throws RegistryError when it is damaged or unreadable.
RegistryData LoadOrThrow(const std::string& file) {
  std::optional<std::string> content;
  try {
    content = files::ReadWholeFile(file);
  } catch (const files::FileError& e) {
    throw RegistryError(std::string("Die Registrierung kann nicht gelesen werden. ") + e.what());
  }
  return content ? RegistryData::Parse(*content, file) : RegistryData();
}

// Changes the registry under the lock; `change` returns whether it changed anything.
void Change(const std::string& file, const std::function<bool(RegistryData&)>& change) {
  MakeFolders(files::DirectoryOf(file));
  try {
    files::UpdateFile(
        file,
        [&](const std::optional<std::string>& current) -> std::optional<std::string> {
          RegistryData data = current ? RegistryData::Parse(*current, file) : RegistryData();
          if (!change(data)) return std::nullopt;
          return data.Serialize();
        },
        0600);
  } catch (const files::FileError& e) {
    throw RegistryError(std::string("Die Registrierung kann nicht geändert werden. ") + e.what());
  }
}

}  // namespace

std::string RegistryFilePath() {
  if (const char* file = std::getenv("KARTUL_REGISTRY"); file != nullptr && *file != '\0') {
    return file;
  }
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else {
    config = process::HomeFolder() + "/.config";
  }
  return config + "/kartul/registry.reg";
}

bool FileRegistry::KeyExists(const std::string& key) {
  return LoadOrThrow(path_).KeyExists(key);
}

std::optional<std::string> FileRegistry::ReadValue(const std::string& key, std::string_view name) {
  const RegistryData data = LoadOrThrow(path_);
  if (const detail::KeyEntry* entry = data.FindKey(key)) {
    if (const detail::Value* value = detail::FindValue(*entry, name)) return value->data;
  }
  return std::nullopt;
}

std::vector<std::string> FileRegistry::SubkeyNames(const std::string& key) {
  return LoadOrThrow(path_).SubkeyNames(key);
}

std::vector<std::string> FileRegistry::ValueNames(const std::string& key) {
  const RegistryData data = LoadOrThrow(path_);
  std::vector<std::string> names;
  if (const detail::KeyEntry* entry = data.FindKey(key)) {
    for (const detail::Value& value : entry->values) names.push_back(value.name);
  }
  return names;
}

void FileRegistry::CreateKey(const std::string& key) {
  Change(path_, [&](RegistryData& data) {
    if (data.FindKey(key) != nullptr) return false;
    data.CreateKey(key);
    return true;
  });
}

void FileRegistry::WriteValue(const std::string& key, std::string_view name,
                              std::string_view data) {
  Change(path_, [&](RegistryData& registry) {
    detail::SetValue(registry.CreateKey(key), name, data);
    return true;
  });
}

void FileRegistry::DeleteValue(const std::string& key, std::string_view name) {
  Change(path_, [&](RegistryData& data) {
    detail::KeyEntry* entry = data.FindKey(key);
    return entry != nullptr && detail::RemoveValue(*entry, name);
  });
}

void FileRegistry::EraseKey(const std::string& key) {
  Change(path_, [&](RegistryData& data) { return data.EraseKey(key); });
}

}  // namespace platform::registry
