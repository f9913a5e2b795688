// The module is written the way SQLite's own small extensions are (csv.c,
// templatevtab.c): one table object and one cursor object, every slot of the
// module table labelled. Rows are the records of the .dbf, the rowid is the
// record number counted from 1, deleted records are never seen, and
// "delete" only marks them.
//
// Equality constraints are taken over completely (omit = 1), so the index
// keys must compare as SQLite would: text columns byte for byte (the right
// side in Windows-1252), numeric columns by value whatever the right side's
// storage class, dates by their ISO text.
#include "platform/db/DbaseModule.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/db/ColumnIndex.h"
#include "platform/db/DateText.h"
#include "platform/db/Dialect.h"
#include "platform/db/KeyIndexFile.h"
#include "platform/db/SqliteMessages.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

using dbase::Cell;
using dbase::DbaseError;
using dbase::DbfFile;
using dbase::Field;

struct DbfTable : sqlite3_vtab {
  DbaseModuleState* state = nullptr;
  std::string name;
  std::string path;
  std::unique_ptr<DbfFile> file;
  std::vector<ColumnIndex> indexes;  // one per field, built on first use
  std::vector<char> built;
  std::vector<char> from_file;  // read from its index file: answers are checked
  std::vector<char> unsaved;    // differs from its index file
  uint64_t generation = 0;      // of the file's records the indexes were built from
};

// How this module makes keys of values, as its index files say.
constexpr std::string_view kKeyKind = "sql";

struct DbfCursor : sqlite3_vtab_cursor {
  bool holds_read = false;
  bool scan = false;           // every record, or only those in `rows`
  uint32_t pos = 0;            // scan: the current record
  std::vector<uint32_t> rows;  // lookup: the records that match
  size_t row_pos = 0;
  bool eof = true;

  uint32_t Current() const { return scan ? pos : rows[row_pos]; }
};

DbfTable* TableOf(sqlite3_vtab* vt) {
  return static_cast<DbfTable*>(vt);
}
DbfTable* TableOf(sqlite3_vtab_cursor* cur) {
  return static_cast<DbfTable*>(cur->pVtab);
}

constexpr const char* kUnexpected = "Unerwarteter Fehler im dBase-Treiber.";
constexpr const char* kNoMemory = "Der Arbeitsspeicher reicht nicht aus.";

// Notes a message handed to SQLite as the module's own, so that the
// connection passes it on as it is rather than as a message of SQLite's.
void Own(DbaseModuleState* state, const char* msg) noexcept {
  if (state == nullptr) return;
  try {
    state->last_error = msg;
  } catch (...) {
    state->last_error.clear();
  }
}

void SetError(sqlite3_vtab* vt, const char* msg) noexcept {
  sqlite3_free(vt->zErrMsg);
  vt->zErrMsg = sqlite3_mprintf("%s", msg);
  Own(static_cast<DbfTable*>(vt)->state, msg);
}

// Every slot that can throw ends in this: nothing thrown may cross into
// SQLite's C code, which would skip its own clean-up (the statement under
// way, the schema being read, the virtual tables' transaction). Called from
// a catch block; turns what was thrown into the module's answer, with the
// message set. A file that went away or changed its fields is noted for the
// connection to register anew.
int Failed(sqlite3_vtab* vt) noexcept {
  DbfTable* t = TableOf(vt);
  const auto stale = [&] {
    try {
      t->state->stale_tables.push_back(t->name);
    } catch (...) {
      // Not registered anew: the statement fails with its message all the same.
    }
  };
  try {
    throw;
  } catch (const dbase::StructureChanged& e) {
    stale();
    SetError(vt, e.what());
  } catch (const dbase::FileGone& e) {
    stale();
    SetError(vt, e.what());
  } catch (const std::bad_alloc&) {
    SetError(vt, kNoMemory);
    return SQLITE_NOMEM;
  } catch (const std::exception& e) {
    SetError(vt, e.what());
  } catch (...) {
    SetError(vt, kUnexpected);
  }
  return SQLITE_ERROR;
}

