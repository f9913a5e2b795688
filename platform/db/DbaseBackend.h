// The back-end of a dBase folder: an in-memory SQLite connection on which
// every .dbf of the folder is a "vdbase" virtual table (DbaseModule.h),
// registered the first time a statement names it and again when another
// program replaced its file. "create table" writes a new .dbf (and .dbt),
// "drop table" deletes them; indexes are kept in memory by the module, so
// "create index" only checks the table. Files are found through the Env,
// without regard to case.
#pragma once

#include <memory>
#include <string>

#include "platform/db/Backend.h"
#include "platform/db/DbaseModule.h"
#include "platform/dbase/DbfFormat.h"

namespace platform::db {

class DbaseBackend : public Backend {
 public:
  // Opens the folder; throws DbError when it is none.
  static std::unique_ptr<DbaseBackend> Open(const std::string& folder, dbase::Flavor flavor);

  void Run(const dialect::Statement& st, Rows* out) override;
  void RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) override;
  std::string Translate(const dialect::Statement& st) const override;
  std::vector<std::string> TableNames() override;
  bool HasTable(std::string_view name) override { return !FindTableFile(name).empty(); }
  SqliteSession& Session() override { return session_; }
  int64_t LastInsertRowid() override { return session_.LastInsertRowid(); }
  std::string QuoteName(std::string_view name) const override { return dialect::QuoteName(name); }

 private:
  DbaseBackend(std::string folder, dbase::Flavor flavor, sqlite3* db);
  // The .dbf of a table name (without regard to case), or empty.
  std::string FindTableFile(std::string_view name) const;
  bool AttachTable(const std::string& name);
  void DetachTable(const std::string& name);
  void CreateTable(const dialect::Statement& st);
  void DropTable(const std::string& name);

  dbase::Flavor flavor_;
  // Shared with the module's tables, so declared before the session that
  // holds them: it goes after them.
  std::unique_ptr<DbaseModuleState> module_state_;
  SqliteSession session_;
};

}  // namespace platform::db
