// For tests: finds English in a text meant for the mapper. The platform's
// error texts stand inside the plug-in's German messages, so an English
// sentence there (a system's own words, a text nobody translated) shows as
// English words in an otherwise German message.
//
// What a text names stays as it is: its quoted parts ("...", '...') and
// anything that looks like a path or a file name (a '/' or '\' in it, a
// dot between letters) are left out before the words are looked at, so a
// file called "The file is not found.txt" passes. The list holds common
// English words that are no German words, compared as whole words without
// regard to case; "die", "in", "an", "was", "will", "also" and the like are
// German too and left out, and so are the names of products ("Access").
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace platform::env::testing {

inline constexpr std::string_view kEnglishWords[] = {
    "the",     "is",      "are",      "were",        "not",         "no",        "cannot",
    "can",     "could",   "would",    "should",      "must",        "failed",    "fail",
    "failure", "denied",  "found",    "error",       "errors",      "such",      "permission",
    "file",    "files",   "folder",   "directory",   "registry",    "key",       "value",
    "line",    "damaged", "read",     "write",       "written",     "open",      "opened",
    "only",    "missing", "expected", "unknown",     "invalid",     "allowed",   "with",
    "of",      "to",      "from",     "for",         "and",         "or",        "at",
    "by",      "be",      "been",     "has",         "have",        "does",      "this",
    "that",    "it",      "its",      "there",       "out",         "memory",    "disk",
    "space",   "device",  "resource", "temporarily", "unavailable", "busy",      "exists",
    "already", "empty",   "too",      "many",        "operation",   "permitted", "broken",
    "pipe",    "timed",   "refused",  "quote",       "escape",      "header",    "character",
    "before",  "after",   "outside",  "locked",      "create",      "replace",   "unable",
    "because", "which",   "into",     "while",       "hold",        "holds",     "hive",
};

// The English words of `text`, in order; empty when it reads as German.
inline std::vector<std::string> EnglishWords(std::string_view text) {
  auto letter = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;  // UTF-8: umlauts belong to the word
  };
  // The quoted parts out, where a closing quote follows. An apostrophe
  // inside a word ("doesn't") opens nothing.
  std::string unquoted;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || (c == '\'' && (i == 0 || !letter(text[i - 1])))) {
      const size_t close = text.find(c, i + 1);
      if (close != std::string_view::npos) {
        unquoted += ' ';
        i = close;
        continue;
      }
    }
    unquoted += c;
  }
  std::vector<std::string> found;
  size_t pos = 0;
  while (pos < unquoted.size()) {
    // A token runs to the next blank.
    const size_t end = std::min(unquoted.find_first_of(" \t\r\n", pos), unquoted.size());
    const std::string_view token = std::string_view(unquoted).substr(pos, end - pos);
    pos = end + 1;
    bool path = token.find_first_of("/\\") != std::string_view::npos;
    for (size_t dot = token.find('.'); !path && dot != std::string_view::npos;
         dot = token.find('.', dot + 1)) {
      path = dot > 0 && dot + 1 < token.size() && letter(token[dot - 1]) && letter(token[dot + 1]);
    }
    if (path) continue;
    std::string word;
    for (size_t i = 0; i <= token.size(); ++i) {
      if (i < token.size() && letter(token[i])) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(token[i])));
        continue;
      }
      if (std::find(std::begin(kEnglishWords), std::end(kEnglishWords), word) !=
          std::end(kEnglishWords)) {
        found.push_back(word);
      }
      word.clear();
    }
  }
  return found;
}

}  // namespace platform::env::testing