// The same for xCreate and xConnect, which have no table to carry the
// message yet.
int ConnectFailed(DbaseModuleState* state, char** err, const std::string* path) noexcept {
  int rc = SQLITE_ERROR;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    *err = path ? sqlite3_mprintf("%s: %s", path->c_str(), kNoMemory)
                : sqlite3_mprintf("%s", kNoMemory);
    rc = SQLITE_NOMEM;
  } catch (const std::exception& e) {
    *err = sqlite3_mprintf("%s", e.what());
  } catch (...) {
    *err = path ? sqlite3_mprintf("%s: %s", path->c_str(), kUnexpected)
                : sqlite3_mprintf("%s", kUnexpected);
  }
  if (*err != nullptr) Own(state, *err);
  return rc;
}

std::string Unquote(const char* arg) {
  const std::string_view s = text::TrimChars(arg, " ");
  if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') {
    std::string out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      out.push_back(s[i]);
      if (s[i] == '\'' && s[i + 1] == '\'') ++i;
    }
    return out;
  }
  return std::string(s);
}

const char* DeclaredType(const Field& f) {
  switch (f.type) {
    case 'N':
      return f.decimals == 0 ? "INTEGER" : "REAL";
    case 'F':
      return "REAL";
    case 'D':
      return "DATE";
    case 'L':
      return "BOOLEAN";
    default:
      return "TEXT";
  }
}

// --- index keys -----------------------------------------------------------

std::string NumberKey(int64_t v) {
  return "i:" + std::to_string(v);
}

std::string NumberKey(double d) {
  // Every whole number an int64 holds gets the key its integer form gets.
  if (d == std::floor(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
    return NumberKey(static_cast<int64_t>(d));
  }
  char buf[40];
  std::snprintf(buf, sizeof(buf), "r:%.17g", d);
  return buf;
}

// A text that reads whole as a number, as SQLite's numeric affinity takes it.
std::optional<std::string> NumberKeyFromText(std::string_view s) {
  s = text::TrimChars(s, " ");
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  int64_t i = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
  if (ec == std::errc() && p == s.data() + s.size()) return NumberKey(i);
  double d = 0;
  auto [q, ec2] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec2 == std::errc() && q == s.data() + s.size() && std::isfinite(d)) return NumberKey(d);
  return std::nullopt;
}

std::string DateKey(const dbase::Date& d) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

// The key of a stored field; nothing for null values and deleted records.
// A text's key is a view into the record; other keys are written into
// `scratch`. Either lasts until the record or `scratch` changes.
ColumnIndex::Key KeyOfRecord(const DbfFile& file, uint32_t rec, int field, std::string& scratch) {
  if (file.IsDeleted(rec)) return std::nullopt;
  const Field& f = file.Fields()[field];
  if (f.type == 'C') return text::TrimRightBlanksAndNul(file.Raw(rec, field));
  const Cell c = file.Read(rec, field);
  switch (c.kind) {
    case Cell::Kind::kInteger:
    case Cell::Kind::kLogical:
      scratch = NumberKey(c.integer);
      return scratch;
    case Cell::Kind::kReal:
      scratch = NumberKey(c.real);
      return scratch;
    case Cell::Kind::kDate:
      scratch = DateKey(c.date);
      return scratch;
    default:
      return std::nullopt;
  }
}

// The key a constraint's right side must have; empty when it can equal no
// stored value.
std::optional<std::string> KeyOfValue(const Field& f, sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL || type == SQLITE_BLOB) return std::nullopt;
  switch (f.type) {
    case 'C': {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
      if (!text) return std::nullopt;
      return text::Utf8ToAnsiStrict(
          std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(v))));
    }
    case 'N':
    case 'F':
    case 'L':
      if (type == SQLITE_INTEGER) return NumberKey(static_cast<int64_t>(sqlite3_value_int64(v)));
      if (type == SQLITE_FLOAT) return NumberKey(sqlite3_value_double(v));
      return NumberKeyFromText(
          std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                           static_cast<size_t>(sqlite3_value_bytes(v))));
    case 'D': {
      if (type != SQLITE_TEXT) return std::nullopt;
      const std::string_view s(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<size_t>(sqlite3_value_bytes(v)));
      int y = 0, m = 0, d = 0;
      if (s.size() != 10 || !ParseIsoDateTime(s) || !DateFromDays(*ParseIsoDateTime(s), y, m, d)) {
        return std::nullopt;
      }
      return DateKey({y, m, d});
    }
    default:
      return std::nullopt;
  }
}

