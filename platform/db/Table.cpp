// The table object: all rows of a table read at Open or Refresh, walked in
// memory, and changed by single-row statements addressed by rowid (the
// record number of a dBase table). It behaves as the platform's table
// objects do: moving away from a changed row posts it, Edit on an empty
// table appends, and Next on the last row sets Eof and stays there.
#include <cmath>

#include "platform/db/Backend.h"
#include "platform/db/Connection.h"
#include "platform/db/DateText.h"
#include "platform/db/Dialect.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

bool SameValue(const Value& a, const Value& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  if (a.IsText() && b.IsText()) return a.AsString() == b.AsString();
  try {
    return a.AsDouble() == b.AsDouble();
  } catch (const DbError&) {
    return false;
  }
}

}  // namespace

struct Table::Impl {
  enum class Mode { kBrowse, kEdit, kInsert };

  Impl(Connection& c, std::string n) : connection(c), name(std::move(n)) {}

  Connection& connection;
  std::string name;   // as the caller gave it
  std::string table;  // as SQL names it
  std::vector<std::string> columns;
  std::vector<std::string> types;
  std::vector<int64_t> rowids;
  std::vector<std::vector<Value>> rows;
  size_t pos = 0;
  bool eof = true;
  Mode mode = Mode::kBrowse;
  std::vector<Value> buffer;
  std::vector<char> changed;

  int ColumnOf(std::string_view column) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (text::EqualsIgnoreCase(columns[i], column)) return static_cast<int>(i);
    }
    throw DbError("Das Feld " + std::string(column) + " gibt es in der Tabelle " + name +
                  " nicht.");
  }

  std::string SelectSql() const { return "SELECT rowid, * FROM " + dialect::QuoteName(table); }

  void Load() {
    Rows result;
    connection.Engine().RunSql(SelectSql(), {}, &result);
    columns.assign(result.names.begin() + 1, result.names.end());
    types.assign(result.types.begin() + 1, result.types.end());
    rowids.clear();
    rows.clear();
    rowids.reserve(result.rows.size());
    rows.reserve(result.rows.size());
    for (auto& row : result.rows) {
      rowids.push_back(row[0].AsInt64());
      row.erase(row.begin());
      rows.push_back(std::move(row));
    }
  }

  // The row with this rowid as it is now; false when it is gone.
  bool Fetch(int64_t rowid, std::vector<Value>& row) {
    Rows result;
    connection.Engine().RunSql(SelectSql() + " WHERE rowid = ?", {Value(rowid)}, &result);
    if (result.rows.empty()) return false;
    row = std::move(result.rows[0]);
    row.erase(row.begin());
    return true;
  }

  void Post() {
    if (mode == Mode::kBrowse) return;
    std::vector<Value> binds;
    std::string assignments;
    std::string names;
    std::string marks;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!changed[i]) continue;
      const std::string col = dialect::QuoteName(columns[i]);
      if (!binds.empty()) {
        assignments += ", ";
        names += ", ";
        marks += ", ";
      }
      assignments += col + " = ?";
      names += col;
      marks += "?";
      binds.push_back(buffer[i]);
    }
    if (mode == Mode::kEdit) {
      if (!binds.empty()) {
        const int64_t rowid = rowids[pos];
        binds.emplace_back(rowid);
        connection.Engine().RunSql(
            "UPDATE " + dialect::QuoteName(table) + " SET " + assignments + " WHERE rowid = ?",
            binds, nullptr);
        if (!Fetch(rowid, rows[pos])) Forget(pos);
      }
    } else {
      const std::string sql = binds.empty()
                                  ? "INSERT INTO " + dialect::QuoteName(table) + " DEFAULT VALUES"
                                  : "INSERT INTO " + dialect::QuoteName(table) + " (" + names +
                                        ") VALUES (" + marks + ")";
      connection.Engine().RunSql(sql, binds, nullptr);
      const int64_t rowid = connection.Engine().LastInsertRowid();
      std::vector<Value> row;
      if (Fetch(rowid, row)) {
        rows.push_back(std::move(row));
        rowids.push_back(rowid);
        pos = rows.size() - 1;
        eof = false;
      }
    }
    mode = Mode::kBrowse;
  }

  void Forget(size_t at) {
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    rowids.erase(rowids.begin() + static_cast<std::ptrdiff_t>(at));
    if (pos >= rows.size()) pos = rows.empty() ? 0 : rows.size() - 1;
    eof = rows.empty();
  }
};

Table::Table(Connection& connection, std::string table_name)
    : impl_(std::make_unique<Impl>(connection, std::move(table_name))) {}

Table::~Table() = default;

