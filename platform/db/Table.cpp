// The table object: all rows of a table read at Open or Refresh, walked in
// memory, and changed by single-row statements addressed by rowid (the
// record number of a dBase table), or, on an engine that has none (Jet), by
// the values the row was read with. It behaves as the platform's table
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
  bool by_rowid = true;
  std::vector<std::string> columns;
  std::vector<std::string> types;
  std::vector<int64_t> rowids;  // by_rowid only
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

  std::string Quote(std::string_view n) const { return connection.Engine().QuoteName(n); }

  std::string SelectSql() const {
    return (by_rowid ? "SELECT rowid, * FROM " : "SELECT * FROM ") + Quote(table);
  }

  void Load() {
    Rows result;
    connection.Engine().RunSql(SelectSql(), {}, &result);
    const std::ptrdiff_t skip = by_rowid ? 1 : 0;
    columns.assign(result.names.begin() + skip, result.names.end());
    types.assign(result.types.begin() + skip, result.types.end());
    rowids.clear();
    rows.clear();
    rowids.reserve(by_rowid ? result.rows.size() : 0);
    rows.reserve(result.rows.size());
    for (auto& row : result.rows) {
      if (by_rowid) {
        rowids.push_back(row[0].AsInt64());
        row.erase(row.begin());
      }
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

  // --- Rows addressed by their values, on an engine without rowid --------
  //
  // As the platform's own optimistic updates do: the row is the one whose
  // fields still hold what was read. Long texts and binaries are left out,
  // as ADO's own criteria leave them: not every engine compares them whole.

  bool Comparable(size_t col) const {
    const std::string& type = types[col];
    for (const char* word : {"BLOB", "BINARY", "LONG", "MEMO", "IMAGE", "OLE"}) {
      if (type.find(word) != std::string::npos) return false;
    }
    return true;
  }

  // " WHERE [a] = ? AND [b] IS NULL ..." over the comparable columns (those
  // of `only` where given), their values appended to `binds`; empty when no
  // column can be compared.
  std::string Where(const std::vector<Value>& row, const std::vector<char>* only,
                    std::vector<Value>& binds) const {
    std::string where;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!Comparable(i) || (only && !(*only)[i])) continue;
      where += where.empty() ? " WHERE " : " AND ";
      if (row[i].IsNull()) {
        where += Quote(columns[i]) + " IS NULL";
      } else {
        where += Quote(columns[i]) + " = ?";
        binds.push_back(row[i]);
      }
    }
    return where;
  }

  Rows Matching(const std::string& where, const std::vector<Value>& binds) {
    Rows result;
    connection.Engine().RunSql(SelectSql() + where, binds, &result);
    return result;
  }

  // Counted before the change is made, so that a statement that would
  // change two equal rows, or none, never runs. The engines' counts of rows
  // changed do not come back through RunSql; another program that changes
  // the row between the count and the change is not seen.
  void ExpectOne(const std::string& where, const std::vector<Value>& binds) {
    Rows result;
    connection.Engine().RunSql("SELECT COUNT(*) FROM " + Quote(table) + where, binds, &result);
    const int64_t count = result.rows.empty() ? 0 : result.rows[0][0].AsInt64();
    if (count == 1) return;
    // What is in memory is out of date: read it again, the change dropped.
    mode = Mode::kBrowse;
    Load();
    if (pos >= rows.size()) pos = rows.empty() ? 0 : rows.size() - 1;
    eof = rows.empty();
    if (count == 0) {
      throw DbError("Der Datensatz der Tabelle " + name +
                    " wurde inzwischen geändert oder gelöscht. Die Tabelle wurde neu gelesen.");
    }
    throw DbError("Der Datensatz der Tabelle " + name +
                  " ist nicht eindeutig: " + std::to_string(count) +
                  " Datensätze haben dieselben Werte. Er wird weder geändert noch gelöscht.");
  }

  // The row as the engine holds it after a change that wrote `row`: read
  // back by these values when they find it alone, else kept as written.
  std::vector<Value> ReadBack(std::vector<Value> row, const std::vector<char>* only) {
    std::vector<Value> binds;
    const std::string where = Where(row, only, binds);
    Rows found = Matching(where, binds);
    if (found.rows.size() == 1) return std::move(found.rows[0]);
    return row;
  }

  void Post() {
    if (mode == Mode::kBrowse) return;
    std::vector<Value> binds;
    std::string assignments;
    std::string names;
    std::string marks;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!changed[i]) continue;
      const std::string col = Quote(columns[i]);
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
      if (binds.empty()) {
        // Nothing set: nothing to write.
      } else if (by_rowid) {
        const int64_t rowid = rowids[pos];
        binds.emplace_back(rowid);
        connection.Engine().RunSql(
            "UPDATE " + Quote(table) + " SET " + assignments + " WHERE rowid = ?", binds, nullptr);
        if (!Fetch(rowid, rows[pos])) Forget(pos);
      } else {
        std::vector<Value> criteria;
        const std::string where = Where(rows[pos], nullptr, criteria);
        ExpectOne(where, criteria);
        binds.insert(binds.end(), criteria.begin(), criteria.end());
        connection.Engine().RunSql("UPDATE " + Quote(table) + " SET " + assignments + where, binds,
                                   nullptr);
        rows[pos] = ReadBack(buffer, nullptr);
      }
    } else if (by_rowid) {
      const std::string sql =
          binds.empty() ? "INSERT INTO " + Quote(table) + " DEFAULT VALUES"
                        : "INSERT INTO " + Quote(table) + " (" + names + ") VALUES (" + marks + ")";
      connection.Engine().RunSql(sql, binds, nullptr);
      const int64_t rowid = connection.Engine().LastInsertRowid();
      std::vector<Value> row;
      if (Fetch(rowid, row)) {
        rows.push_back(std::move(row));
        rowids.push_back(rowid);
        pos = rows.size() - 1;
        eof = false;
      }
    } else {
      // Not every engine has DEFAULT VALUES; a null in the first column
      // asks for the same row.
      if (binds.empty() && !columns.empty()) {
        names = Quote(columns[0]);
        marks = "?";
        binds.emplace_back();
        changed[0] = 1;
      }
      connection.Engine().RunSql(
          "INSERT INTO " + Quote(table) + " (" + names + ") VALUES (" + marks + ")", binds,
          nullptr);
      rows.push_back(ReadBack(buffer, &changed));
      pos = rows.size() - 1;
      eof = false;
    }
    mode = Mode::kBrowse;
  }

  void Forget(size_t at) {
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    if (by_rowid) rowids.erase(rowids.begin() + static_cast<std::ptrdiff_t>(at));
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
  t.by_rowid = t.connection.Engine().HasRowid();
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
  if (t.by_rowid) {
    const int64_t current = t.rows.empty() ? -1 : t.rowids[t.pos];
    t.Load();
    t.pos = 0;
    for (size_t i = 0; i < t.rowids.size(); ++i) {
      if (t.rowids[i] == current) t.pos = i;
    }
  } else {
    // The first row with the values of the current one, which is it or
    // one no different from it.
    const std::vector<Value> current = t.rows.empty() ? std::vector<Value>() : t.rows[t.pos];
    t.Load();
    t.pos = 0;
    for (size_t i = 0; i < t.rows.size(); ++i) {
      if (t.rows[i] == current) {
        t.pos = i;
        break;
      }
    }
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
  if (t.by_rowid) {
    t.connection.Engine().RunSql("DELETE FROM " + t.Quote(t.table) + " WHERE rowid = ?",
                                 {Value(t.rowids[t.pos])}, nullptr);
  } else {
    std::vector<Value> criteria;
    const std::string where = t.Where(t.rows[t.pos], nullptr, criteria);
    t.ExpectOne(where, criteria);
    t.connection.Engine().RunSql("DELETE FROM " + t.Quote(t.table) + where, criteria, nullptr);
  }
  t.Forget(t.pos);
}

}  // namespace platform::db
