// UTF-8 above the platform seam, UTF-16 in the wide-character calls of
// Windows. Invalid UTF-8 and lone surrogates become U+FFFD, as Windows' own
// conversion without MB_ERR_INVALID_CHARS makes them; a caller that must
// refuse such text (a file's path) checks it itself.
#pragma once

#ifdef _WIN32

#include <optional>
#include <string>
#include <string_view>

#include "platform/text/Encoding.h"

namespace platform::text {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");

inline std::wstring WideOf(std::string_view utf8) {
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

// The strict form, for what must arrive as written (a file's path, a
// registry name, a program's argument): nothing when the text is no valid
// UTF-8, and each caller refuses in its own words.
inline std::optional<std::wstring> StrictWideOf(std::string_view utf8) {
  const std::optional<std::u16string> utf16 = Utf8ToUtf16Strict(utf8);
  if (!utf16) return std::nullopt;
  return std::wstring(utf16->begin(), utf16->end());
}

inline std::string Utf8OfWide(std::wstring_view wide) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace platform::text

#endif
