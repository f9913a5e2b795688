// Tables are registered lazily: SQLite reports "no such table", the file is
// looked for in the folder and registered, and the statement runs again.
// A table whose file went away or changed its fields under the module is
// forgotten and registered anew the same way.
#include "platform/db/DbaseBackend.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/db/FieldMapping.h"
#include "platform/db/KeyIndexFile.h"
#include "platform/db/SqliteMessages.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;

// "no such table: X" from SQLite: X, else empty. SQLite's own words, never
// the German text the mapper reads.
std::string MissingTable(const DbError& error) {
  const auto* sqlite = dynamic_cast<const SqliteError*>(&error);
  if (sqlite == nullptr) return {};
  static const std::string kPrefix = "no such table: ";
  const std::string& message = sqlite->Original();
  if (message.rfind(kPrefix, 0) != 0) return {};
  std::string name = message.substr(kPrefix.size());
  if (name.rfind("main.", 0) == 0) name = name.substr(5);
  return name;
}

std::string NoPathText(const std::string& folder) {
  return "'" + folder + "' ist kein gültiger Pfad.";
}

}  // namespace

DbaseBackend::DbaseBackend(std::string folder, dbase::Flavor flavor, sqlite3* db)
    : Backend(true, std::move(folder)),
      flavor_(flavor),
      module_state_(std::make_unique<DbaseModuleState>()),
      session_(db, &module_state_->last_error) {}

std::unique_ptr<DbaseBackend> DbaseBackend::Open(const std::string& source, dbase::Flavor flavor) {
  std::optional<env::FileStatus> st;
  try {
    st = env::Env::Current().Stat(source);
  } catch (const env::EnvError&) {
  }
  if (!st || !st->IsFolder()) throw DbError(NoPathText(source));
  const std::string folder = env::WithoutTrailingSeparator(source);
  // A connection serves one thread (the host's user-interface thread), so
  // SQLite's per-call mutex is pure cost on every row read.
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(
      ":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<DbaseBackend> b(new DbaseBackend(folder, flavor, db));
  if (rc != SQLITE_OK) throw DbError("Die Verbindung zur Datenbank kann nicht geöffnet werden.");
  RegisterDbaseModule(db, b->module_state_.get());
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 0);
  return b;
}

std::string DbaseBackend::Translate(const dialect::Statement& st) const {
  switch (st.kind) {
    case dialect::Kind::kOther:
      return st.sql;
    case dialect::Kind::kCreateTable:
      return AttachTableSql(st.table, env::JoinPath(DataSource(), st.table + ".dbf"));
    case dialect::Kind::kCreateIndex:
    case dialect::Kind::kDropIndex:
      return std::string();
    case dialect::Kind::kDropTable:
      return "DROP TABLE " + dialect::QuoteName(st.table);
  }
  return st.sql;
}

void DbaseBackend::Run(const dialect::Statement& st, Rows* out) {
  switch (st.kind) {
    case dialect::Kind::kOther:
      RunSql(st.sql, st.params, out);
      return;
    case dialect::Kind::kCreateTable:
      CreateTable(st);
      return;
    case dialect::Kind::kCreateIndex:
      // Equality lookups are indexed in memory; only a unique index would
      // promise something the files cannot keep.
      if (FindTableFile(st.table).empty()) {
        throw DbError(GermanSqliteMessage("no such table: " + st.table));
      }
      if (st.unique) {
        throw DbError("Eindeutige Indizes gibt es für dBase-Tabellen nicht: " + st.index + ".");
      }
      return;
    case dialect::Kind::kDropTable:
      DropTable(st.table);
      return;
    case dialect::Kind::kDropIndex:
      return;
  }
}

void DbaseBackend::RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) {
  auto& stale = module_state_->stale_tables;
  // Each table a statement names may need registering once, however many it
  // names; only the rounds for tables changed under us are few.
  int stale_rounds = 0;
  int attached = 0;
  for (;;) {
    stale.clear();
    try {
      session_.Run(sql, binds, out);
      return;
    } catch (const DbError& e) {
      if (!stale.empty()) {
        if (++stale_rounds > 4) throw;
        // Another program removed or rebuilt the file: forget the old
        // registration; the next attempt registers what is there now.
        const std::vector<std::string> names = stale;
        for (const std::string& name : names) DetachTable(name);
        continue;
      }
      const std::string missing = MissingTable(e);
      if (!missing.empty() && ++attached <= 256 && AttachTable(missing)) continue;
      throw;
    }
  }
}

