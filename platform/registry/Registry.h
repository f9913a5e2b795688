// The current user's registry, for the settings the system keeps under
// "Software\Bremak\kartul\5.1\VANDRA" (or "...\3.2\VANDRA2") and "Vandra".
// RegIniFile offers what the system uses of the platform's registry-as-ini
// class: a key opened read-only or created, its subkeys as sections, every
// value stored as text exactly as written (integers as decimal text,
// booleans "0"/"1").
//
// The keys live in a RegistryStore: the platform's own for the current user
// (RegistryStore::Default(), chosen by the build: on Linux a FileRegistry,
// FileRegistry.h, at RegistryFilePath(); on Windows the registry itself,
// WinRegistry.h), or one a test installs with
// ScopedRegistry. Key and value names are found without regard to case and
// keep the spelling they were created with. Every operation reads the store
// afresh (another process may have changed it).
//
// A damaged store is never overwritten: read-only access gives the defaults
// and LastError() names the store and what is wrong with it; opening for
// writing or writing throws RegistryError with that text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where keys and values are kept. Key paths are below the current user's
// hive, normalised (no leading or trailing backslash, no empty part); ""
// is the hive itself. Reads throw RegistryError when the store is damaged
// or cannot be read (a store that does not exist yet reads as empty);
// writes throw RegistryError when it cannot be changed, leaving it as it was.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // The current user's registry as the platform keeps it, looked up now:
  // the only one the product uses.
  static std::shared_ptr<RegistryStore> Default();
  // The registry of code that is not handed one: Default() unless a
  // ScopedRegistry installed another.
  static std::shared_ptr<RegistryStore> Current();

  // Names the store in messages (the file's path).
  virtual std::string Name() const = 0;

  // Whether the key, or any key below it, is stored.
  virtual bool KeyExists(const std::string& key) = 0;
  // The value's data; nothing when the key or the value is missing.
  virtual std::optional<std::string> ReadValue(const std::string& key, std::string_view name) = 0;
  // The names of the key's direct subkeys, in the order they were created
  // (the Windows registry: in its own order).
  virtual std::vector<std::string> SubkeyNames(const std::string& key) = 0;
  // The names of the key's values, in the order they were created (the
  // Windows registry: in its own order).
  virtual std::vector<std::string> ValueNames(const std::string& key) = 0;

  // Creates the key (with its missing parents) when it is missing.
  virtual void CreateKey(const std::string& key) = 0;
  // Sets the value, creating the key when it is missing.
  virtual void WriteValue(const std::string& key, std::string_view name, std::string_view data) = 0;
  // Removes the value; nothing happens when it is missing.
  virtual void DeleteValue(const std::string& key, std::string_view name) = 0;
  // Removes the key with its values and everything below it.
  virtual void EraseKey(const std::string& key) = 0;
};

// Installs a store as RegistryStore::Current() for the life of the object
// and puts the one before back; the store must outlive the RegIniFiles
// opened meanwhile. For tests; not for use while other threads reach
// Current().
class ScopedRegistry {
 public:
  explicit ScopedRegistry(RegistryStore& store);
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

 private:
  RegistryStore* previous_;
};

class RegIniFile {
 public:
  enum class Access {
    kReadOnly,   // never writes; a missing key reads as defaults
    kReadWrite,  // creates the key at once when it is missing
  };

  // `key` is a path below the current user's hive ("Software\Bremak\kartul\5.1\VANDRA");
  // leading and trailing backslashes are ignored. Throws std::invalid_argument
  // for a key with an empty part or a control character, and RegistryError
  // when a read-write key cannot be created (damaged or unwritable store).
  // The key is in RegistryStore::Current() as it is at construction...
  explicit RegIniFile(std::string key, Access access = Access::kReadWrite);
  // ... or in the registry file `file` (a FileRegistry of its own) ...
  RegIniFile(std::string key, Access access, std::string file);
  // ... or in the store given.
  RegIniFile(std::string key, Access access, std::shared_ptr<RegistryStore> store);

  const std::string& Key() const { return key_; }
  // The store's name: the registry file's path.
  const std::string& FileName() const { return file_; }

  // Whether the key is in the registry now (read afresh).
  bool KeyExists() const;

  // `section` names a subkey of the key; empty means the key itself.
  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view default_value) const;
  // Text that is no whole number (see text::StrToInt) gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view ident,
                      int32_t default_value) const;
  // Read as an integer: anything but 0 is true.
  bool ReadBool(std::string_view section, std::string_view ident, bool default_value) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  // Names of the key's subkeys, in the order they were created.
  std::vector<std::string> ReadSections() const;
  // Names of a section's values, in the order they were created.
  std::vector<std::string> ReadSection(std::string_view section) const;

  // Writing through a read-only key throws RegistryError.
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int32_t value);
  void WriteBool(std::string_view section, std::string_view ident, bool value);
  void DeleteKey(std::string_view section, std::string_view ident);
  // Removes the subkey with its values and subkeys.
  void EraseSection(std::string_view section);

  // Why the last read found no usable registry; empty when it was fine or
  // simply missing.
  const std::string& LastError() const { return last_error_; }

 private:
  std::string SectionPath(std::string_view section) const;
  void CheckWritable() const;

  std::string key_;
  Access access_;
  std::shared_ptr<RegistryStore> store_;
  std::string file_;
  mutable std::string last_error_;
};

}  // namespace platform::registry
