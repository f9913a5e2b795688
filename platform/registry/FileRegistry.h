// The registry as one text file, as the current user's registry is kept
// where the platform has none of its own.
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
// with \\, \", \r, \n, \t and \xHH escapes inside the quotes. Every read
// loads the file afresh; every write locks the folder, re-reads, changes one
// value and replaces the file atomically with mode 0600, because it may hold
// a stored password. A damaged file is never overwritten: its errors name
// the file and the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace platform::registry {

// Where the current user's registry file lies (see above).
std::string RegistryFilePath();

class FileRegistry : public RegistryStore {
 public:
  explicit FileRegistry(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  std::string Name() const override { return path_; }
  bool KeyExists(const std::string& key) override;
  std::optional<std::string> ReadValue(const std::string& key, std::string_view name) override;
  std::vector<std::string> SubkeyNames(const std::string& key) override;
  std::vector<std::string> ValueNames(const std::string& key) override;
  void CreateKey(const std::string& key) override;
  void WriteValue(const std::string& key, std::string_view name, std::string_view data) override;
  void DeleteValue(const std::string& key, std::string_view name) override;
  void EraseKey(const std::string& key) override;

 private:
  std::string path_;
};

}  // namespace platform::registry