void ResetIndexes(DbfTable* t) {
  const size_t n = t->file->Fields().size();
  t->indexes.assign(n, ColumnIndex());
  t->built.assign(n, 0);
  t->from_file.assign(n, 0);
  t->unsaved.assign(n, 0);
  t->generation = t->file->Generation();
}

key_index::KeyOfRecord KeyFunction(const DbfFile& file, int field) {
  return [&file, field](uint32_t rec) -> std::optional<std::string> {
    std::string scratch;
    const ColumnIndex::Key key = KeyOfRecord(file, rec, field, scratch);
    if (!key) return std::nullopt;
    return std::string(*key);
  };
}

bool Large(const DbfFile& file) {
  return file.RecordCount() >= key_index::MinRecords();
}

void BuildFromRecords(DbfTable* t, int field) {
  const DbfFile& file = *t->file;
  std::string scratch;
  t->indexes[field].Build(file.RecordCount(),
                          [&](uint32_t rec) { return KeyOfRecord(file, rec, field, scratch); });
  t->built[field] = 1;
  t->from_file[field] = 0;
  t->unsaved[field] = Large(file) && !key_index::Save(file, field, kKeyKind,
                                                      KeyFunction(file, field), t->indexes[field]);
}

void SyncIndexes(DbfTable* t);

// Writes the indexes that changed since they were read or written to their
// files, when the table is not locked by another program just now.
void SaveIndexes(DbfTable* t) noexcept {
  // A table opened through an Env that is no longer the current one may
  // outlive it (a test's): it is left alone.
  if (!t->file || &t->file->Environment() != &env::Env::Current() ||
      std::find(t->unsaved.begin(), t->unsaved.end(), 1) == t->unsaved.end()) {
    return;
  }
  try {
    if (!t->file->TryBeginRead()) return;
  } catch (...) {
    return;
  }
  try {
    SyncIndexes(t);
    for (size_t f = 0; f < t->built.size(); ++f) {
      if (!t->built[f] || !t->unsaved[f] || !Large(*t->file)) continue;
      const int field = static_cast<int>(f);
      if (key_index::Save(*t->file, field, kKeyKind, KeyFunction(*t->file, field), t->indexes[f])) {
        t->unsaved[f] = 0;
      }
    }
  } catch (...) {
  }
  t->file->EndRead();
}

void UpdateIndexes(DbfTable* t, uint32_t rec);

// Brings the indexes in line with the records after the file was checked:
// from scratch after a full reload, record by record after another
// program's small change.
void SyncIndexes(DbfTable* t) {
  if (t->generation != t->file->Generation()) {
    ResetIndexes(t);
    t->file->TakeChangedRecords();
    return;
  }
  const std::vector<uint32_t> changed = t->file->TakeChangedRecords();
  try {
    for (uint32_t rec : changed) UpdateIndexes(t, rec);
  } catch (...) {
    ResetIndexes(t);
    throw;
  }
}

ColumnIndex& EnsureIndex(DbfTable* t, int field) {
  ColumnIndex& idx = t->indexes[field];
  if (!t->built[field]) {
    const DbfFile& file = *t->file;
    if (Large(file) && key_index::Load(file, field, kKeyKind, KeyFunction(file, field), idx)) {
      t->built[field] = 1;
      t->from_file[field] = 1;
      t->unsaved[field] = 0;
    } else {
      BuildFromRecords(t, field);
    }
  }
  return idx;
}

