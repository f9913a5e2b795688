// Connections, queries and field values of the driver stand-in. A dBase
// folder is an in-memory SQLite database whose tables are "vdbase" virtual
// tables, registered the first time a statement names them; an SQLite
// database file is opened as it is. Statements go through the dialect layer
// first; data definition statements are carried out here, the rest by SQLite.
#include "platform/db/Connection.h"

#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "platform/db/DateText.h"
#include "platform/db/DbaseModule.h"
#include "platform/db/Dialect.h"
#include "platform/dbase/DbfFile.h"

namespace platform::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr size_t kStatementCacheSize = 64;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == suffix;
}

// key=value pairs separated by ';'; a value may be quoted to hold a ';'.
std::vector<std::pair<std::string, std::string>> ParseConnectionString(std::string_view s) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t eq = s.find('=', i);
    const size_t semi = s.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      i = semi == std::string_view::npos ? s.size() : semi + 1;
      continue;
    }
    std::string key = Lower(Trim(s.substr(i, eq - i)));
    size_t j = eq + 1;
    while (j < s.size() && s[j] == ' ') ++j;
    std::string value;
    if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
      const char q = s[j];
      const size_t end = s.find(q, j + 1);
      value =
          std::string(s.substr(j + 1, (end == std::string_view::npos ? s.size() : end) - j - 1));
      i = end == std::string_view::npos ? s.size() : end + 1;
      const size_t next = s.find(';', i);
      i = next == std::string_view::npos ? s.size() : next + 1;
    } else {
      const size_t end = semi == std::string_view::npos ? s.size() : semi;
      value = std::string(Trim(s.substr(j, end - j)));
      i = end + 1;
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

// "no such table: X" from SQLite: X, else empty.
std::string MissingTable(const std::string& message) {
  static const std::string kPrefix = "no such table: ";
  const size_t at = message.find(kPrefix);
  if (at == std::string::npos) return {};
  std::string name = message.substr(at + kPrefix.size());
  if (name.rfind("main.", 0) == 0) name = name.substr(5);
  return name;
}

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

// --- Value -------------------------------------------------------------------

int64_t Value::AsInt64() const {
  if (IsNull()) return 0;
  if (IsInteger()) return std::get<int64_t>(v_);
  if (IsFloat()) {
    const double d = std::round(std::get<double>(v_));
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) throw DbError("Numeric value out of range");
    return static_cast<int64_t>(d);
  }
  const std::string_view s = Trim(std::get<std::string>(v_));
  int64_t i = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
  if (!s.empty() && ec == std::errc() && p == s.data() + s.size()) return i;
  double d = 0;
  auto [q, ec2] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (!s.empty() && ec2 == std::errc() && q == s.data() + s.size() && std::fabs(d) < 9.2e18) {
    return static_cast<int64_t>(std::round(d));
  }
  throw DbError("'" + std::get<std::string>(v_) + "' is not a valid integer value");
}

int32_t Value::AsInt32() const {
  const int64_t v = AsInt64();
  if (v < INT32_MIN || v > INT32_MAX) {
    throw DbError(std::to_string(v) + " is not a valid 32-bit integer value");
  }
  return static_cast<int32_t>(v);
}

double Value::AsDouble() const {
  if (IsNull()) return 0;
  if (IsInteger()) return static_cast<double>(std::get<int64_t>(v_));
  if (IsFloat()) return std::get<double>(v_);
  const std::string_view s = Trim(std::get<std::string>(v_));
  double d = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (!s.empty() && ec == std::errc() && p == s.data() + s.size()) return d;
  throw DbError("'" + std::get<std::string>(v_) + "' is not a valid floating-point value");
}

std::string Value::AsString() const {
  if (IsNull()) return {};
  if (IsInteger()) return std::to_string(std::get<int64_t>(v_));
  if (IsFloat()) {
    char buf[40];
    std::snprintf(buf, sizeof(buf), "%.15g", std::get<double>(v_));
    return buf;
  }
  return std::get<std::string>(v_);
}

DateTime Value::AsDateTime() const {
  if (IsNull()) return 0;
  if (IsInteger() || IsFloat()) return AsDouble();
  const std::string& s = std::get<std::string>(v_);
  if (auto d = ParseIsoDateTime(Trim(s))) return *d;
  throw DbError("'" + s + "' is not a valid date and time");
}

