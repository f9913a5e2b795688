// The host's own small access to SQLite: the project and procedure databases
// of the host stand-in. Errors throw HostError naming the database and the
// statement. Writes go through Transaction, so that a crash between two
// statements of one change leaves the database as it was.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hostsim {

class SqliteDb {
 public:
  // Opens (and creates when create is set) a database file in WAL mode with
  // a busy timeout, so the plug-in's connections to the same file can work
  // beside the host's.
  SqliteDb(const std::string& path, bool create);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  void Exec(std::string_view sql);
  sqlite3* Handle() { return db_; }
  const std::string& Path() const { return path_; }
  bool TableExists(std::string_view name);
  int64_t LastInsertId() { return sqlite3_last_insert_rowid(db_); }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// A prepared statement; Bind positions start at 1, Column positions at 0.
class SqliteStmt {
 public:
  SqliteStmt(SqliteDb& db, std::string_view sql);
  ~SqliteStmt();
  SqliteStmt(const SqliteStmt&) = delete;
  SqliteStmt& operator=(const SqliteStmt&) = delete;

  SqliteStmt& Bind(int pos, int64_t value);
  SqliteStmt& Bind(int pos, const std::string& value);
  SqliteStmt& Bind(int pos, const std::optional<std::string>& value);
  SqliteStmt& BindNull(int pos);
  // Runs to the next row; false when there is none.
  bool Step();
  void Run() {
    while (Step()) {
    }
  }
  bool IsNull(int col);
  int64_t Int(int col);
  std::string Text(int col);
  int ColumnCount();
  std::string ColumnName(int col);
  void Reset();

 private:
  SqliteDb& db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::string sql_;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back unless Commit ran.
class Transaction {
 public:
  explicit Transaction(SqliteDb& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  SqliteDb& db_;
  bool done_ = false;
};

}  // namespace hostsim
