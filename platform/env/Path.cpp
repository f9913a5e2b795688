#include "platform/env/Path.h"

namespace platform::env {

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Bytes of the UTF-8 character that starts at `at` (1 for a stray byte).
size_t CharacterLength(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
      return 1;
    }
  }
  return length;
}

}  // namespace

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

bool MatchesFileMask(std::string_view name, std::string_view mask) {
  // Greedy with one step back to the last star: each star is retried at
  // most once per character of the name, so no mask takes exponential time.
  size_t n = 0, m = 0;
  size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_n = n;
    } else if (m < mask.size() && mask[m] == '?') {
      n += CharacterLength(name, n);
      ++m;
    } else if (m < mask.size() && LowerAscii(mask[m]) == LowerAscii(name[n])) {
      ++n;
      ++m;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      star_n += CharacterLength(name, star_n);
      n = star_n;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace platform::env