// The records the index gives for `key`. An index read from its file is
// checked against the records of each answer (up to a point: a status with
// a long list is checked by its first records); one that lies is dropped
// and built from the records.
std::span<const uint32_t> Lookup(DbfTable* t, int field, const std::string& key) {
  std::span<const uint32_t> list;
  try {
    list = EnsureIndex(t, field).Find(key);
  } catch (const ColumnIndex::Unreadable&) {
    BuildFromRecords(t, field);
    return t->indexes[field].Find(key);
  }
  if (!t->from_file[field]) return list;
  constexpr size_t kChecked = 64;
  std::string scratch;
  for (size_t i = 0; i < list.size() && i < kChecked; ++i) {
    if (KeyOfRecord(*t->file, list[i], field, scratch) != std::string_view(key)) {
      BuildFromRecords(t, field);
      return t->indexes[field].Find(key);
    }
  }
  return list;
}

void UpdateIndexes(DbfTable* t, uint32_t rec) {
  for (size_t f = 0; f < t->built.size(); ++f) {
    if (!t->built[f]) continue;
    std::string scratch;
    try {
      t->indexes[f].Set(rec, KeyOfRecord(*t->file, rec, static_cast<int>(f), scratch));
    } catch (const ColumnIndex::Unreadable&) {
      BuildFromRecords(t, static_cast<int>(f));  // from the records as they now are
    }
    t->unsaved[f] = 1;
  }
}

// Builds every index read from its file anew from the records: one of them
// turned out unreadable in the middle of an answer.
void DropIndexFiles(DbfTable* t) {
  for (size_t f = 0; f < t->built.size(); ++f) {
    if (t->built[f] && t->from_file[f]) BuildFromRecords(t, static_cast<int>(f));
  }
}

// --- values written -------------------------------------------------------

std::string_view TextOf(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

Cell ToCell(const DbfFile& file, uint32_t rec, int field, sqlite3_value* v) {
  const Field& f = file.Fields()[field];
  const int type = sqlite3_value_type(v);
  const dbase::format::Where where{file.Path(), rec, &f};
  const auto mismatch = [&](const std::string& what) -> Cell {
    dbase::format::RefuseValue(f, what, where);
  };
  const auto as_text = [&] { return "Der Text '" + std::string(TextOf(v)) + "'"; };
  if (type == SQLITE_NULL) return Cell::Null();
  if (type == SQLITE_BLOB) return mismatch("Ein binärer Wert");
  switch (f.type) {
    case 'C':
    case 'M':
      return Cell::Text(std::string(TextOf(v)));
    case 'N':
    case 'F': {
      if (type == SQLITE_INTEGER) return Cell::Integer(sqlite3_value_int64(v));
      if (type == SQLITE_FLOAT) return Cell::Real(sqlite3_value_double(v));
      std::string_view s = text::TrimChars(TextOf(v), " ");
      if (!s.empty() && s.front() == '+') s.remove_prefix(1);
      int64_t i = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
      if (!s.empty() && ec == std::errc() && p == s.data() + s.size()) return Cell::Integer(i);
      double d = 0;
      auto [q, ec2] = std::from_chars(s.data(), s.data() + s.size(), d);
      if (!s.empty() && ec2 == std::errc() && q == s.data() + s.size()) return Cell::Real(d);
      return mismatch(as_text());
    }
    case 'D': {
      int y = 0, m = 0, d = 0;
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        if (!DateFromDays(sqlite3_value_double(v), y, m, d)) {
          dbase::format::Throw(where, "Das Datum liegt außerhalb des gültigen Bereichs");
        }
        return Cell::MakeDate({y, m, d});
      }
      const std::string_view s = TextOf(v);
      if (s.find_first_not_of(' ') == std::string_view::npos) return Cell::Null();
      std::optional<double> days = ParseIsoDateTime(s);
      if (!days && s.size() == 8 && s.find_first_not_of("0123456789") == std::string_view::npos) {
        days = DaysFromDate(std::stoi(std::string(s.substr(0, 4))),
                            std::stoi(std::string(s.substr(4, 2))),
                            std::stoi(std::string(s.substr(6, 2))));
      }
      if (!days || !DateFromDays(*days, y, m, d)) return mismatch(as_text());
      return Cell::MakeDate({y, m, d});
    }
    case 'L': {
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        return Cell::Logical(sqlite3_value_double(v) != 0);
      const std::string s = text::ToLowerAscii(TextOf(v));
      if (s.empty()) return Cell::Null();
      if (s == "t" || s == "y" || s == "true" || s == "wahr" || s == "1" || s == "-1")
        return Cell::Logical(true);
      if (s == "f" || s == "n" || s == "false" || s == "falsch" || s == "0")
        return Cell::Logical(false);
      return mismatch(as_text());
    }
    default:
      return mismatch("Dieser Wert");
  }
}

