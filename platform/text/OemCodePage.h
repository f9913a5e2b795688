// Code page 850 as the platform converts it: iconv on POSIX systems
// (PosixEncoding.cpp), the code page API of Windows (WinEncoding.cpp).
// Encoding.cpp hands them valid UTF-8 only and pieces of at most kPiece
// bytes, and replaces invalid bytes itself, so that both platforms give the
// same bytes for the same text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::text::oem {

inline constexpr size_t kPiece = size_t{1} << 16;

// Appends the code page 850 bytes of valid UTF-8; a character the code page
// lacks becomes kAnsiReplacement, exactly one per character, never a
// look-alike. Returns the number of characters replaced.
size_t AppendFromUtf8(std::string& out, std::string_view valid_utf8);
// Appends the UTF-8 text of code page 850 bytes; every byte has a
// character.
void AppendToUtf8(std::string& out, std::string_view bytes);

}  // namespace platform::text::oem
