#include "platform/env/Path.h"

namespace platform::env {

bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (c == '\0' || IsPathSeparator(c)) return false;
  }
  return true;
}

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path.front())) return true;
#ifdef _WIN32
  const bool drive = path.size() >= 3 &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return drive && path[1] == ':' && IsPathSeparator(path[2]);
#else
  return false;
#endif
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
  return folder;
}

std::string WithoutExtension(const std::string& path) {
  size_t name_start = 0;
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) {
      name_start = i;
      break;
    }
  }
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < name_start) return path;
  return path.substr(0, dot);
}

}  // namespace platform::env
