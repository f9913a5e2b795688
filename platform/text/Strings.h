// Small text helpers with the semantics of the host platform's run-time
// library: trimming of blanks and control characters, case-insensitive
// comparison of ASCII names (keys, sections, control names), and the
// conversion of texts to whole numbers as the platform's StrToInt does.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

// Removes leading and trailing characters at or below the blank (as Trim).
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Removes leading and trailing bytes that occur in `chars`.
std::string_view TrimChars(std::string_view text, std::string_view chars);
std::string_view TrimRightChars(std::string_view text, std::string_view chars);
// The padding of dBase fields: blanks and NUL bytes.
inline constexpr std::string_view kBlankAndNul{" \0", 2};
// TrimChars and TrimRightChars with kBlankAndNul, inline: every field read
// from a table goes through them. Trailing blanks are passed eight at a
// time, as a text usually fills a small part of its field.
inline std::string_view TrimBlanksAndNul(std::string_view text);
inline std::string_view TrimRightBlanksAndNul(std::string_view text);
// Blanks and tabs, the white space of connection strings and number texts.
inline constexpr std::string_view kBlankAndTab{" \t", 2};

// Compares without regard to ASCII case; other bytes compare exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, ASCII letters folded to lower case.
int CompareIgnoreCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
// Whether `text` ends with `suffix`, without regard to ASCII case.
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);

// A whole 32-bit number: leading blanks allowed, optional sign, decimal
// digits or hexadecimal after "$" or "0x"; nothing may follow. Nothing when
// the text is no such number or out of range.
std::optional<int32_t> StrToInt(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t default_value);

inline std::string_view TrimRightBlanksAndNul(std::string_view text) {
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  size_t n = text.size();
  while (n >= 8) {
    uint64_t word = 0;
    std::memcpy(&word, text.data() + n - 8, 8);
    if (word != kBlanks) break;
    n -= 8;
  }
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  return text.substr(0, n);
}

inline std::string_view TrimBlanksAndNul(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\0')) ++start;
  return TrimRightBlanksAndNul(text.substr(start));
}

}  // namespace platform::text