uint32_t RecordOfRowid(const DbfFile& file, sqlite3_int64 rowid) {
  if (rowid < 1 || rowid > static_cast<sqlite3_int64>(file.RecordCount()) ||
      file.IsDeleted(static_cast<uint32_t>(rowid - 1))) {
    dbase::format::Throw({file.Path(), rowid - 1}, dbase::format::kNoSuchRecord);
  }
  return static_cast<uint32_t>(rowid - 1);
}

// --- module slots -----------------------------------------------------------

// xCreate and xConnect: argv[3] is the path of the .dbf as an SQL text.
int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
            char** err) noexcept {
  if (argc < 4) {
    *err = sqlite3_mprintf("Der dBase-Treiber braucht den Pfad der .dbf-Datei.");
    Own(static_cast<DbaseModuleState*>(aux), *err);
    return SQLITE_ERROR;
  }
  std::unique_ptr<DbfTable> table;
  try {
    table = std::make_unique<DbfTable>();
    std::memset(static_cast<sqlite3_vtab*>(table.get()), 0, sizeof(sqlite3_vtab));
    table->state = static_cast<DbaseModuleState*>(aux);
    table->name = argv[2];
    table->path = Unquote(argv[3]);
    table->file = DbfFile::Open(table->path, true);
    std::string schema = "CREATE TABLE x(";
    const auto& fields = table->file->Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) schema += ", ";
      schema += dialect::QuoteName(fields[i].name) + " " + DeclaredType(fields[i]);
    }
    schema += ")";
    const int rc = sqlite3_declare_vtab(db, schema.c_str());
    if (rc != SQLITE_OK) {
      *err = sqlite3_mprintf("%s: %s", table->path.c_str(),
                             GermanSqliteMessage(sqlite3_errmsg(db)).c_str());
      Own(table->state, *err);
      return rc;
    }
    SyncIndexes(table.get());
  } catch (...) {
    return ConnectFailed(static_cast<DbaseModuleState*>(aux), err,
                         table && !table->path.empty() ? &table->path : nullptr);
  }
  *out = table.release();
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vt) noexcept {
  SaveIndexes(TableOf(vt));
  delete TableOf(vt);
  return SQLITE_OK;
}

// xDestroy: "drop table" deletes the files, unless the connection only
// forgets a table whose file went away or changed. (The connection deletes
// the files itself before it drops a table: SQLite does not pass this
// slot's message on.)
int Destroy(sqlite3_vtab* vt) noexcept {
  DbfTable* t = TableOf(vt);
  if (!t->state->detaching) {
    // The files go first: when they cannot, the table stays whole and usable.
    try {
      DbfFile::Remove(t->path);
    } catch (...) {
      return Failed(vt);
    }
    t->file.reset();
    key_index::RemoveFor(env::Env::Current(), t->path);
  }
  delete t;
  return SQLITE_OK;
}

