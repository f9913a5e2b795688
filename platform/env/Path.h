// Paths as the platform writes them. Everything above the platform seam
// joins, splits and compares paths through these (and FolderOf, NameOf and
// JoinPath in Env.h) rather than with a separator of its own, so that a
// build for a platform whose paths take another separator changes only here.
#pragma once

#include <string>
#include <string_view>

namespace platform::env {

// The separator the platform writes; Windows reads "/" as well as "\".
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

bool IsPathSeparator(char c);

// A name for an entry of a folder: not empty, no separator, no NUL, and
// neither "." nor "..", so that it cannot reach outside the folder.
bool IsPlainName(std::string_view name);

// Whether the path starts at the root of the file system (or, on Windows,
// of a drive), rather than at the current folder.
bool IsAbsolutePath(std::string_view path);

// The folder path without separators at its end; the root stays the root.
std::string WithoutTrailingSeparator(std::string folder);
// The folder path ending in one separator, as the host hands its folders;
// an empty path stays empty.
std::string WithTrailingSeparator(std::string folder);

// The path without the extension of its last part ("a/b.dbf" -> "a/b");
// a dot of a folder name is no extension.
std::string WithoutExtension(const std::string& path);

// Whether a file name matches a mask of the host's file dialogs and folder
// listings: "*" any run of characters, "?" one character, letters without
// regard to ASCII case.
bool MatchesFileMask(std::string_view name, std::string_view mask);

}  // namespace platform::env
