#include "platform/env/Path.h"

#include <cstdint>
#include <vector>

#include "platform/text/Encoding.h"

namespace platform::env {

namespace {

size_t LastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
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

bool HoldsAnySeparator(std::string_view name) {
  return name.find_first_of("/\\") != std::string_view::npos;
}

std::string PortablePath(const std::vector<std::string>& parts) {
  std::string path;
  for (const std::string& part : parts) {
    if (!path.empty()) path += '/';
    path += part;
  }
  return path;
}

std::optional<std::vector<std::string>> PortableParts(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string_view part =
        path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (!IsPlainName(part) || HoldsAnySeparator(part)) return std::nullopt;
    parts.emplace_back(part);
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

std::optional<std::string> PortableBelow(const std::string& folder, const std::string& path) {
  const std::string base = WithTrailingSeparator(folder);
  if (base.empty() || path.size() <= base.size() || path.compare(0, base.size(), base) != 0) {
    return std::nullopt;
  }
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path.substr(base.size())) {
    if (IsPathSeparator(c)) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  std::string portable = PortablePath(parts);
  if (!PortableParts(portable)) return std::nullopt;
  return portable;
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

namespace {

// The separator a folder path already uses, so that a path keeps one kind
// throughout ("C:\Projekt" grows with a backslash, "/tmp/p" with a slash, on
// either platform); the platform's own for a path with none.
char SeparatorOf(std::string_view folder) {
  for (size_t i = folder.size(); i > 0; --i) {
    if (IsPathSeparator(folder[i - 1])) return folder[i - 1];
  }
  return kPathSeparator;
}

}  // namespace

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && !IsPathSeparator(folder.back())) folder += SeparatorOf(folder);
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

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsPathSeparator(folder.back()) ? folder + name : folder + SeparatorOf(folder) + name;
}

namespace {

// The next character of a UTF-8 text as a code point; a byte that starts no
// valid character stands for itself.
uint32_t NextChar(std::string_view text, size_t& pos) {
  uint32_t code = 0;
  size_t length = 1;
  if (!platform::text::DecodeUtf8(text, pos, code, length))
    code = static_cast<unsigned char>(text[pos]);
  pos += length;
  return code;
}

uint32_t FoldCase(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
  // Latin-1 capitals À..Þ but the multiplication sign.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  return c;
}

std::vector<uint32_t> FoldedChars(std::string_view text) {
  std::vector<uint32_t> chars;
  for (size_t pos = 0; pos < text.size();) chars.push_back(FoldCase(NextChar(text, pos)));
  return chars;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  const std::vector<uint32_t> n = FoldedChars(name);
  const std::vector<uint32_t> m = FoldedChars(mask);
  // Greedy with one point to go back to: the last '*' and where its run ended.
  size_t i = 0, j = 0, star = std::string_view::npos, resume = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == '?' || m[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < m.size() && m[j] == '*') {
      star = j++;
      resume = i;
    } else if (star != std::string_view::npos) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < m.size() && m[j] == '*') ++j;
  return j == m.size();
}

}  // namespace platform::env
