// SQLite database files as the system's database files.
#include "platform/db/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/db/SqliteMessages.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;

}  // namespace

std::unique_ptr<SqliteBackend> SqliteBackend::Open(const std::string& source) {
  if (source != ":memory:") {
    std::optional<env::FileStatus> st;
    try {
      st = env::Env::Current().Stat(source);
    } catch (const env::EnvError&) {
    }
    if (!st || !st->IsRegular()) throw DbError("Die Datei '" + source + "' wurde nicht gefunden.");
  }
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<SqliteBackend> b(new SqliteBackend(source, db));
  const std::string cannot_open = "'" + source + "' kann nicht geöffnet werden: ";
  if (rc != SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    throw DbError(cannot_open + GermanSqliteMessage(msg));
  }
  // Opening is lazy in SQLite; reading the schema finds a file that is no database.
  try {
    b->session_.Exec("PRAGMA schema_version");
  } catch (const DbError& e) {
    throw DbError(cannot_open + e.what());
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 0);
  return b;
}

void CreateSqliteDatabase(const std::string& path) {
  bool exists = false;
  try {
    exists = env::Env::Current().Stat(path).has_value();
  } catch (const env::EnvError&) {
    exists = true;  // let SQLite say what is wrong with it
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  char* err = nullptr;
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, &err);
  const std::string msg = err ? err : (db ? sqlite3_errmsg(db) : "out of memory");
  sqlite3_free(err);
  sqlite3_close_v2(db);
  if (rc != SQLITE_OK) {
    throw DbError("Die Datenbank '" + path +
                  "' kann nicht angelegt werden: " + GermanSqliteMessage(msg));
  }
}

std::string SqliteBackend::Translate(const dialect::Statement& st) const {
  switch (st.kind) {
    case dialect::Kind::kOther:
      return st.sql;
    case dialect::Kind::kCreateTable:
      return CreateTableSql(st);
    case dialect::Kind::kCreateIndex:
      return CreateIndexSql(st);
    case dialect::Kind::kDropTable:
      return "DROP TABLE " + dialect::QuoteName(st.table);
    case dialect::Kind::kDropIndex:
      return "DROP INDEX " + dialect::QuoteName(st.table + "." + st.index);
  }
  return st.sql;
}

void SqliteBackend::Run(const dialect::Statement& st, Rows* out) {
  switch (st.kind) {
    case dialect::Kind::kOther:
      session_.Run(st.sql, st.params, out);
      return;
    case dialect::Kind::kCreateTable:
      session_.RunScript(CreateTableSql(st));
      return;
    case dialect::Kind::kCreateIndex:
      session_.RunScript(CreateIndexSql(st));
      return;
    case dialect::Kind::kDropTable:
      session_.Run("DROP TABLE " + dialect::QuoteName(st.table), {}, nullptr);
      return;
    case dialect::Kind::kDropIndex: {
      std::string table = st.table;
      if (table.empty()) {
        Rows rows;
        session_.Run(
            "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND substr(name, "
            "length(tbl_name) + 1) = ?",
            {Value("." + st.index)}, &rows);
        if (rows.rows.size() != 1) throw DbError(GermanSqliteMessage("no such index: " + st.index));
        table = rows.rows[0][0].AsString();
      }
      const std::string base = table + "." + st.index;
      session_.RunScript("DROP INDEX " + dialect::QuoteName(base) + ";\nDROP TRIGGER IF EXISTS " +
                         dialect::QuoteName(base + ".notnull.insert") +
                         ";\nDROP TRIGGER IF EXISTS " +
                         dialect::QuoteName(base + ".notnull.update"));
      return;
    }
  }
}

std::vector<std::string> SqliteBackend::TableNames() {
  Rows rows;
  session_.Run(
      "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite!_%' "
      "ESCAPE '!'",
      {}, &rows);
  std::vector<std::string> names;
  for (const auto& row : rows.rows) names.push_back(row[0].AsString());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return text::ToLowerAscii(a) < text::ToLowerAscii(b);
  });
  return names;
}

