// Whole-file reads and locked, atomic replacement of small settings files
// (ini files, the registry file). A writer holds an exclusive lock on the
// file's folder while it reads the current content, computes the new one and
// renames a synced temporary file over the old, so concurrent writers of the
// same folder never lose each other's changes and a reader always sees either
// the old or the new file, never a half-written one. A write that fails
// leaves the old file as it was. All of it goes through the current Env
// (platform/env), so tests can fail any step.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform::files {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The content of a file, or nothing when it does not exist. Throws FileError
// (naming the file and the reason, in German, as all its texts) when it
// exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Receives the current content (nothing when the file does not exist) and
// returns the new content, or nothing to leave the file as it is.
using ContentUpdate = std::function<std::optional<std::string>(const std::optional<std::string>&)>;

// Replaces the file's content under the folder's lock. `mode` fixes the new
// file's permission bits; without it an existing file keeps its mode and a
// new one gets 0666 less the umask. Exceptions of `update` pass through with
// the file untouched. Throws FileError when the file cannot be written, or
// when another writer holds the folder's lock for 30 s.
void UpdateFile(const std::string& path, const ContentUpdate& update,
                std::optional<uint32_t> mode = std::nullopt);

// The folder part of a path ("." for a bare file name).
std::string DirectoryOf(const std::string& path);

}  // namespace platform::files
