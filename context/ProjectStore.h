// The connections the plug-in keeps between hooks, each serving only what it
// was opened for: the transaction connection belongs to the current project
// folder (opened on first use, opened anew when the host's project folder is
// another, dropped at project close where the build has that hook); the
// procedure connection to the procedure database; the import and export
// connections to their exchange folders. Beside them, the paths of the
// current project folder (ProjectPaths), kept by the same rule.
//
// The store owns the connections; a reference it hands out stays valid
// until the store opens that connection anew or drops it. Opening throws
// platform::db::DbError when the data source cannot be opened.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/ProjectPaths.h"
#include "platform/db/Connection.h"
#include "platform/db/KeyedTable.h"

namespace context {

// The connection strings of the system: a folder of dBase files ("DBASE
// III" or "DBASE IV") and a database file.
std::string DBaseConnectionString(std::string_view directory, std::string_view version);
std::string DatabaseConnectionString(std::string_view file);

class ProjectStore {
 public:
  ProjectStore() = default;
  ProjectStore(const ProjectStore&) = delete;
  ProjectStore& operator=(const ProjectStore&) = delete;

  // The paths of the project folder the host reports now. The host is asked
  // at every call, so that a project opened or closed in between is
  // followed also by a build without the project hooks; the paths are made
  // only when it reports another folder than the call before. The reference
  // stays valid until a call finds another folder or the project closes.
  ProjectPaths& Paths();
  // dBase III connection of the project folder the host reports now.
  platform::db::Connection& TransactionConnection();
  // The procedure database the host reports now.
  platform::db::Connection& VerfahrenConnection();
  // dBase IV connections of an exchange folder; the import connection is
  // opened anew on every call, the export connection when the folder changed.
  platform::db::Connection& ImportConnection(std::string_view directory);
  platform::db::Connection& ExportConnection(std::string_view directory);
  void CloseExportConnection();
  // Once a package is read: its files must not stay open (on Windows the
  // mapper could neither replace nor remove its folder).
  void CloseImportConnection();

  // The project closes: its connections and paths go.
  void CloseProject();
  // Every connection goes (tests, a fresh context).
  void CloseAll();

  bool TransactionConnectionOpen() const { return transaction_ != nullptr; }

  // A table of the current project folder reached as a table object (the
  // earlier builds' transaction tables), kept while the project folder
  // stays the same, so that its records and indexes are not read anew at
  // every operation.
  platform::db::KeyedTable& ProjectTable(std::string_view file_name,
                                         const std::vector<platform::db::KeyDef>& keys);

 private:
  std::unique_ptr<ProjectPaths> paths_;
  std::unique_ptr<platform::db::Connection> transaction_;
  std::string transaction_dir_;
  std::map<std::string, std::unique_ptr<platform::db::KeyedTable>, std::less<>> tables_;
  std::string tables_dir_;
  std::unique_ptr<platform::db::Connection> verfahren_;
  std::string verfahren_db_;
  std::unique_ptr<platform::db::Connection> import_;
  std::unique_ptr<platform::db::Connection> export_;
};

}  // namespace context
