// Which project a file in a project folder belongs to. Project folders
// travel (a backup, a USB stick, a second copy to try something out), and a
// file the plug-in keeps there to act on later, the import's journal above
// all, must not be acted on in another project. The plug-in keeps an
// identity file of its own in the folder, "TA_PROJEKT.id": a random id,
// written once and never changed. A copy of the folder carries it, which is
// right: what a copy holds is the copy's to act on.
//
// Crash contract: the file is written whole into a temporary file that is
// synced and renamed into place (platform::env::ReplaceFile), so it is there
// whole or not at all. Two processes making it at once each read back what
// is there after their write, so both use the id that stays.
//
// Errors: EnvError from the file system passes through.
#pragma once

#include <optional>
#include <string>

namespace ProjectIdentity {

inline constexpr const char* kFileName = "TA_PROJEKT.id";

// The id of the project in `project_dir` (with its delimiter): 32 lower-case
// hexadecimal digits. Nothing when the folder has no identity file or the
// file holds no id (`problem` then says why, in German, for a message;
// empty when the file is simply missing).
std::optional<std::string> Read(const std::string& project_dir, std::string& problem);

// The id, made when the folder has none yet or its file holds none (a
// damaged file is replaced: the caller makes sure that no file of the
// project waits to be acted on under the lost id).
std::string Ensure(const std::string& project_dir);

// Whether `text` is an id as Read answers it.
bool IsId(const std::string& text);

}  // namespace ProjectIdentity