int BestIndexOf(sqlite3_vtab* vt, sqlite3_index_info* info) {
  DbfTable* t = TableOf(vt);
  const auto& fields = t->file->Fields();
  int used = 0;
  bool by_rowid = false;
  std::string columns;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (c.iColumn >= 0 && fields[c.iColumn].type == 'M') continue;
    const char* collation = sqlite3_vtab_collation(info, i);
    if (c.iColumn >= 0 && collation && sqlite3_stricmp(collation, "BINARY") != 0) continue;
    info->aConstraintUsage[i].argvIndex = ++used;
    info->aConstraintUsage[i].omit = 1;
    columns += std::to_string(c.iColumn) + ",";
    by_rowid = by_rowid || c.iColumn < 0;
  }
  const double rows = std::max<double>(1, t->file->RecordCount());
  if (used > 0) {
    info->idxNum = used;
    info->idxStr = sqlite3_mprintf("%s", columns.c_str());
    info->needToFreeIdxStr = 1;
    info->estimatedCost = by_rowid ? 1 : 10.0 / used;
    info->estimatedRows = by_rowid ? 1 : 10;
  } else {
    info->idxNum = 0;
    info->estimatedCost = 1000 + rows;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
  }
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vt, sqlite3_index_info* info) noexcept {
  try {
    return BestIndexOf(vt, info);
  } catch (...) {
    return Failed(vt);
  }
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) noexcept {
  auto* cur = new (std::nothrow) DbfCursor();
  if (!cur) return SQLITE_NOMEM;
  *out = cur;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* c) noexcept {
  auto* cur = static_cast<DbfCursor*>(c);
  int rc = SQLITE_OK;
  if (cur->holds_read) {
    try {
      TableOf(c)->file->EndRead();
    } catch (...) {
      rc = Failed(c->pVtab);
    }
  }
  delete cur;
  return rc;
}

void SkipDeleted(DbfCursor* cur, const DbfFile& file) {
  while (cur->pos < file.RecordCount() && file.IsDeleted(cur->pos)) ++cur->pos;
  cur->eof = cur->pos >= file.RecordCount();
}

struct Condition {
  int field;
  std::string key;
};

// The records that meet every condition, found through the indexes.
void MatchByIndexes(DbfTable* t, const std::vector<Condition>& conditions,
                    std::vector<uint32_t>& rows) {
  // Every index is built and checked first: building one anew later
  // would drop a list in hand.
  for (const Condition& cond : conditions) {
    if (Lookup(t, cond.field, cond.key).empty()) return;
  }
  // The shortest list is taken (a copy: a later lookup in the same index
  // may reuse the memory of its answer).
  std::vector<uint32_t> best;
  size_t best_at = 0;
  for (size_t k = 0; k < conditions.size(); ++k) {
    const std::span<const uint32_t> list = t->indexes[conditions[k].field].Find(conditions[k].key);
    if (list.empty()) return;
    if (k == 0 || list.size() < best.size()) {
      best.assign(list.begin(), list.end());
      best_at = k;
    }
  }
  // The other conditions are checked against their own indexes.
  std::vector<std::pair<ColumnIndex*, uint32_t>> others;
  for (size_t k = 0; k < conditions.size(); ++k) {
    if (k == best_at) continue;
    ColumnIndex& idx = t->indexes[conditions[k].field];
    others.emplace_back(&idx, idx.IdOf(conditions[k].key));
  }
  rows.reserve(best.size());
  for (uint32_t rec : best) {
    bool match = true;
    for (const auto& [idx, id] : others) {
      if (idx->KeyOf(rec) != id) {
        match = false;
        break;
      }
    }
    if (match) rows.push_back(rec);
  }
}