std::string SqliteBackend::CreateTableSql(const dialect::Statement& st) {
  std::string sql = "CREATE TABLE " + dialect::QuoteName(st.table) + " (";
  for (size_t i = 0; i < st.columns.size(); ++i) {
    const dialect::ColumnDef& col = st.columns[i];
    const std::string name = dialect::QuoteName(col.name);
    const std::string& t = col.type;
    std::string type;
    int max_length = -1;
    if (t == "integer" || t == "int" || t == "long" || t == "integer4") {
      type = "INTEGER";
    } else if (t == "smallint" || t == "short" || t == "integer2") {
      type = "SMALLINT";
    } else if (t == "byte" || t == "tinyint" || t == "integer1") {
      type = "TINYINT";
    } else if (t == "autoincrement" || t == "counter" || t == "identity") {
      type = "INTEGER PRIMARY KEY AUTOINCREMENT";
    } else if (t == "char" || t == "text" || t == "varchar" || t == "character" || t == "string" ||
               t == "alphanumeric" || t == "nchar" || t == "nvarchar") {
      max_length = col.size < 0 ? 255 : col.size;
      type = "TEXT(" + std::to_string(max_length) + ")";
    } else if (t == "memo" || t == "longtext" || t == "longchar" || t == "note" || t == "ntext") {
      type = "TEXT";
    } else if (t == "date") {
      type = "DATE";
    } else if (t == "datetime" || t == "time" || t == "timestamp") {
      type = "DATETIME";
    } else if (t == "double" || t == "float" || t == "number" || t == "float8") {
      type = "DOUBLE";
    } else if (t == "real" || t == "single" || t == "float4") {
      type = "REAL";
    } else if (t == "numeric" || t == "decimal" || t == "currency" || t == "money") {
      type = "NUMERIC";
    } else if (t == "bit" || t == "logical" || t == "yesno" || t == "boolean" || t == "logical1") {
      type = "BOOLEAN";
    } else if (t == "binary" || t == "varbinary" || t == "longbinary" || t == "image" ||
               t == "oleobject" || t == "general") {
      type = "BLOB";
    } else if (t == "guid" || t == "uniqueidentifier") {
      type = "TEXT";
    } else {
      dialect::RefuseColumnType(col);
    }
    if (i) sql += ", ";
    sql += name + " " + type;
    if (max_length >= 0) {
      // The platform refuses a text longer than its column; SQLite would keep it.
      sql += " CHECK (length(" + name + ") <= " + std::to_string(max_length) + ")";
    }
    std::string rest = col.rest;
    if (type.find("PRIMARY KEY") != std::string::npos) {
      // An autoincrement column is the key already; saying so again would
      // give the table two primary keys.
      const size_t at = text::ToLowerAscii(rest).find("primary key");
      if (at != std::string::npos) rest.erase(at, std::string("primary key").size());
      rest = std::string(text::TrimChars(rest, " "));
    }
    if (!rest.empty()) sql += " " + rest;
  }
  return sql + ")";
}

std::string SqliteBackend::CreateIndexSql(const dialect::Statement& st) {
  // Index names belong to their table on the platform; SQLite wants them
  // unique in the database, so the table's name goes in front.
  const std::string base = st.table + "." + st.index;
  std::string columns;
  std::string null_test;
  for (const std::string& col : st.index_columns) {
    const bool desc = col.size() > 5 && col.substr(col.size() - 5) == " DESC";
    const std::string name = desc ? col.substr(0, col.size() - 5) : col;
    if (!columns.empty()) {
      columns += ", ";
      null_test += " OR ";
    }
    columns += dialect::QuoteName(name) + (desc ? " DESC" : "");
    null_test += "NEW." + dialect::QuoteName(name) + " IS NULL";
  }
  std::string sql = std::string("CREATE ") + (st.unique ? "UNIQUE " : "") + "INDEX " +
                    dialect::QuoteName(base) + " ON " + dialect::QuoteName(st.table) + " (" +
                    columns + ")";
  if (st.disallow_null) {
    for (const char* event : {"insert", "update"}) {
      sql += ";\nCREATE TRIGGER " + dialect::QuoteName(base + ".notnull." + event) + " BEFORE " +
             text::ToUpperAscii(event) + " ON " + dialect::QuoteName(st.table) + " WHEN " +
             null_test +
             " BEGIN SELECT RAISE(ABORT, 'Index or primary key cannot contain a Null value.'); END";
    }
  }
  return sql;
}

}  // namespace platform::db
