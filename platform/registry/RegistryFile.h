// The registry file's content in memory: keys in file order, each with its
// values in order. Parsing is strict, so that a damaged file is recognised
// and never overwritten with what could be read of it. Used only by the
// registry's own files and their tests.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace platform::registry::detail {

struct Value {
  std::string name;
  std::string data;
};

struct KeyEntry {
  std::string path;  // below the hive, without leading backslash; "" is the hive itself
  std::vector<Value> values;
};

class RegistryData {
 public:
  // Throws RegistryError naming `file_name` and the line for damaged text.
  static RegistryData Parse(std::string_view text, const std::string& file_name);
  std::string Serialize() const;

  const KeyEntry* FindKey(std::string_view path) const;
  KeyEntry* FindKey(std::string_view path);
  // The key, created with the spelling of existing parents when missing.
  KeyEntry& CreateKey(std::string_view path);
  // True when the key or any key below it is stored.
  bool KeyExists(std::string_view path) const;
  std::vector<std::string> SubkeyNames(std::string_view path) const;
  // Removes the key and everything below it; true when something was removed.
  bool EraseKey(std::string_view path);

  const std::vector<KeyEntry>& Keys() const { return keys_; }

 private:
  std::vector<KeyEntry> keys_;
};

const Value* FindValue(const KeyEntry& key, std::string_view name);
void SetValue(KeyEntry& key, std::string_view name, std::string_view data);
bool RemoveValue(KeyEntry& key, std::string_view name);

// Validates and normalises a key path (no leading or trailing backslash).
std::string NormalizeKeyPath(std::string_view path);

}  // namespace platform::registry::detail
