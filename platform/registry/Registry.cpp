// RegIniFile over the registry file: every call loads the file, every write
// goes through the locked atomic replacement with mode 0600.
#include "platform/registry/Registry.h"

#include <cerrno>
#include <cstdlib>

#include "platform/env/Env.h"
#include "platform/ini/FileUpdate.h"
#include "platform/process/Process.h"
#include "platform/registry/RegistryFile.h"
#include "platform/text/Strings.h"

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
    throw RegistryError("cannot create the registry folder \"" + dir + "\": " + e.Reason());
  }
}

// Loads the file; throws RegistryError when it is damaged or unreadable.
RegistryData LoadOrThrow(const std::string& file) {
  std::optional<std::string> content;
  try {
    content = files::ReadWholeFile(file);
  } catch (const files::FileError& e) {
    throw RegistryError(std::string("The registry file cannot be read: ") + e.what());
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
    throw RegistryError(std::string("The registry file cannot be written: ") + e.what());
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

RegIniFile::RegIniFile(std::string key, Access access, std::string file)
    : key_(detail::NormalizeKeyPath(key)), access_(access), file_(std::move(file)) {
  if (access_ == Access::kReadWrite) {
    Change(file_, [&](RegistryData& data) {
      if (data.FindKey(key_) != nullptr) return false;
      data.CreateKey(key_);
      return true;
    });
  }
}

std::string RegIniFile::SectionPath(std::string_view section) const {
  std::string sub = detail::NormalizeKeyPath(section);
  if (sub.empty()) return key_;
  return key_.empty() ? sub : key_ + "\\" + sub;
}

void RegIniFile::CheckWritable() const {
  if (access_ != Access::kReadWrite) {
    throw RegistryError("The registry key \"" + key_ + "\" is open for reading only");
  }
}

bool RegIniFile::KeyExists() const {
  last_error_.clear();
  try {
    return LoadOrThrow(file_).KeyExists(key_);
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return false;
  }
}

bool RegIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  last_error_.clear();
  try {
    RegistryData data = LoadOrThrow(file_);
    const detail::KeyEntry* key = data.FindKey(SectionPath(section));
    return key != nullptr && detail::FindValue(*key, ident) != nullptr;
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return false;
  }
}

std::string RegIniFile::ReadString(std::string_view section, std::string_view ident,
                                   std::string_view default_value) const {
  last_error_.clear();
  try {
    RegistryData data = LoadOrThrow(file_);
    if (const detail::KeyEntry* key = data.FindKey(SectionPath(section))) {
      if (const detail::Value* value = detail::FindValue(*key, ident)) return value->data;
    }
  } catch (const RegistryError& e) {
    last_error_ = e.what();
  }
  return std::string(default_value);
}

int32_t RegIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                int32_t default_value) const {
  return text::StrToIntDef(ReadString(section, ident, ""), default_value);
}

bool RegIniFile::ReadBool(std::string_view section, std::string_view ident,
                          bool default_value) const {
  return ReadInteger(section, ident, default_value ? 1 : 0) != 0;
}

std::vector<std::string> RegIniFile::ReadSections() const {
  last_error_.clear();
  try {
    return LoadOrThrow(file_).SubkeyNames(key_);
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return {};
  }
}

std::vector<std::string> RegIniFile::ReadSection(std::string_view section) const {
  last_error_.clear();
  std::vector<std::string> names;
  try {
    RegistryData data = LoadOrThrow(file_);
    if (const detail::KeyEntry* key = data.FindKey(SectionPath(section))) {
      for (const auto& value : key->values) names.push_back(value.name);
    }
  } catch (const RegistryError& e) {
    last_error_ = e.what();
  }
  return names;
}

void RegIniFile::WriteString(std::string_view section, std::string_view ident,
                             std::string_view value) {
  CheckWritable();
  std::string path = SectionPath(section);
  Change(file_, [&](RegistryData& data) {
    detail::SetValue(data.CreateKey(path), ident, value);
    return true;
  });
}

void RegIniFile::WriteInteger(std::string_view section, std::string_view ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

void RegIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void RegIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  CheckWritable();
  std::string path = SectionPath(section);
  Change(file_, [&](RegistryData& data) {
    detail::KeyEntry* key = data.FindKey(path);
    return key != nullptr && detail::RemoveValue(*key, ident);
  });
}

void RegIniFile::EraseSection(std::string_view section) {
  CheckWritable();
  std::string path = SectionPath(section);
  if (path == key_) return;  // a key does not erase itself through a section
  Change(file_, [&](RegistryData& data) { return data.EraseKey(path); });
}

}  // namespace platform::registry
