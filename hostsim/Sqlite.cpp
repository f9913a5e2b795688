// SQLite access of the host stand-in.
#include "hostsim/Sqlite.h"

#include "hostsim/HostModel.h"

namespace hostsim {
namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& path, std::string_view what) {
  throw HostError("database " + path + ": " + std::string(what) + ": " +
                  (db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

SqliteDb::SqliteDb(const std::string& path, bool create) : path_(path) {
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw HostError("cannot open database " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
  try {
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

SqliteDb::~SqliteDb() {
  sqlite3_close(db_);
}

void SqliteDb::Exec(std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw HostError("database " + path_ + ": " + message + " in: " + text);
  }
}

bool SqliteDb::TableExists(std::string_view name) {
  SqliteStmt s(*this, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
  s.Bind(1, std::string(name));
  return s.Step();
}

SqliteStmt::SqliteStmt(SqliteDb& db, std::string_view sql) : db_(db), sql_(sql) {
  if (sqlite3_prepare_v2(db.Handle(), sql_.c_str(), static_cast<int>(sql_.size()), &stmt_,
                         nullptr) != SQLITE_OK)
    Fail(db.Handle(), db.Path(), sql_);
}

SqliteStmt::~SqliteStmt() {
  sqlite3_finalize(stmt_);
}

SqliteStmt& SqliteStmt::Bind(int pos, int64_t value) {
  sqlite3_bind_int64(stmt_, pos, value);
  return *this;
}
SqliteStmt& SqliteStmt::Bind(int pos, const std::string& value) {
  sqlite3_bind_text(stmt_, pos, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}
SqliteStmt& SqliteStmt::Bind(int pos, const std::optional<std::string>& value) {
  return value ? Bind(pos, *value) : BindNull(pos);
}
SqliteStmt& SqliteStmt::BindNull(int pos) {
  sqlite3_bind_null(stmt_, pos);
  return *this;
}

bool SqliteStmt::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_.Handle(), db_.Path(), sql_);
}

bool SqliteStmt::IsNull(int col) {
  return sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}
int64_t SqliteStmt::Int(int col) {
  return sqlite3_column_int64(stmt_, col);
}
std::string SqliteStmt::Text(int col) {
  const unsigned char* text = sqlite3_column_text(stmt_, col);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
              : std::string();
}
int SqliteStmt::ColumnCount() {
  return sqlite3_column_count(stmt_);
}
std::string SqliteStmt::ColumnName(int col) {
  return sqlite3_column_name(stmt_, col);
}
void SqliteStmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Transaction::Transaction(SqliteDb& db) : db_(db) {
  db_.Exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Exec("COMMIT");
  done_ = true;
}

}  // namespace hostsim
