#include "platform/registry/MemRegistry.h"

namespace platform::registry {

bool MemRegistry::KeyExists(const std::string& key) {
  return data_.KeyExists(key);
}

std::optional<std::string> MemRegistry::ReadValue(const std::string& key, std::string_view name) {
  if (const detail::KeyEntry* entry = data_.FindKey(key)) {
    if (const detail::Value* value = detail::FindValue(*entry, name)) return value->data;
  }
  return std::nullopt;
}

std::vector<std::string> MemRegistry::SubkeyNames(const std::string& key) {
  return data_.SubkeyNames(key);
}

std::vector<std::string> MemRegistry::ValueNames(const std::string& key) {
  std::vector<std::string> names;
  if (const detail::KeyEntry* entry = data_.FindKey(key)) {
    for (const detail::Value& value : entry->values) names.push_back(value.name);
  }
  return names;
}

void MemRegistry::CreateKey(const std::string& key) {
  data_.CreateKey(key);
}

void MemRegistry::WriteValue(const std::string& key, std::string_view name, std::string_view data) {
  detail::SetValue(data_.CreateKey(key), name, data);
}

void MemRegistry::DeleteValue(const std::string& key, std::string_view name) {
  if (detail::KeyEntry* entry = data_.FindKey(key)) detail::RemoveValue(*entry, name);
}

void MemRegistry::EraseKey(const std::string& key) {
  data_.EraseKey(key);
}

}  // namespace platform::registry