std::vector<std::string> DbaseBackend::TableNames() {
  env::Env& env = env::Env::Current();
  std::vector<std::string> entries;
  try {
    entries = env.ListFolder(DataSource());
  } catch (const env::EnvError&) {
    throw DbError(NoPathText(DataSource()));
  }
  std::vector<std::string> names;
  for (const std::string& file : entries) {
    if (file.size() <= 4 || !text::EndsWithIgnoreCase(file, ".dbf")) continue;
    std::optional<env::FileStatus> st;
    try {
      st = env.Stat(env::JoinPath(DataSource(), file));
    } catch (const env::EnvError&) {
    }
    if (st && st->IsRegular()) names.push_back(file.substr(0, file.size() - 4));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = text::ToLowerAscii(a);
    const std::string lb = text::ToLowerAscii(b);
    return la != lb ? la < lb : a < b;
  });
  // TA_LIST.dbf and TA_LIST.DBF are one table by name (which statements on
  // it refuse to guess at): listed once.
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) {
                            return text::EqualsIgnoreCase(a, b);
                          }),
              names.end());
  return names;
}

std::string DbaseBackend::FindTableFile(std::string_view name) const {
  if (!env::IsPlainName(name)) return {};
  // "TA_LIST" names TA_LIST.dbf; "TA_LIST.DBF" names the file itself.
  const bool with_extension = name.size() > 4 && text::EndsWithIgnoreCase(name, ".dbf");
  const std::string wanted = with_extension ? std::string(name) : std::string(name) + ".dbf";
  std::optional<std::string> file;
  try {
    file = dbase::DbfFile::Locate(env::Env::Current(), DataSource(), wanted);
  } catch (const dbase::DbaseError& e) {
    throw DbError(e.what());
  }
  return file ? env::JoinPath(DataSource(), *file) : std::string();
}

bool DbaseBackend::AttachTable(const std::string& name) {
  const std::string path = FindTableFile(name);
  if (path.empty()) return false;
  session_.Exec(AttachTableSql(name, path));
  return true;
}

void DbaseBackend::DetachTable(const std::string& name) {
  // Cleared on every way out: left set, the next "drop table" through SQLite
  // would keep the files.
  struct Detaching {
    bool& flag;
    ~Detaching() { flag = false; }
  } detaching{module_state_->detaching};
  module_state_->detaching = true;
  try {
    session_.Exec("DROP TABLE IF EXISTS " + dialect::QuoteName(name));
  } catch (const DbError&) {
  }
}

void DbaseBackend::DropTable(const std::string& name) {
  // The files go here and not in the module's xDestroy, whose message SQLite
  // does not pass on: a file that cannot be removed came out as "SQL logic
  // error". They go first; when they cannot, the table stays whole and
  // registered.
  const std::string path = FindTableFile(name);
  if (path.empty()) {
    // A registration whose file went away is forgotten; no table at all is
    // SQLite's "no such table".
    RunSql("DROP TABLE " + dialect::QuoteName(name), {}, nullptr);
    return;
  }
  try {
    dbase::DbfFile::Remove(path, env::Env::Current());
  } catch (const dbase::DbaseError& e) {
    std::optional<env::FileStatus> st;
    try {
      st = env::Env::Current().Stat(path);
    } catch (const env::EnvError&) {
    }
    if (!st) DetachTable(name);  // gone, only its memo file is left
    throw DbError(e.what());
  }
  // Left behind they would only take room: no table matches them now.
  key_index::RemoveFor(env::Env::Current(), path);
  DetachTable(name);
}

void DbaseBackend::CreateTable(const dialect::Statement& st) {
  if (!env::IsPlainName(st.table))
    throw DbError("'" + st.table + "' ist kein gültiger Tabellenname.");
  std::vector<dbase::FieldSpec> fields;
  for (const dialect::ColumnDef& col : st.columns) fields.push_back(DBaseFieldFor(col));
  if (!FindTableFile(st.table).empty()) {
    throw DbError(GermanSqliteMessage("table " + st.table + " already exists"));
  }
  const bool with_extension = st.table.size() > 4 && text::EndsWithIgnoreCase(st.table, ".dbf");
  try {
    dbase::DbfFile::Create(env::JoinPath(DataSource(), st.table + (with_extension ? "" : ".dbf")),
                           flavor_, fields);
  } catch (const dbase::DbaseError& e) {
    throw DbError(e.what());
  }
  // A registration left from a file of that name that another program deleted.
  DetachTable(st.table);
  AttachTable(st.table);
}

}  // namespace platform::db
