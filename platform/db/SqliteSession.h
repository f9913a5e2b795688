// One SQLite connection with the driver's statement cache: statements are
// prepared once and kept by their text, so the system's statements, built by
// concatenation and lifted to parameters by the dialect layer, run without
// being compiled again. Both back-ends run their SQL through one.
//
// Owns the sqlite3 handle and every statement it prepared; not copyable,
// movable. A session serves one thread. Calls throw SqliteError: SQLite's
// message in German (SqliteMessages.h), the original kept for the driver.
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
  std::vector<std::string> types;   // declared column types, upper case
  std::vector<std::string> tables;  // the table a column is read from; empty for an expression
  std::vector<std::vector<Value>> rows;
};

// An error SQLite reported: what() is the text for the mapper, Original()
// SQLite's own words, which the back-ends read names from ("no such table:
// X") and which no user sees.
class SqliteError : public DbError {
 public:
  SqliteError(std::string original, const std::string& text)
      : DbError(text), original_(std::move(original)) {}
  const std::string& Original() const { return original_; }

 private:
  std::string original_;
};

class SqliteSession {
 public:
  // Takes the handle (may be null only for a session moved from).
  // `own_message`, when given, is the last message the connection's own
  // virtual tables handed SQLite (they word theirs in German already): an
  // error that carries it passes unchanged. It must outlive the session.
  explicit SqliteSession(sqlite3* db, const std::string* own_message = nullptr);
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
  // Throws the SqliteError for a message of SQLite.
  [[noreturn]] void Fail(const std::string& message) const;

  sqlite3* db_;
  const std::string* own_message_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace platform::db
