// The statement cache and the row reading both back-ends share.
#include "platform/db/SqliteSession.h"

#include <sqlite3.h>

#include "platform/db/SqliteMessages.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

constexpr size_t kStatementCacheSize = 64;

void Bind(sqlite3_stmt* stmt, int pos, const Value& v) {
  if (v.IsNull()) {
    sqlite3_bind_null(stmt, pos);
  } else if (v.IsInteger()) {
    sqlite3_bind_int64(stmt, pos, v.AsInt64());
  } else if (v.IsFloat()) {
    sqlite3_bind_double(stmt, pos, v.AsDouble());
  } else {
    const std::string s = v.AsString();
    sqlite3_bind_text(stmt, pos, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return Value(static_cast<int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return Value(sqlite3_column_double(stmt, i));
    case SQLITE_NULL:
      return Value();
    default: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      return Value(std::string(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
    }
  }
}

}  // namespace

SqliteSession::SqliteSession(sqlite3* db, const std::string* own_message)
    : db_(db), own_message_(own_message) {}

SqliteSession::SqliteSession(SqliteSession&& other) noexcept
    : db_(other.db_), own_message_(other.own_message_), statements_(std::move(other.statements_)) {
  other.db_ = nullptr;
  other.statements_.clear();
}

SqliteSession::~SqliteSession() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
  if (db_) sqlite3_close_v2(db_);
}

void SqliteSession::Fail(const std::string& message) const {
  if (own_message_ != nullptr && !own_message_->empty() && message == *own_message_) {
    throw SqliteError(message, message);
  }
  throw SqliteError(message, GermanSqliteMessage(message));
}

int64_t SqliteSession::LastInsertRowid() {
  return sqlite3_last_insert_rowid(db_);
}

void SqliteSession::Run(const std::string& sql, const std::vector<Value>& binds, Rows* out) {
  auto& cache = statements_;
  sqlite3_stmt* stmt = nullptr;
  if (auto it = cache.find(sql); it != cache.end()) {
    stmt = it->second;
    cache.erase(it);
  } else {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) !=
        SQLITE_OK) {
      const std::string msg = sqlite3_errmsg(db_);
      sqlite3_finalize(stmt);
      Fail(msg);
    }
    if (!stmt) throw DbError("Die Anweisung ist leer.");
    for (const char* p = tail; p && *p; ++p) {
      if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
        sqlite3_finalize(stmt);
        throw DbError("Hinter dem Ende der SQL-Anweisung stehen noch Zeichen.");
      }
    }
  }
  // Back into the cache (or finalized) on every way out.
  struct Keep {
    std::unordered_map<std::string, sqlite3_stmt*>& cache;
    const std::string& sql;
    sqlite3_stmt* stmt;
    ~Keep() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
      if (cache.size() >= kStatementCacheSize) {
        for (auto& [text, s] : cache) sqlite3_finalize(s);
        cache.clear();
      }
      // A destructor must not throw: without room in the cache the
      // statement is prepared anew next time.
      try {
        cache.emplace(sql, stmt);
      } catch (...) {
        sqlite3_finalize(stmt);
      }
    }
  } keep{cache, sql, stmt};

  for (size_t i = 0; i < binds.size(); ++i) Bind(stmt, static_cast<int>(i) + 1, binds[i]);
  const int columns = sqlite3_column_count(stmt);
  if (out) {
    out->names.clear();
    out->types.clear();
    out->tables.clear();
    out->rows.clear();
    for (int i = 0; i < columns; ++i) {
      const char* name = sqlite3_column_name(stmt, i);
      const char* type = sqlite3_column_decltype(stmt, i);
      const char* table = sqlite3_column_table_name(stmt, i);
      out->names.emplace_back(name ? name : "");
      out->types.push_back(text::ToUpperAscii(type ? type : ""));
      out->tables.emplace_back(table ? table : "");
    }
  }
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      if (!out) continue;
      std::vector<Value> row;
      row.reserve(static_cast<size_t>(columns));
      for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt, i));
      out->rows.push_back(std::move(row));
    } else if (rc == SQLITE_DONE) {
      return;
    } else {
      const std::string msg = sqlite3_errmsg(db_);
      if (out) out->rows.clear();
      Fail(msg);
    }
  }
}

void SqliteSession::RunScript(const std::string& sql) {
  char* err = nullptr;
  sqlite3_exec(db_, "SAVEPOINT vandra_ddl", nullptr, nullptr, nullptr);
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    sqlite3_exec(db_, "ROLLBACK TO vandra_ddl; RELEASE vandra_ddl", nullptr, nullptr, nullptr);
    Fail(msg);
  }
  sqlite3_exec(db_, "RELEASE vandra_ddl", nullptr, nullptr, nullptr);
}

void SqliteSession::Exec(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    Fail(msg);
  }
}

}  // namespace platform::db
