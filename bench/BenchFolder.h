// A benchmark's working folder: made under the temporary folder and removed
// when the program ends, so runs leave nothing behind.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

inline std::string NewBenchFolder() {
  struct Folders {
    std::vector<std::string> paths;
    ~Folders() {
      std::error_code ignored;
      for (const std::string& p : paths) std::filesystem::remove_all(p, ignored);
    }
  };
  static Folders folders;
  std::string root = (std::filesystem::temp_directory_path() / "vandra-bench-XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) std::abort();
  folders.paths.push_back(root);
  return root;
}

}  // namespace bench
