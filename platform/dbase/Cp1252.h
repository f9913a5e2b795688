// Windows-1252 text as dBase files hold it, converted to and from the UTF-8
// the rest of the program speaks. Private to the dBase codec and the driver
// stand-in; the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to U+0081, U+008D, U+008F, U+0090, U+009D and back, as on
// Windows, so every byte string has a text and comes back unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::dbase {

// Every byte sequence decodes; the result is valid UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);

// Empty result when the text is no valid UTF-8 or holds a character that
// Windows-1252 cannot store; `bad` (may be null) then receives a short
// description of the first offending character.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::string* bad = nullptr);

}  // namespace platform::dbase