int Filter(sqlite3_vtab_cursor* c, int idx_num, const char* idx_str, int argc,
           sqlite3_value** argv) noexcept {
  auto* cur = static_cast<DbfCursor*>(c);
  DbfTable* t = TableOf(c);
  try {
    if (!cur->holds_read) {
      t->file->BeginRead();
      cur->holds_read = true;
    }
    SyncIndexes(t);
    DbfFile& file = *t->file;
    cur->rows.clear();
    cur->row_pos = 0;
    cur->eof = true;
    if (idx_num == 0) {
      cur->scan = true;
      cur->pos = 0;
      SkipDeleted(cur, file);
      return SQLITE_OK;
    }
    cur->scan = false;
    std::vector<Condition> conditions;
    std::optional<uint32_t> by_rowid;
    const char* p = idx_str;
    for (int k = 0; k < argc; ++k) {
      const int field = std::atoi(p);
      p = std::strchr(p, ',') + 1;
      if (field < 0) {
        if (sqlite3_value_numeric_type(argv[k]) == SQLITE_NULL) return SQLITE_OK;
        const double d = sqlite3_value_double(argv[k]);
        if (d != std::floor(d) || d < 1 || d > file.RecordCount()) return SQLITE_OK;
        const auto rec = static_cast<uint32_t>(d - 1);
        if (by_rowid && *by_rowid != rec) return SQLITE_OK;
        by_rowid = rec;
        continue;
      }
      auto key = KeyOfValue(file.Fields()[field], argv[k]);
      if (!key) return SQLITE_OK;
      conditions.push_back({field, std::move(*key)});
    }
    if (by_rowid) {
      if (file.IsDeleted(*by_rowid)) return SQLITE_OK;
      std::string scratch;
      for (const Condition& cond : conditions) {
        if (KeyOfRecord(file, *by_rowid, cond.field, scratch) != std::string_view(cond.key)) {
          return SQLITE_OK;
        }
      }
      cur->rows.push_back(*by_rowid);
    } else {
      for (int attempt = 0;; ++attempt) {
        try {
          MatchByIndexes(t, conditions, cur->rows);
          break;
        } catch (const ColumnIndex::Unreadable&) {
          if (attempt > 0) throw;
          cur->rows.clear();
          DropIndexFiles(t);
        }
      }
    }
    cur->eof = cur->rows.empty();
    return SQLITE_OK;
  } catch (...) {
    return Failed(t);
  }
}

int Next(sqlite3_vtab_cursor* c) noexcept {
  auto* cur = static_cast<DbfCursor*>(c);
  if (cur->scan) {
    ++cur->pos;
    // The next records may be read from disk only now, and be bad.
    try {
      SkipDeleted(cur, *TableOf(c)->file);
    } catch (...) {
      return Failed(TableOf(c));
    }
  } else {
    ++cur->row_pos;
    cur->eof = cur->row_pos >= cur->rows.size();
  }
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* c) noexcept {
  return static_cast<DbfCursor*>(c)->eof ? 1 : 0;
}