std::string SqlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

// --- Connection ----------------------------------------------------------

struct Connection::Internals {
  DbaseModuleState module_state;
  dbase::Flavor flavor = dbase::Flavor::kDBase3;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
};

Connection::Connection() : internals_(std::make_unique<Internals>()) {}

Connection::~Connection() {
  for (auto& [sql, stmt] : internals_->statements) sqlite3_finalize(stmt);
  internals_->statements.clear();
  if (db_) sqlite3_close_v2(db_);
}

std::unique_ptr<Connection> Connection::Open(std::string_view connection_string) {
  std::string source;
  std::string extended;
  bool has_extended = false;
  for (auto& [key, value] : ParseConnectionString(connection_string)) {
    if (key == "data source") {
      source = value;
    } else if (key == "extended properties") {
      extended = value;
      has_extended = true;
    }
    // Provider, Persist Security Info and the rest concern the platform's
    // driver only.
  }
  if (source.empty()) throw DbError("The connection string names no data source");
  std::unique_ptr<Connection> c(new Connection());
  c->data_source_ = source;
  if (has_extended) {
    const std::string ext = Upper(Trim(extended.substr(0, extended.find(';'))));
    if (ext == "DBASE III") {
      c->internals_->flavor = dbase::Flavor::kDBase3;
    } else if (ext == "DBASE IV" || ext == "DBASE 5.0") {
      c->internals_->flavor = dbase::Flavor::kDBase4;
    } else {
      throw DbError("Could not find installable ISAM for '" + extended + "'");
    }
    struct stat st;
    if (::stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw DbError("'" + source + "' is not a valid path");
    }
    while (c->data_source_.size() > 1 && c->data_source_.back() == '/') c->data_source_.pop_back();
    c->dbase_ = true;
    // A connection serves one thread (the host's user-interface thread), so
    // SQLite's per-call mutex is pure cost on every row read.
    if (sqlite3_open_v2(":memory:", &c->db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      throw DbError("Cannot open an SQLite connection");
    }
    RegisterDbaseModule(c->db_, &c->internals_->module_state);
  } else {
    struct stat st;
    if (source != ":memory:" && (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
      throw DbError("Could not find file '" + source + "'");
    }
    if (sqlite3_open_v2(source.c_str(), &c->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string msg = c->db_ ? sqlite3_errmsg(c->db_) : "out of memory";
      throw DbError("Cannot open '" + source + "': " + msg);
    }
    // Opening is lazy in SQLite; reading the schema finds a file that is no database.
    char* err = nullptr;
    if (sqlite3_exec(c->db_, "PRAGMA schema_version", nullptr, nullptr, &err) != SQLITE_OK) {
      const std::string msg = err ? err : "unknown error";
      sqlite3_free(err);
      throw DbError("Cannot open '" + source + "': " + msg);
    }
  }
  sqlite3_busy_timeout(c->db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(c->db_, 0);
  return c;
}

void Connection::CreateDatabase(const std::string& path) {
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  char* err = nullptr;
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, &err);
  const std::string msg = err ? err : (db ? sqlite3_errmsg(db) : "out of memory");
  sqlite3_free(err);
  sqlite3_close_v2(db);
  if (rc != SQLITE_OK) throw DbError("Cannot create the database '" + path + "': " + msg);
}

std::string Connection::Translate(std::string_view sql) const {
  const dialect::Statement st = dialect::Parse(sql);
  switch (st.kind) {
    case dialect::Kind::kOther:
      return st.sql;
    case dialect::Kind::kCreateTable:
      return dbase_ ? AttachTableSql(st.table, data_source_ + "/" + st.table + ".dbf")
                    : SqliteCreateTable(st);
    case dialect::Kind::kCreateIndex:
      return dbase_ ? std::string() : SqliteCreateIndex(st);
    case dialect::Kind::kDropTable:
      return "DROP TABLE " + dialect::QuoteName(st.table);
    case dialect::Kind::kDropIndex:
      return dbase_ ? std::string() : "DROP INDEX " + dialect::QuoteName(st.table + "." + st.index);
  }
  return st.sql;
}

void Connection::Execute(std::string_view sql) {
  Run(sql, nullptr);
}

std::vector<std::string> Connection::TableNames() {
  std::vector<std::string> names;
  if (dbase_) {
    DIR* d = ::opendir(data_source_.c_str());
    if (!d) throw DbError("'" + data_source_ + "' is not a valid path");
    while (dirent* e = ::readdir(d)) {
      const std::string file = e->d_name;
      if (file.size() > 4 && EndsWithNoCase(file, ".dbf")) {
        struct stat st;
        if (::stat((data_source_ + "/" + file).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
          names.push_back(file.substr(0, file.size() - 4));
        }
      }
    }
    ::closedir(d);
  } else {
    Rows rows;
    RunSqlite(
        "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite!_%' "
        "ESCAPE '!'",
        {}, &rows);
    for (const auto& row : rows.rows) names.push_back(row[0].AsString());
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  return names;
}

void Connection::Run(std::string_view sql, Rows* out) {
  const dialect::Statement st = dialect::Parse(sql, true);
  switch (st.kind) {
    case dialect::Kind::kOther:
      RunSqlite(st.sql, st.params, out);
      return;
    case dialect::Kind::kCreateTable:
      if (dbase_) {
        CreateDbaseTable(st);
      } else {
        RunScript(SqliteCreateTable(st));
      }
      return;
    case dialect::Kind::kCreateIndex:
      if (dbase_) {
        // Equality lookups are indexed in memory; only a unique index would
        // promise something the files cannot keep.
        if (FindTableFile(st.table).empty()) throw DbError("no such table: " + st.table);
        if (st.unique) {
          throw DbError("Unique indexes are not supported on dBase tables: " + st.index);
        }
        return;
      }
      RunScript(SqliteCreateIndex(st));
      return;
    case dialect::Kind::kDropTable:
      RunSqlite("DROP TABLE " + dialect::QuoteName(st.table), {}, nullptr);
      return;
    case dialect::Kind::kDropIndex: {
      if (dbase_) return;
      std::string table = st.table;
      if (table.empty()) {
        Rows rows;
        RunSqlite(
            "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND substr(name, "
            "length(tbl_name) + 1) = ?",
            {Value("." + st.index)}, &rows);
        if (rows.rows.size() != 1) throw DbError("no such index: " + st.index);
        table = rows.rows[0][0].AsString();
      }
      const std::string base = table + "." + st.index;
      RunScript("DROP INDEX " + dialect::QuoteName(base) + ";\nDROP TRIGGER IF EXISTS " +
                dialect::QuoteName(base + ".notnull.insert") + ";\nDROP TRIGGER IF EXISTS " +
                dialect::QuoteName(base + ".notnull.update"));
      return;
    }
  }
}

void Connection::RunSqlite(const std::string& sql, const std::vector<Value>& binds, Rows* out) {
  auto& stale = internals_->module_state.stale_tables;
  // Each table a statement names may need registering once, however many it
  // names; only the rounds for tables changed under us are few.
  int stale_rounds = 0;
  int attached = 0;
  for (;;) {
    stale.clear();
    try {
      RunSqliteOnce(sql, binds, out);
      return;
    } catch (const DbError& e) {
      if (!dbase_) throw;
      if (!stale.empty()) {
        if (++stale_rounds > 4) throw;
        // Another program removed or rebuilt the file: forget the old
        // registration; the next attempt registers what is there now.
        const std::vector<std::string> names = stale;
        for (const std::string& name : names) DetachTable(name);
        continue;
      }
      const std::string missing = MissingTable(e.what());
      if (!missing.empty() && ++attached <= 256 && AttachTable(missing)) continue;
      throw;
    }
  }
}

void Connection::RunSqliteOnce(const std::string& sql, const std::vector<Value>& binds, Rows* out) {
  auto& cache = internals_->statements;
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
      throw DbError(msg);
    }
    if (!stmt) throw DbError("The statement is empty");
    for (const char* p = tail; p && *p; ++p) {
      if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
        sqlite3_finalize(stmt);
        throw DbError("Characters found after end of SQL statement");
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
      cache.emplace(sql, stmt);
    }
  } keep{cache, sql, stmt};

  for (size_t i = 0; i < binds.size(); ++i) Bind(stmt, static_cast<int>(i) + 1, binds[i]);
  const int columns = sqlite3_column_count(stmt);
  if (out) {
    out->names.clear();
    out->types.clear();
    out->rows.clear();
    for (int i = 0; i < columns; ++i) {
      const char* name = sqlite3_column_name(stmt, i);
      const char* type = sqlite3_column_decltype(stmt, i);
      out->names.emplace_back(name ? name : "");
      out->types.push_back(Upper(type ? type : ""));
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
      throw DbError(msg);
    }
  }
}

void Connection::RunScript(const std::string& sql) {
  char* err = nullptr;
  sqlite3_exec(db_, "SAVEPOINT vandra_ddl", nullptr, nullptr, nullptr);
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    sqlite3_exec(db_, "ROLLBACK TO vandra_ddl; RELEASE vandra_ddl", nullptr, nullptr, nullptr);
    throw DbError(msg);
  }
  sqlite3_exec(db_, "RELEASE vandra_ddl", nullptr, nullptr, nullptr);
}

std::string Connection::FindTableFile(std::string_view name) const {
  if (name.empty() || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos || name == "." || name == "..") {
    return {};
  }
  // "TA_LIST" names TA_LIST.dbf; "TA_LIST.DBF" names the file itself.
  const bool with_extension = name.size() > 4 && EndsWithNoCase(name, ".dbf");
  const std::string wanted = with_extension ? std::string(name) : std::string(name) + ".dbf";
  struct stat st;
  for (const std::string& file : {wanted, with_extension ? wanted : std::string(name) + ".DBF"}) {
    const std::string path = data_source_ + "/" + file;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
  }
  DIR* d = ::opendir(data_source_.c_str());
  if (!d) return {};
  std::vector<std::string> matches;
  while (dirent* e = ::readdir(d)) {
    if (Lower(e->d_name) == Lower(wanted)) matches.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(matches.begin(), matches.end());
  for (const std::string& file : matches) {
    const std::string path = data_source_ + "/" + file;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
  }
  return {};
}

bool Connection::AttachTable(const std::string& name) {
  const std::string path = FindTableFile(name);
  if (path.empty()) return false;
  char* err = nullptr;
  const std::string sql = AttachTableSql(name, path);
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    throw DbError(msg);
  }
  return true;
}

void Connection::DetachTable(const std::string& name) {
  auto& state = internals_->module_state;
  state.detaching = true;
  const std::string sql = "DROP TABLE IF EXISTS " + dialect::QuoteName(name);
  sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  state.detaching = false;
}

void Connection::CreateDbaseTable(const dialect::Statement& st) {
  if (st.table.empty() || st.table.find('/') != std::string::npos ||
      st.table.find('\0') != std::string::npos || st.table == "." || st.table == "..") {
    throw DbError("'" + st.table + "' is not a valid table name");
  }
  std::vector<dbase::FieldSpec> fields;
  for (const dialect::ColumnDef& col : st.columns) {
    dbase::FieldSpec f;
    f.name = col.name;
    const std::string& t = col.type;
    if (t == "integer" || t == "int" || t == "long" || t == "integer4") {
      f.type = 'N';
      f.length = 11;
    } else if (t == "smallint" || t == "short" || t == "integer2") {
      f.type = 'N';
      f.length = 6;
    } else if (t == "byte" || t == "tinyint" || t == "integer1") {
      f.type = 'N';
      f.length = 4;
    } else if (t == "char" || t == "text" || t == "varchar" || t == "character" || t == "string" ||
               t == "alphanumeric" || t == "nchar" || t == "nvarchar") {
      f.type = 'C';
      f.length = col.size < 0 ? 254 : col.size;
    } else if (t == "memo" || t == "longtext" || t == "longchar" || t == "note" || t == "ntext") {
      f.type = 'M';
    } else if (t == "date" || t == "datetime" || t == "time" || t == "timestamp") {
      f.type = 'D';
    } else if (t == "double" || t == "float" || t == "real" || t == "single" || t == "number" ||
               t == "float8" || t == "float4") {
      f.type = 'N';
      f.length = 20;
      f.decimals = 6;
    } else if (t == "numeric" || t == "decimal") {
      f.type = 'N';
      f.length = col.size < 0 ? 18 : col.size;
      f.decimals = col.scale < 0 ? 0 : col.scale;
    } else if (t == "currency" || t == "money") {
      f.type = 'N';
      f.length = 20;
      f.decimals = 4;
    } else if (t == "bit" || t == "logical" || t == "yesno" || t == "boolean" || t == "logical1") {
      f.type = 'L';
    } else if (t == "autoincrement" || t == "counter" || t == "identity") {
      throw DbError("dBase tables have no autoincrement fields: " + col.name);
    } else {
      throw DbError("Syntax error in field definition: unknown type '" + col.type + "' of " +
                    col.name);
    }
    const std::string rest = Lower(col.rest);
    if (!rest.empty() && rest != "null" && rest != "not null") {
      throw DbError("dBase fields take no constraints: " + col.name + " " + col.rest);
    }
    fields.push_back(f);
  }
  if (!FindTableFile(st.table).empty()) throw DbError("Table '" + st.table + "' already exists");
  const bool with_extension = st.table.size() > 4 && EndsWithNoCase(st.table, ".dbf");
  try {
    dbase::DbfFile::Create(data_source_ + "/" + st.table + (with_extension ? "" : ".dbf"),
                           internals_->flavor, fields);
  } catch (const dbase::DbaseError& e) {
    throw DbError(e.what());
  }
  // A registration left from a file of that name that another program deleted.
  DetachTable(st.table);
  AttachTable(st.table);
}

std::string Connection::SqliteCreateTable(const dialect::Statement& st) const {
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
      throw DbError("Syntax error in field definition: unknown type '" + col.type + "' of " +
                    col.name);
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
      std::string lower = rest;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      const size_t at = lower.find("primary key");
      if (at != std::string::npos) rest.erase(at, std::string("primary key").size());
      while (!rest.empty() && rest.back() == ' ') rest.pop_back();
      while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    }
    if (!rest.empty()) sql += " " + rest;
  }
  return sql + ")";
}

