// One SQLite connection with the driver's statement cache: statements are
// prepared once and kept by their text, so the system's statements, built by
// concatenation and lifted to parameters by the dialect layer, run without
// being compiled again. Both back-ends run their SQL through one.
//
// Owns the sqlite3 handle and every statement it prepared; not copyable,
// movable. A session serves one thread. Calls throw DbError with SQLite's
// message.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/db/Connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::db {

// The rows of one statement, with their column names and declared types.
struct Rows {
  std::vector<std::string> names;
  std::vector<std::string> types;  // declared column types, upper case
  std::vector<std::vector<Value>> rows;
};

class SqliteSession {
 public:
  // Takes the handle (may be null only for a session moved from).
  explicit SqliteSession(sqlite3* db);
  ~SqliteSession();
  SqliteSession(SqliteSession&& other) noexcept;
  SqliteSession& operator=(SqliteSession&&) = delete;
  SqliteSession(const SqliteSession&) = delete;

  // Runs one statement with bound values; `out` receives its rows when not
  // null. Text after the statement other than blanks and ';' is an error.
  void Run(const std::string& sql, const std::vector<Value>& binds, Rows* out);
  // Runs statements separated by ';' as one: all or none.
  void RunScript(const std::string& sql);
  // Runs statements without a result, as sqlite3_exec does.
  void Exec(const std::string& sql);
  int64_t LastInsertRowid();
  // For the fuzzers' guards (authorizer, progress handler, limits).
  sqlite3* Handle() { return db_; }

 private:
  sqlite3* db_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace platform::db
