// Paths as the platform writes them. Everything above the platform seam
// joins, splits and compares paths through these rather than with a
// separator of its own, so that a
// build for a platform whose paths take another separator changes only here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Whether the text holds a separator of either platform. A name that
// travels between platforms (a package's, a picture's) must hold none, or
// it would be a path where the other side reads it.
bool HoldsAnySeparator(std::string_view name);

// Whether the path starts at the root of the file system (or, on Windows,
// of a drive), rather than at the current folder.
bool IsAbsolutePath(std::string_view path);

// The folder path without separators at its end; the root stays the root.
std::string WithoutTrailingSeparator(std::string folder);
// The folder path ending in one separator, as the host hands its folders;
// an empty path stays empty. Here and in JoinPath the separator added is
// the one the path already uses, else the platform's.
std::string WithTrailingSeparator(std::string folder);

// The path without the extension of its last part ("a/b.dbf" -> "a/b");
// a dot of a folder name is no extension.
std::string WithoutExtension(const std::string& path);

// The folder part of a path ("." for a bare file name, the root for a file
// in it).
std::string FolderOf(const std::string& path);
// The last part of a path.
std::string NameOf(const std::string& path);
// `folder` and `name` with one separator between them, not doubled.
std::string JoinPath(const std::string& folder, const std::string& name);

// A path below a folder as a file that travels between platforms records
// it (a journal in a project folder that is copied, moved, opened on
// another machine): its parts joined by "/" whatever the platform.
std::string PortablePath(const std::vector<std::string>& parts);
// The parts of such a path; nothing when one is no plain name (IsPlainName,
// and no separator of either platform), so that it cannot reach outside
// the folder it is resolved against.
std::optional<std::vector<std::string>> PortableParts(std::string_view path);
// The portable path of `path` below `folder` (a folder path with or
// without its trailing separator); nothing when it lies elsewhere.
std::optional<std::string> PortableBelow(const std::string& folder, const std::string& path);

// Whether a file name fits a mask as the host's file system matches one: '*'
// any run of characters, '?' any one, every other character itself without
// regard to the case of ASCII and Latin-1 letters. UTF-8 throughout.
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace platform::env
