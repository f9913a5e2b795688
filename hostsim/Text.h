// Small text helpers of the host stand-in: the case and blank handling of
// ini files, column, library and file names and entered field texts. Case
// works byte by byte: the names compared that way are the host's own, never
// the mapper's texts.
#pragma once

#include <string>
#include <string_view>

namespace hostsim {

inline constexpr std::string_view kBlanks = " \t\r\n";

// Each byte as the C library's tolower makes it.
std::string Lower(std::string_view text);

// The text without leading and trailing characters of blanks.
std::string Trim(std::string_view text, std::string_view blanks = kBlanks);

// True when text ends in suffix, compared as Lower does, and has something
// before it (".dll" alone is no library name).
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

}  // namespace hostsim
