// The Windows registry of the current user (HKEY_CURRENT_USER), the store
// RegistryStore::Default() gives on Windows. Names and data are UTF-8 here
// and UTF-16 in the registry; values are written as REG_SZ.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace platform::registry {

class WinRegistry : public RegistryStore {
 public:
  // The keys below `base`, a key path of the current user's hive; "" is the
  // hive itself, as Default() has it. Tests keep their keys below a base of
  // their own.
  explicit WinRegistry(std::string base = "");

  std::string Name() const override;
  bool KeyExists(const std::string& key) override;
  std::optional<std::string> ReadValue(const std::string& key, std::string_view name) override;
  // In the registry's own order, which is not the order of creation: Windows
  // lists subkeys by name, and values as it keeps them (wine by name too).
  std::vector<std::string> SubkeyNames(const std::string& key) override;
  std::vector<std::string> ValueNames(const std::string& key) override;
  void CreateKey(const std::string& key) override;
  void WriteValue(const std::string& key, std::string_view name, std::string_view data) override;
  void DeleteValue(const std::string& key, std::string_view name) override;
  // Refuses the hive itself.
  void EraseKey(const std::string& key) override;

 private:
  std::string Path(const std::string& key) const;

  std::string base_;
};

}  // namespace platform::registry
