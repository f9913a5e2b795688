// RegIniFile over a RegistryStore, and the current store.
#include "platform/registry/Registry.h"

#include <atomic>

#include "platform/registry/FileRegistry.h"
#include "platform/registry/RegistryFile.h"
#include "platform/text/Strings.h"

namespace platform::registry {
namespace {

std::atomic<RegistryStore*> g_current{nullptr};

}  // namespace

std::shared_ptr<RegistryStore> RegistryStore::Current() {
  if (RegistryStore* store = g_current.load(std::memory_order_acquire)) {
    // Not owned: the ScopedRegistry's caller keeps it alive.
    return std::shared_ptr<RegistryStore>(std::shared_ptr<RegistryStore>(), store);
  }
  return Default();
}

ScopedRegistry::ScopedRegistry(RegistryStore& store)
    : previous_(g_current.exchange(&store, std::memory_order_acq_rel)) {}

ScopedRegistry::~ScopedRegistry() {
  g_current.store(previous_, std::memory_order_release);
}

RegIniFile::RegIniFile(std::string key, Access access)
    : RegIniFile(std::move(key), access, RegistryStore::Current()) {}

RegIniFile::RegIniFile(std::string key, Access access, std::string file)
    : RegIniFile(std::move(key), access, std::make_shared<FileRegistry>(std::move(file))) {}

RegIniFile::RegIniFile(std::string key, Access access, std::shared_ptr<RegistryStore> store)
    : key_(detail::NormalizeKeyPath(key)),
      access_(access),
      store_(std::move(store)),
      file_(store_->Name()) {
  if (access_ == Access::kReadWrite) store_->CreateKey(key_);
}

std::string RegIniFile::SectionPath(std::string_view section) const {
  std::string sub = detail::NormalizeKeyPath(section);
  if (sub.empty()) return key_;
  return key_.empty() ? sub : key_ + "\\" + sub;
}

void RegIniFile::CheckWritable() const {
  if (access_ != Access::kReadWrite) {
    throw RegistryError("Der Registrierungsschlüssel \"" + key_ +
                        "\" ist nur zum Lesen geöffnet und kann nicht geändert werden.");
  }
}

bool RegIniFile::KeyExists() const {
  last_error_.clear();
  try {
    return store_->KeyExists(key_);
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return false;
  }
}

bool RegIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  last_error_.clear();
  try {
    return store_->ReadValue(SectionPath(section), ident).has_value();
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return false;
  }
}

std::string RegIniFile::ReadString(std::string_view section, std::string_view ident,
                                   std::string_view default_value) const {
  last_error_.clear();
  try {
    if (std::optional<std::string> value = store_->ReadValue(SectionPath(section), ident)) {
      return *value;
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
    return store_->SubkeyNames(key_);
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return {};
  }
}

std::vector<std::string> RegIniFile::ReadSection(std::string_view section) const {
  last_error_.clear();
  try {
    return store_->ValueNames(SectionPath(section));
  } catch (const RegistryError& e) {
    last_error_ = e.what();
    return {};
  }
}

void RegIniFile::WriteString(std::string_view section, std::string_view ident,
                             std::string_view value) {
  CheckWritable();
  store_->WriteValue(SectionPath(section), ident, value);
}

void RegIniFile::WriteInteger(std::string_view section, std::string_view ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

void RegIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void RegIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  CheckWritable();
  store_->DeleteValue(SectionPath(section), ident);
}

void RegIniFile::EraseSection(std::string_view section) {
  CheckWritable();
  std::string path = SectionPath(section);
  if (path == key_) return;  // a key does not erase itself through a section
  store_->EraseKey(path);
}

}  // namespace platform::registry
