// A scratch folder for one fuzz run, in memory (/dev/shm) when it can be,
// removed when the run ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

inline const std::string& ScratchDir() {
  // Never destroyed: the exit handler that removes the folder needs it.
  static const std::string* dir = [] {
    const bool shm = std::filesystem::is_directory("/dev/shm");
    std::string pattern =
        (shm ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) +
        "/vandra-fuzz-XXXXXX";
    auto* made = new std::string(::mkdtemp(pattern.data()));
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return made;
  }();
  return *dir;
}

}  // namespace fuzz
