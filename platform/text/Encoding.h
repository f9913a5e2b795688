// Code page conversions between the plug-in's UTF-8 texts and what the host,
// dBase tables, ini files and text files hold: Windows-1252 ("ANSI"), UTF-16
// (the full build's hook texts) and DOS code page 850.
//
// The conversions are total: input that cannot be represented is replaced
// visibly ('?' in Windows-1252 and code page 850, U+FFFD in UTF-8 and UTF-16),
// one replacement per character, so a text never silently becomes shorter.
// Where a replaced character would be data lost for good (a value stored in a
// table), the refusing form Utf8ToAnsiStrict says why instead.
// Windows-1252 round-trips all 256 byte values: the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081, U+008D,
// U+008F, U+0090 and U+009D and back, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

inline constexpr char kAnsiReplacement = '?';

// UTF-8 to Windows-1252. Characters the code page cannot hold, and bytes that
// are no valid UTF-8, become '?'. When `replaced` is given it receives the
// number of replacements made.
std::string Utf8ToAnsi(std::string_view utf8, size_t* replaced = nullptr);
// UTF-8 to Windows-1252, refusing: nothing when the text is no valid UTF-8
// or holds a character the code page lacks; `bad` (may be null) then
// receives a short description of the first offending character.
std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8, std::string* bad = nullptr);
// The same, telling where it refused: the byte the offending character
// starts at in the UTF-8 text, and the character (nothing when the bytes
// there are no valid UTF-8). Callers word the refusal in their own voice.
struct AnsiRefusal {
  size_t byte = 0;
  std::optional<uint32_t> character;
};
std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8, AnsiRefusal* refusal);
// Windows-1252 to UTF-8; every byte has a character.
std::string AnsiToUtf8(std::string_view ansi);
// True when every character of the UTF-8 text has a Windows-1252 byte.
bool FitsAnsi(std::string_view utf8);

// UTF-8 to DOS code page 850 and back (every byte has a character).
std::string Utf8ToOem850(std::string_view utf8, size_t* replaced = nullptr);
std::string Oem850ToUtf8(std::string_view oem);

// UTF-8 to UTF-16 in the machine's byte order and back. Invalid UTF-8 and
// lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// UTF-8 to UTF-16, refusing: nothing when the text is no valid UTF-8 (a
// file's path, a registry name, a program's argument must arrive as written).
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8);

// The one UTF-8 decoder: the character that starts at byte `pos` and, in
// `length`, its byte count. False, with `length` 1, for a byte that starts
// no valid character: cut short, overlong, a surrogate or beyond U+10FFFF.
bool DecodeUtf8(std::string_view text, size_t pos, uint32_t& code, size_t& length);
bool IsValidUtf8(std::string_view text);
// Appends the UTF-8 form of a character; one beyond U+10FFFF or a
// surrogate, which UTF-8 cannot hold, becomes U+FFFD.
void AppendUtf8(std::string& out, uint32_t code);
// Number of characters (code points) of a UTF-8 text; an invalid byte counts as one.
size_t Utf8Length(std::string_view utf8);
// The first `count` characters of a UTF-8 text, never cutting a character.
std::string_view Utf8Prefix(std::string_view utf8, size_t count);

}  // namespace platform::text
