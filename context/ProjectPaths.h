// The paths of a project folder that the plug-in reaches at almost every
// hook: the folder as the rules see it, with its delimiter, and the files of
// the dBase tables in it. They follow from the folder alone, so the project
// store (ProjectStore::Paths) makes them once per project folder instead of
// at every call. Nothing here asks the host or looks at the file system.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace context {

// A file of the project folder: its path, and its folder and name apart, as
// a look-up that ignores the letter case takes them (platform::env::FolderOf
// and NameOf of the path).
struct ProjectFile {
  std::string path;
  std::string folder;
  std::string name;
};

class ProjectPaths {
 public:
  // `reported` is the project folder as the host reports it, empty when no
  // project is open.
  explicit ProjectPaths(std::string reported);
  ProjectPaths(const ProjectPaths&) = delete;
  ProjectPaths& operator=(const ProjectPaths&) = delete;

  // The folder as the host reported it: the paths belong to this answer.
  const std::string& Reported() const { return reported_; }
  // The folder with its delimiter, the text Tools::MyGetProjectDir gives;
  // empty without a project.
  const std::string& Dir() const { return dir_; }
  // The dBase file of a table, "<Dir>TA_LIST.dbf" for "TA_LIST", made on the
  // first request and kept as long as this object; all empty without a
  // project, so that no table is looked for in the program's working folder.
  const ProjectFile& DbaseTable(std::string_view table);

 private:
  std::string reported_;
  std::string dir_;
  // By table name; a map, so that a reference handed out stays valid.
  std::map<std::string, ProjectFile, std::less<>> tables_;
};

}  // namespace context
