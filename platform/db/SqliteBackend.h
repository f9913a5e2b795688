// The back-end of a database file: an SQLite database opened as it is.
// The data definition statements of the system's dialect become SQLite's:
// the platform's column types map to SQLite's declared types (with a check
// that keeps texts within their size), index names are made unique per
// database by their table's name, and "with primary" or "disallow null"
// become triggers that refuse a null key.
#pragma once

#include <memory>
#include <string>

#include "platform/db/Backend.h"

namespace platform::db {

class SqliteBackend : public Backend {
 public:
  // Opens an existing database file (or ":memory:"); throws DbError when it
  // is missing or no database.
  static std::unique_ptr<SqliteBackend> Open(const std::string& file);

  void Run(const dialect::Statement& st, Rows* out) override;
  void RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) override {
    session_.Run(sql, binds, out);
  }
  std::string Translate(const dialect::Statement& st) const override;
  std::vector<std::string> TableNames() override;
  bool HasTable(std::string_view) override { return true; }  // SQLite's own error names it
  SqliteSession& Session() override { return session_; }
  int64_t LastInsertRowid() override { return session_.LastInsertRowid(); }
  std::string QuoteName(std::string_view name) const override { return dialect::QuoteName(name); }

 private:
  SqliteBackend(std::string file, sqlite3* db) : Backend(false, std::move(file)), session_(db) {}
  static std::string CreateTableSql(const dialect::Statement& st);
  static std::string CreateIndexSql(const dialect::Statement& st);

  SqliteSession session_;
};

// Makes an empty SQLite database file at `path` when there is none; throws
// DbError when it cannot, or when a file that is no database is in the way.
void CreateSqliteDatabase(const std::string& path);

}  // namespace platform::db
