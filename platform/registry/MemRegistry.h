// The registry in memory, for tests: a store that starts empty, that no
// other process sees, and that keeps keys and values as the registry file
// does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFile.h"

namespace platform::registry {

class MemRegistry : public RegistryStore {
 public:
  std::string Name() const override { return "(memory)"; }
  bool KeyExists(const std::string& key) override;
  std::optional<std::string> ReadValue(const std::string& key, std::string_view name) override;
  std::vector<std::string> SubkeyNames(const std::string& key) override;
  std::vector<std::string> ValueNames(const std::string& key) override;
  void CreateKey(const std::string& key) override;
  void WriteValue(const std::string& key, std::string_view name, std::string_view data) override;
  void DeleteValue(const std::string& key, std::string_view name) override;
  void EraseKey(const std::string& key) override;

 private:
  detail::RegistryData data_;
};

}  // namespace platform::registry