int Column(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int field) noexcept {
  // An update that leaves the field alone needs no value (and keeps memos
  // where they are).
  if (sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
  auto* cur = static_cast<DbfCursor*>(c);
  try {
    const Cell cell = TableOf(c)->file->Read(cur->Current(), field);
    switch (cell.kind) {
      case Cell::Kind::kNull:
        sqlite3_result_null(ctx);
        break;
      case Cell::Kind::kInteger:
      case Cell::Kind::kLogical:
        sqlite3_result_int64(ctx, cell.integer);
        break;
      case Cell::Kind::kReal:
        sqlite3_result_double(ctx, cell.real);
        break;
      case Cell::Kind::kText:
        sqlite3_result_text(ctx, cell.text.data(), static_cast<int>(cell.text.size()),
                            SQLITE_TRANSIENT);
        break;
      case Cell::Kind::kDate: {
        char buf[16];
        std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d", cell.date.year, cell.date.month,
                      cell.date.day);
        sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
    Own(TableOf(c)->state, e.what());
  } catch (...) {
    sqlite3_result_error(ctx, kUnexpected, -1);
    Own(TableOf(c)->state, kUnexpected);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) noexcept {
  *rowid = static_cast<sqlite3_int64>(static_cast<DbfCursor*>(c)->Current()) + 1;
  return SQLITE_OK;
}

int Update(sqlite3_vtab* vt, int argc, sqlite3_value** argv, sqlite3_int64* rowid) noexcept {
  DbfTable* t = TableOf(vt);
  try {
    DbfFile& file = *t->file;
    file.BeginWrite();
    SyncIndexes(t);
    const int fields = static_cast<int>(file.Fields().size());
    if (argc == 1) {
      const uint32_t rec = RecordOfRowid(file, sqlite3_value_int64(argv[0]));
      file.Delete(rec);
      UpdateIndexes(t, rec);
      return SQLITE_OK;
    }
    if (argc != fields + 2) {
      SetError(vt,
               (t->path + ": Die Zahl der Werte passt nicht zu den Feldern der Tabelle.").c_str());
      return SQLITE_ERROR;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
      if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
        SetError(
            vt, (t->path + ": Datensatznummern vergibt die Tabelle, nicht die Anweisung.").c_str());
        return SQLITE_ERROR;
      }
      const uint32_t rec = file.Append();
      for (int i = 0; i < fields; ++i) file.Write(rec, i, ToCell(file, rec, i, argv[2 + i]));
      UpdateIndexes(t, rec);
      *rowid = static_cast<sqlite3_int64>(rec) + 1;
      return SQLITE_OK;
    }
    if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1])) {
      SetError(vt,
               (t->path + ": Die Nummer eines Datensatzes kann nicht geändert werden.").c_str());
      return SQLITE_ERROR;
    }
    const uint32_t rec = RecordOfRowid(file, sqlite3_value_int64(argv[0]));
    for (int i = 0; i < fields; ++i) {
      if (sqlite3_value_nochange(argv[2 + i])) continue;
      file.Write(rec, i, ToCell(file, rec, i, argv[2 + i]));
    }
    UpdateIndexes(t, rec);
    return SQLITE_OK;
  } catch (...) {
    return Failed(vt);
  }
}

int Begin(sqlite3_vtab* vt) noexcept {
  DbfTable* t = TableOf(vt);
  try {
    t->file->BeginWrite();
    SyncIndexes(t);
    return SQLITE_OK;
  } catch (...) {
    return Failed(vt);
  }
}

// The changes are written in xSync, where a failure can still stop the
// statement; xCommit finds nothing left to do.
int Sync(sqlite3_vtab* vt) noexcept {
  try {
    TableOf(vt)->file->Commit();
    return SQLITE_OK;
  } catch (...) {
    return Failed(vt);
  }
}

int Commit(sqlite3_vtab* vt) noexcept {
  return Sync(vt);
}

int Rollback(sqlite3_vtab* vt) noexcept {
  try {
    TableOf(vt)->file->Rollback();
    return SQLITE_OK;
  } catch (...) {
    return Failed(vt);
  }
}

const sqlite3_module kModule = {
    /* iVersion    */ 1,
    /* xCreate     */ Connect,
    /* xConnect    */ Connect,
    /* xBestIndex  */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy    */ Destroy,
    /* xOpen       */ Open,
    /* xClose      */ Close,
    /* xFilter     */ Filter,
    /* xNext       */ Next,
    /* xEof        */ Eof,
    /* xColumn     */ Column,
    /* xRowid      */ Rowid,
    /* xUpdate     */ Update,
    /* xBegin      */ Begin,
    /* xSync       */ Sync,
    /* xCommit     */ Commit,
    /* xRollback   */ Rollback,
    /* xFindMethod */ nullptr,
    /* xRename     */ nullptr,
    /* xSavepoint  */ nullptr,
    /* xRelease    */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
#if SQLITE_VERSION_NUMBER >= 3044000
    /* xIntegrity  */ nullptr,
#endif
};

}  // namespace

void RegisterDbaseModule(sqlite3* db, DbaseModuleState* state) {
  sqlite3_create_module_v2(db, "vdbase", &kModule, state, nullptr);
}

std::string AttachTableSql(const std::string& name, const std::string& path) {
  std::string quoted = "'";
  for (char c : path) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return "CREATE VIRTUAL TABLE " + dialect::QuoteName(name) + " USING vdbase(" + quoted + "')";
}

}  // namespace platform::db