std::string Connection::SqliteCreateIndex(const dialect::Statement& st) const {
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
             Upper(event) + " ON " + dialect::QuoteName(st.table) + " WHEN " + null_test +
             " BEGIN SELECT RAISE(ABORT, 'Index or primary key cannot contain a Null value.'); END";
    }
  }
  return sql;
}

// --- Query ---------------------------------------------------------------------

Query::Query(Connection& connection, std::string_view sql) {
  Connection::Rows rows;
  connection.Run(sql, &rows);
  names_ = std::move(rows.names);
  rows_ = std::move(rows.rows);
  eof_ = rows_.empty();
}

Query::~Query() = default;

void Query::Next() {
  if (eof_) return;
  ++row_;
  eof_ = row_ >= rows_.size();
}

int Query::FieldCount() const {
  return static_cast<int>(names_.size());
}

void Query::CheckPos(int pos) const {
  if (pos < 0 || pos >= static_cast<int>(names_.size())) {
    throw DbError("There is no field at position " + std::to_string(pos));
  }
}

std::string Query::FieldName(int pos) const {
  CheckPos(pos);
  return names_[pos];
}

const Value& Query::Cell(int pos) const {
  CheckPos(pos);
  if (eof_) throw DbError("Either BOF or EOF is True, or the current record has been deleted");
  return rows_[row_][pos];
}

bool Query::IsNull(int pos) const {
  return Cell(pos).IsNull();
}
Value Query::Field(int pos) const {
  return Cell(pos);
}
int32_t Query::AsInt32(int pos) const {
  return Cell(pos).AsInt32();
}
int64_t Query::AsInt64(int pos) const {
  return Cell(pos).AsInt64();
}
double Query::AsDouble(int pos) const {
  return Cell(pos).AsDouble();
}
std::string Query::AsString(int pos) const {
  return Cell(pos).AsString();
}
DateTime Query::AsDateTime(int pos) const {
  return Cell(pos).AsDateTime();
}

}  // namespace platform::db
