#include "context/ProjectPaths.h"

#include "host/Tools.h"
#include "platform/env/Path.h"

namespace context {

ProjectPaths::ProjectPaths(std::string reported)
    : reported_(std::move(reported)),
      dir_(reported_.empty() ? std::string() : Tools::WithBackslash(reported_)) {}

const ProjectFile& ProjectPaths::DbaseTable(std::string_view table) {
  auto it = tables_.find(table);
  if (it == tables_.end()) {
    ProjectFile file;
    if (!dir_.empty()) {
      file.path = dir_ + std::string(table) + ".dbf";
      file.folder = platform::env::FolderOf(file.path);
      file.name = platform::env::NameOf(file.path);
    }
    it = tables_.emplace(std::string(table), std::move(file)).first;
  }
  return it->second;
}

}  // namespace context
