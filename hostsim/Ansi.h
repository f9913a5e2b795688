// Text conversion at the host's boundary. The host model keeps every text in
// UTF-8; the kt* functions and the hooks of the earlier builds speak ANSI
// (Windows-1252), the full build's hooks and ktExportDataXMLEx UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace hostsim {

// Windows-1252 to UTF-8. Every byte converts: the five bytes that code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+0081 and so on, as
// Windows maps them.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to Windows-1252. Characters the code page cannot hold, and bytes that
// are no valid UTF-8, become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Number of characters (code points) of a UTF-8 text.
size_t Utf8Length(std::string_view utf8);
// The first max_chars characters of a UTF-8 text.
std::string Utf8Prefix(std::string_view utf8, size_t max_chars);

}  // namespace hostsim