void Table::Open() {
  Impl& t = *impl_;
  t.table = t.name;
  // Rows are addressed by SQLite's rowid, which the platform's own engine
  // has not: over ADO a table object wants a recordset of its own.
  if (t.connection.Engine().NativeDialect()) {
    throw DbError("Die Tabelle " + t.name + " kann in " + t.connection.DataSource() +
                  " nicht als Tabellenobjekt geöffnet werden, nur über SQL-Anweisungen.");
  }
  if (t.connection.IsDBase()) {
    if (t.table.size() > 4 && text::EndsWithIgnoreCase(t.table, ".dbf")) {
      t.table.resize(t.table.size() - 4);
    }
    if (!t.connection.Engine().HasTable(t.table)) {
      throw DbError("Die Tabelle " + t.name + " gibt es in " + t.connection.DataSource() +
                    " nicht.");
    }
  }
  t.Load();
  t.pos = 0;
  t.eof = t.rows.empty();
  t.mode = Impl::Mode::kBrowse;
  open_ = true;
}

void Table::Close() {
  impl_->mode = Impl::Mode::kBrowse;
  impl_->rows.clear();
  impl_->rowids.clear();
  impl_->eof = true;
  open_ = false;
}

static void CheckOpen(bool open) {
  if (!open) throw DbError("Die Tabelle ist nicht geöffnet.");
}

void Table::Refresh() {
  CheckOpen(open_);
  Impl& t = *impl_;
  t.Post();
  const int64_t current = t.rows.empty() ? -1 : t.rowids[t.pos];
  t.Load();
  t.pos = 0;
  for (size_t i = 0; i < t.rowids.size(); ++i) {
    if (t.rowids[i] == current) t.pos = i;
  }
  t.eof = t.rows.empty();
}

void Table::First() {
  CheckOpen(open_);
  impl_->Post();
  impl_->pos = 0;
  impl_->eof = impl_->rows.empty();
}

void Table::Next() {
  CheckOpen(open_);
  Impl& t = *impl_;
  t.Post();
  if (t.pos + 1 < t.rows.size()) {
    ++t.pos;
  } else {
    t.eof = true;
  }
}

bool Table::Eof() const {
  return !open_ || impl_->eof;
}

int64_t Table::RecordCount() const {
  CheckOpen(open_);
  return static_cast<int64_t>(impl_->rows.size());
}

bool Table::Locate(std::string_view column, const Value& value) {
  CheckOpen(open_);
  Impl& t = *impl_;
  t.Post();
  const int col = t.ColumnOf(column);
  for (size_t i = 0; i < t.rows.size(); ++i) {
    if (SameValue(t.rows[i][col], value)) {
      t.pos = i;
      t.eof = false;
      return true;
    }
  }
  return false;
}

Value Table::FieldByName(std::string_view column) const {
  CheckOpen(open_);
  const Impl& t = *impl_;
  const int col = t.ColumnOf(column);
  if (t.mode != Impl::Mode::kBrowse) return t.buffer[col];
  if (t.rows.empty()) return Value();
  return t.rows[t.pos][col];
}

void Table::SetFieldByName(std::string_view column, const Value& value) {
  CheckOpen(open_);
  Impl& t = *impl_;
  if (t.mode == Impl::Mode::kBrowse) {
    throw DbError("Der Datensatz wird weder bearbeitet noch angefügt (Edit oder Append fehlt).");
  }
  const int col = t.ColumnOf(column);
  Value stored = value;
  const std::string& type = t.types[col];
  const bool is_date =
      type.find("DATE") != std::string::npos || type.find("TIME") != std::string::npos;
  if (is_date && (value.IsFloat() || value.IsInteger())) {
    // Date-times travel as numbers in the program and as ISO-8601 text in the tables.
    const std::string iso = FormatIsoDateTime(value.AsDouble());
    if (iso.empty()) {
      throw DbError("Feld " + std::string(column) +
                    ": Das Datum liegt außerhalb des gültigen Bereichs.");
    }
    stored = Value(iso);
  }
  t.buffer[col] = std::move(stored);
  t.changed[col] = 1;
}

void Table::Edit() {
  CheckOpen(open_);
  Impl& t = *impl_;
  if (t.mode != Impl::Mode::kBrowse) return;
  if (t.rows.empty()) {
    Append();
    return;
  }
  t.buffer = t.rows[t.pos];
  t.changed.assign(t.columns.size(), 0);
  t.mode = Impl::Mode::kEdit;
}

void Table::Append() {
  CheckOpen(open_);
  Impl& t = *impl_;
  t.Post();
  t.buffer.assign(t.columns.size(), Value());
  t.changed.assign(t.columns.size(), 0);
  t.mode = Impl::Mode::kInsert;
}

void Table::Post() {
  CheckOpen(open_);
  impl_->Post();
}

void Table::Cancel() {
  impl_->mode = Impl::Mode::kBrowse;
}

void Table::Delete() {
  CheckOpen(open_);
  Impl& t = *impl_;
  t.mode = Impl::Mode::kBrowse;
  if (t.rows.empty()) throw DbError(kNoCurrentRecord);
  t.connection.Engine().RunSql("DELETE FROM " + dialect::QuoteName(t.table) + " WHERE rowid = ?",
                               {Value(t.rowids[t.pos])}, nullptr);
  t.Forget(t.pos);
}

}  // namespace platform::db
