// The current user's registry as one text file, for the settings the system
// keeps under "Software\Bremak\kartul\5.1\VANDRA" (or "...\3.2\VANDRA2") and
// "Vandra". RegIniFile offers what the system uses of the platform's
// registry-as-ini class: a key opened read-only or created, its subkeys as
// sections, every value stored as text exactly as written (integers as
// decimal text, booleans "0"/"1").
//
// The file lies at $KARTUL_REGISTRY when that is set, else at
// $XDG_CONFIG_HOME/kartul/registry.reg (XDG_CONFIG_HOME defaulting to
// ~/.config). It is a .reg-style text file in UTF-8:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Vandra\AutoCheckIn]
//   "UserName"="mapper"
//
// with \\, \", \r, \n, \t and \xHH escapes inside the quotes. Key and value
// names are found without regard to case and keep the spelling they were
// created with. Every operation reads the file afresh (another process may
// have changed it); every write locks the folder, re-reads, changes one value
// and replaces the file atomically with mode 0600, because it may hold a
// stored password.
//
// A damaged file is never overwritten: read-only access gives the defaults
// and LastError() names the file and the line; opening for writing or writing
// throws RegistryError with that text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the current user's registry file lies (see above).
std::string RegistryFilePath();

class RegIniFile {
 public:
  enum class Access {
    kReadOnly,   // never writes; a missing key reads as defaults
    kReadWrite,  // creates the key at once when it is missing
  };

  // `key` is a path below the current user's hive ("Software\Bremak\kartul\5.1\VANDRA");
  // leading and trailing backslashes are ignored. Throws std::invalid_argument
  // for a key with an empty part or a control character, and RegistryError
  // when a read-write key cannot be created (damaged or unwritable file).
  explicit RegIniFile(std::string key, Access access = Access::kReadWrite,
                      std::string file = RegistryFilePath());

  const std::string& Key() const { return key_; }
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

  // Why the last read found no usable registry file; empty when it was fine
  // or simply missing.
  const std::string& LastError() const { return last_error_; }

 private:
  std::string SectionPath(std::string_view section) const;
  void CheckWritable() const;

  std::string key_;
  Access access_;
  std::string file_;
  mutable std::string last_error_;
};

}  // namespace platform::registry
