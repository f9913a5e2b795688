// The host's attribute tables, their cursors over the rows of the data
// object and the saving of edits (see TableCursors.h).
#include "hostsim/TableCursors.h"

#include <algorithm>
#include <cstring>

#include "hostsim/PluginHost.h"
#include "hostsim/Sqlite.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace hostsim {
namespace {

using Type = FieldDef::Type;

// The view the tables are shown in, as table-posted names it.
constexpr const char* kViewName = "Daten";

const std::vector<TableDef>& Defs() {
  static const std::vector<TableDef> defs = {
      {"linfos",
       "KARTULID",
       true,
       {{"KARTULID", Type::kInteger, 0},
        {"KENNUNG", Type::kText, 50},
        {"NAME", Type::kText, 80},
        {"BEMERKUNG", Type::kText, 255},
        {"GESCHUETZT", Type::kBoolean, 0},
        {"UTM_East", Type::kText, 20},
        {"UTM_North", Type::kText, 20},
        {"GK_RW", Type::kText, 20},
        {"FLAECHE", Type::kText, 30}}},
      {"Objektphotos",
       "PKEY",
       false,
       {{"PKEY", Type::kInteger, 0},
        {"KARTULID", Type::kInteger, 0},
        {"PhotoID", Type::kInteger, 0},
        {"Hauptphoto", Type::kBoolean, 0},
        {"Bemerkung", Type::kText, 255}}},
      {"Pflanzenliste",
       "PKEY",
       false,
       {{"PKEY", Type::kInteger, 0},
        {"KARTULID", Type::kInteger, 0},
        {"Art", Type::kText, 100},
        {"Menge", Type::kText, 20},
        {"Status", Type::kText, 5}}},
  };
  return defs;
}

const FieldDef* FindField(const TableDef& t, const std::string& name) {
  for (const auto& f : t.fields)
    if (f.name == name) return &f;
  return nullptr;
}

bool ReadOnly(const TableDef& t, const FieldDef& f) {
  return f.name == t.key || f.name == "KARTULID" || (t.one_row_per_object && f.name == "KENNUNG");
}

// The text a field takes for an entered text; nullopt for null. Throws
// when the text does not fit the field's type.
std::optional<std::string> Normalize(const FieldDef& f, const std::string& text) {
  switch (f.type) {
    case Type::kText:
      return std::string(platform::text::Utf8Prefix(text, static_cast<size_t>(f.width)));
    case Type::kInteger: {
      std::string t(platform::text::TrimChars(text, " "));
      if (t.empty()) return std::nullopt;
      try {
        size_t used = 0;
        long long v = std::stoll(t, &used);
        if (used == t.size()) return std::to_string(v);
      } catch (...) {
      }
      throw HostError("\"" + text + "\" is no whole number for " + f.name);
    }
    case Type::kBoolean: {
      if (platform::text::TrimChars(text, " ").empty()) return std::nullopt;
      auto b = ParseBool(text);
      if (!b) throw HostError("\"" + text + "\" is no truth value for " + f.name);
      return *b ? kTrueText : kFalseText;
    }
  }
  throw HostError("unknown field type");
}

std::optional<std::string> ColumnText(SqliteStmt& s, int col, const FieldDef& f) {
  if (s.IsNull(col)) return std::nullopt;
  switch (f.type) {
    case Type::kInteger:
      return std::to_string(s.Int(col));
    case Type::kBoolean:
      return s.Int(col) != 0 ? kTrueText : kFalseText;
    case Type::kText:
      return s.Text(col);
  }
  return std::nullopt;
}

void BindField(SqliteStmt& s, int pos, const FieldDef& f, const std::optional<std::string>& v) {
  if (!v) {
    s.BindNull(pos);
  } else if (f.type == Type::kInteger) {
    s.Bind(pos, static_cast<int64_t>(std::stoll(*v)));
  } else if (f.type == Type::kBoolean) {
    s.Bind(pos, static_cast<int64_t>(ParseBool(*v).value_or(false) ? 1 : 0));
  } else {
    s.Bind(pos, *v);
  }
}

std::string SqlType(const FieldDef& f) {
  return f.type == Type::kText ? "TEXT" : "INTEGER";
}

// A text argument of a hook, in the encoding the loaded build takes, with a
// buffer behind it that lives as long as this object.
class HookText {
 public:
  HookText(bool utf16, const std::string& utf8, size_t capacity = 0) : utf16_(utf16) {
    if (utf16) {
      wide_ = platform::text::Utf8ToUtf16(utf8);
      if (capacity) wide_ = wide_.substr(0, capacity - 1);
      wide_.resize(std::max(capacity, wide_.size() + 1), u'\0');
    } else {
      narrow_ = platform::text::Utf8ToAnsi(utf8);
      if (capacity) narrow_ = narrow_.substr(0, capacity - 1);
      narrow_.resize(std::max(capacity, narrow_.size() + 1), '\0');
    }
  }
  intptr_t Pointer() {
    return utf16_ ? reinterpret_cast<intptr_t>(wide_.data())
                  : reinterpret_cast<intptr_t>(narrow_.data());
  }
  // The text up to the first terminator within the buffer.
  std::string Read() const {
    if (utf16_) {
      size_t n = std::find(wide_.begin(), wide_.end(), u'\0') - wide_.begin();
      return platform::text::Utf16ToUtf8(std::u16string_view(wide_.data(), n));
    }
    return platform::text::AnsiToUtf8(
        std::string_view(narrow_.data(), strnlen(narrow_.data(), narrow_.size())));
  }

 private:
  bool utf16_;
  std::u16string wide_;
  std::string narrow_;
};

constexpr size_t kValueBufferChars = 256;

}  // namespace

std::optional<bool> ParseBool(std::string_view text) {
  std::string t(platform::text::Trim(text));
  if (t == "-1") return true;
  if (t.empty()) return std::nullopt;
  switch (t[0]) {
    case 'T':
    case 't':
    case 'W':
    case 'w':
    case 'J':
    case 'j':
    case 'Y':
    case 'y':
    case '1':
      return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
    case '0':
      return false;
    default:
      return std::nullopt;
  }
}

const std::vector<TableDef>& HostTables() {
  return Defs();
}

const TableDef* FindTable(std::string_view name) {
  for (const auto& t : Defs())
    if (t.name == name) return &t;
  return nullptr;
}

void TableCursors::CreateSchema(SqliteDb& db) {
  for (const TableDef& def : Defs()) {
    std::string sql = "CREATE TABLE IF NOT EXISTS " + def.name + " (";
    for (size_t i = 0; i < def.fields.size(); ++i) {
      const FieldDef& f = def.fields[i];
      if (i) sql += ", ";
      sql += f.name + " " + SqlType(f);
      if (f.name == def.key)
        sql += def.one_row_per_object ? " PRIMARY KEY" : " PRIMARY KEY AUTOINCREMENT";
    }
    db.Exec(sql + ")");
    if (!def.one_row_per_object)
      db.Exec("CREATE INDEX IF NOT EXISTS " + def.name + "_KARTULID ON " + def.name +
              " (KARTULID)");
  }
}

// ---- Kept in step by the project ----------------------------------------------

void TableCursors::Open(SqliteDb& db) {
  db_ = &db;
  data_object_ = 0;
  cursors_.clear();
}

void TableCursors::Close() {
  db_ = nullptr;
  data_object_ = 0;
  cursors_.clear();
}

void TableCursors::ShowRowsOf(int32_t id) {
  if (data_object_ == id) return;
  PostAll();
  data_object_ = id;
  cursors_.clear();
}

void TableCursors::ForgetObject(int32_t gone, int32_t next) {
  if (data_object_ != gone) return;
  data_object_ = next;
  cursors_.clear();
}

void TableCursors::Reload() {
  cursors_.clear();
}

void TableCursors::InsertObjectRows(int32_t id, const std::string& kennung) {
  SqliteStmt s(*db_, "INSERT INTO linfos (KARTULID, KENNUNG) VALUES (?1, ?2)");
  s.Bind(1, id).Bind(2, kennung).Run();
}

void TableCursors::DeleteObjectRows(int32_t id) {
  for (const auto& t : Defs()) {
    SqliteStmt s(*db_, "DELETE FROM " + t.name + " WHERE KARTULID=?1");
    s.Bind(1, id).Run();
  }
}

void TableCursors::RenameObjectRows(int32_t id, const std::string& kennung) {
  SqliteStmt s(*db_, "UPDATE linfos SET KENNUNG=?1 WHERE KARTULID=?2");
  s.Bind(1, kennung).Bind(2, id).Run();
}

void TableCursors::ShowRenamed(int32_t id, const std::string& kennung) {
  // The linfos row shown may carry the old identifier in its buffer.
  auto c = cursors_.find("linfos");
  if (c != cursors_.end() && data_object_ == id && c->second.buffer.count("KENNUNG"))
    c->second.buffer["KENNUNG"] = kennung;
}

// ---- Cursors --------------------------------------------------------------------

const TableDef* TableCursors::Find(std::string_view name) const {
  return db_ ? FindTable(name) : nullptr;
}

const TableDef& TableCursors::Table(std::string_view name) const {
  if (!db_) throw HostError("no project is open");
  const TableDef* t = FindTable(name);
  if (!t) throw HostError("no table " + std::string(name));
  return *t;
}

TableCursors::Cursor& TableCursors::CursorOf(const TableDef& table) const {
  auto [it, inserted] = cursors_.try_emplace(table.name);
  Cursor& c = it->second;
  if (inserted) {
    LoadKeys(table, c);
    c.index = c.keys.empty() ? -1 : 0;
    c.eof = c.keys.empty();
    LoadBuffer(table, c);
  }
  return c;
}

void TableCursors::LoadKeys(const TableDef& table, Cursor& c) const {
  c.keys.clear();
  if (data_object_ <= 0 || !db_) return;
  SqliteStmt s(*db_, "SELECT " + table.key + " FROM " + table.name +
                         " WHERE KARTULID=?1 ORDER BY " + table.key);
  s.Bind(1, data_object_);
  while (s.Step()) c.keys.push_back(s.Int(0));
}

void TableCursors::LoadBuffer(const TableDef& table, Cursor& c) const {
  c.buffer.clear();
  c.modified = false;
  c.is_new = false;
  if (c.index < 0 || static_cast<size_t>(c.index) >= c.keys.size()) return;
  SqliteStmt s(*db_, "SELECT * FROM " + table.name + " WHERE " + table.key + "=?1");
  s.Bind(1, c.keys[static_cast<size_t>(c.index)]);
  if (!s.Step()) return;  // gone under us; the row reads as empty
  for (int i = 0; i < s.ColumnCount(); ++i) {
    const FieldDef* f = FindField(table, s.ColumnName(i));
    if (f) c.buffer[f->name] = ColumnText(s, i, *f);
  }
}

void TableCursors::Reread(const TableDef& table, Cursor& c, int64_t key) const {
  LoadKeys(table, c);
  auto pos = std::find(c.keys.begin(), c.keys.end(), key);
  c.index =
      pos == c.keys.end() ? (c.keys.empty() ? -1 : 0) : static_cast<int>(pos - c.keys.begin());
  c.eof = c.keys.empty();
  LoadBuffer(table, c);
}

void TableCursors::FirePosted(const TableDef& table, uint16_t code) {
  HookText view(plugin_.Utf16(), kViewName);
  HookText name(plugin_.Utf16(), table.name);
  plugin_.Fire(
      HookEvent::kTablePosted, view.Pointer(), name.Pointer(), code,
      std::string("\"") + kViewName + "\", \"" + table.name + "\", " + std::to_string(code));
}

// ---- Rows of the data object ----------------------------------------------------

std::optional<std::string> TableCursors::Checked(const TableDef& table, const std::string& field,
                                                 const std::string& text) const {
  const FieldDef* f = FindField(table, field);
  if (!f) throw HostError("table " + table.name + " has no field " + field);
  if (!CursorOf(table).HasRow()) throw HostError("table " + table.name + " has no current row");
  if (ReadOnly(table, *f))
    throw HostError("the field " + field + " of " + table.name + " cannot be changed");
  return Normalize(*f, text);
}

void TableCursors::SetField(const TableDef& table, const std::string& field,
                            const std::string& text) {
  std::optional<std::string> value = Checked(table, field, text);
  Cursor& c = CursorOf(table);
  c.buffer[field] = value;
  c.modified = true;
}

bool TableCursors::Enter(const TableDef& table, const std::string& field, const std::string& text) {
  Checked(table, field, text);
  std::optional<HookEvent> event;
  if (table.name == "Objektphotos" && field == "Hauptphoto") event = HookEvent::kHauptphotoEntered;
  if (table.name == "Pflanzenliste") event = HookEvent::kPflanzenlisteEntered;
  std::string value = text;
  if (event && plugin_.Binds(*event)) {
    HookText entered(plugin_.Utf16(), text);
    // The result buffer starts with the entered text, so a hook that leaves
    // it alone leaves the value as entered.
    HookText result(plugin_.Utf16(), text, kValueBufferChars);
    plugin_.Fire(*event, entered.Pointer(), result.Pointer(),
                 static_cast<uint16_t>(kValueBufferChars),
                 "\"" + text + "\", buffer, " + std::to_string(kValueBufferChars));
    value = result.Read();
    if (value != text) plugin_.Note("the plug-in made \"" + text + "\" into \"" + value + "\"");
  }
  if (!db_) return false;
  SetField(table, field, value);
  return true;
}

bool TableCursors::Post(const TableDef& table) {
  auto it = cursors_.find(table.name);
  if (it == cursors_.end()) return false;
  Cursor& c = it->second;
  if (!c.modified && !c.is_new) return false;
  bool inserted = c.is_new;
  int64_t key = 0;
  {
    Transaction t(*db_);
    if (c.is_new) {
      std::string cols, marks;
      std::vector<const FieldDef*> fields;
      for (const auto& f : table.fields) {
        if (f.name == table.key) continue;
        fields.push_back(&f);
        cols += (cols.empty() ? "" : ",") + f.name;
        marks += (marks.empty() ? "?" : ",?") + std::to_string(fields.size());
      }
      SqliteStmt s(*db_, "INSERT INTO " + table.name + " (" + cols + ") VALUES (" + marks + ")");
      for (size_t i = 0; i < fields.size(); ++i)
        BindField(s, static_cast<int>(i + 1), *fields[i], c.buffer[fields[i]->name]);
      s.Run();
      key = db_->LastInsertId();
    } else {
      key = c.keys[static_cast<size_t>(c.index)];
      std::string sets;
      std::vector<const FieldDef*> fields;
      for (const auto& f : table.fields) {
        if (ReadOnly(table, f)) continue;
        fields.push_back(&f);
        sets += (sets.empty() ? "" : ",") + f.name + "=?" + std::to_string(fields.size());
      }
      SqliteStmt s(*db_, "UPDATE " + table.name + " SET " + sets + " WHERE " + table.key + "=?" +
                             std::to_string(fields.size() + 1));
      for (size_t i = 0; i < fields.size(); ++i)
        BindField(s, static_cast<int>(i + 1), *fields[i], c.buffer[fields[i]->name]);
      s.Bind(static_cast<int>(fields.size() + 1), key);
      s.Run();
    }
    t.Commit();
  }
  Reread(table, c, key);
  FirePosted(table, inserted ? kPostInsert : kPostEdit);
  return true;
}

void TableCursors::PostAll() {
  if (!db_) return;
  for (const auto& t : Defs()) Post(t);
}

bool TableCursors::Append(const TableDef& table) {
  if (table.one_row_per_object || data_object_ <= 0) return false;
  Post(table);
  Cursor& c = CursorOf(table);
  c.buffer.clear();
  for (const auto& f : table.fields) c.buffer[f.name] = std::nullopt;
  c.buffer["KARTULID"] = std::to_string(data_object_);
  c.is_new = true;
  c.modified = true;
  c.eof = false;
  return true;
}

void TableCursors::AppendRow(const TableDef& table) {
  if (table.one_row_per_object) throw HostError("table " + table.name + " has one row per object");
  if (data_object_ <= 0) throw HostError("no active object");
  Append(table);
}

bool TableCursors::DeleteRow(const TableDef& table) {
  if (table.one_row_per_object)
    throw HostError("the row of table " + table.name + " goes with its object");
  Cursor& c = CursorOf(table);
  if (c.is_new) {
    LoadBuffer(table, c);  // an appended row not yet stored is just dropped
    return true;
  }
  if (c.index < 0) throw HostError("table " + table.name + " has no current row");
  Post(table);
  // Posting fires hooks, which may move the host to other rows: the cursor
  // is looked up again rather than trusted.
  Cursor& current = CursorOf(table);
  if (current.index < 0 || static_cast<size_t>(current.index) >= current.keys.size())
    throw HostError("table " + table.name + " has no current row");
  int64_t key = current.keys[static_cast<size_t>(current.index)];
  int old_index = current.index;
  FirePosted(table, kPostDelete);
  if (!db_) return false;
  {
    Transaction t(*db_);
    SqliteStmt s(*db_, "DELETE FROM " + table.name + " WHERE " + table.key + "=?1");
    s.Bind(1, key).Run();
    t.Commit();
  }
  Cursor& after = CursorOf(table);
  LoadKeys(table, after);
  after.index =
      after.keys.empty() ? -1 : std::min(old_index, static_cast<int>(after.keys.size()) - 1);
  after.eof = after.keys.empty();
  LoadBuffer(table, after);
  return true;
}

void TableCursors::First(const TableDef& table) {
  Post(table);
  Cursor& c = CursorOf(table);
  LoadKeys(table, c);
  c.index = c.keys.empty() ? -1 : 0;
  c.eof = c.keys.empty();
  LoadBuffer(table, c);
}

void TableCursors::Next(const TableDef& table) {
  Post(table);
  Cursor& c = CursorOf(table);
  if (c.index >= 0 && static_cast<size_t>(c.index + 1) < c.keys.size()) {
    ++c.index;
    c.eof = false;
    LoadBuffer(table, c);
  } else {
    // Past the end: EOF, and the last row stays current.
    c.eof = true;
  }
}

void TableCursors::Refresh(const TableDef& table) {
  Post(table);
  Cursor& c = CursorOf(table);
  Reread(table, c, c.index >= 0 ? c.keys[static_cast<size_t>(c.index)] : 0);
}

TableCursors::Row TableCursors::CurrentRow(const TableDef& table) const {
  return CursorOf(table).buffer;
}

bool TableCursors::PasteRow(const TableDef& table, const Row& row) {
  Cursor& c = CursorOf(table);
  if (!c.HasRow()) return false;
  for (const auto& f : table.fields) {
    if (ReadOnly(table, f)) continue;
    auto it = row.find(f.name);
    c.buffer[f.name] = it == row.end() ? std::nullopt : it->second;
  }
  c.modified = true;
  Post(table);
  return true;
}

// ---- Reading ----------------------------------------------------------------------

std::optional<std::string> TableCursors::Value(std::string_view table,
                                               const std::string& field) const {
  const TableDef* t = Find(table);
  if (!t) return std::nullopt;
  const Cursor& c = CursorOf(*t);
  if (!c.HasRow()) return std::nullopt;
  auto it = c.buffer.find(field);
  return it == c.buffer.end() ? std::nullopt : it->second;
}

bool TableCursors::Eof(std::string_view table) const {
  const TableDef* t = Find(table);
  if (!t) return true;
  const Cursor& c = CursorOf(*t);
  return c.eof && !c.is_new;
}

bool TableCursors::Modified(std::string_view table) const {
  const TableDef* t = Find(table);
  return t && CursorOf(*t).modified;
}

int TableCursors::RowCount(std::string_view table) const {
  const TableDef* t = Find(table);
  return t ? static_cast<int>(CursorOf(*t).keys.size()) : 0;
}

std::vector<std::map<std::string, std::string>> TableCursors::StoredRows(
    std::string_view table) const {
  const TableDef& t = Table(table);
  std::vector<std::map<std::string, std::string>> rows;
  SqliteStmt s(*db_, "SELECT * FROM " + t.name + " ORDER BY " + t.key);
  while (s.Step()) {
    std::map<std::string, std::string> row;
    for (int i = 0; i < s.ColumnCount(); ++i) {
      const FieldDef* f = FindField(t, s.ColumnName(i));
      if (f) row[f->name] = ColumnText(s, i, *f).value_or("");
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::pair<const FieldDef*, std::optional<std::string>>> TableCursors::StoredRowOf(
    const TableDef& table, int32_t id) const {
  std::vector<std::pair<const FieldDef*, std::optional<std::string>>> row;
  SqliteStmt s(*db_, "SELECT * FROM " + table.name + " WHERE KARTULID=?1");
  s.Bind(1, id);
  if (!s.Step()) return row;
  for (int i = 0; i < s.ColumnCount(); ++i) {
    const FieldDef* f = FindField(table, s.ColumnName(i));
    if (f) row.emplace_back(f, ColumnText(s, i, *f));
  }
  return row;
}

std::map<int32_t, std::vector<std::pair<const FieldDef*, std::optional<std::string>>>>
TableCursors::StoredRowsById(const TableDef& table) const {
  std::map<int32_t, std::vector<std::pair<const FieldDef*, std::optional<std::string>>>> rows;
  SqliteStmt s(*db_, "SELECT * FROM " + table.name);
  int id_column = -1;
  std::vector<const FieldDef*> fields;
  for (int i = 0; i < s.ColumnCount(); ++i) {
    if (s.ColumnName(i) == "KARTULID") id_column = i;
    fields.push_back(FindField(table, s.ColumnName(i)));
  }
  if (id_column < 0) return rows;
  while (s.Step()) {
    if (s.IsNull(id_column)) continue;
    const int32_t id = static_cast<int32_t>(s.Int(id_column));
    if (rows.count(id)) continue;  // the first row, as StoredRowOf takes it
    auto& row = rows[id];
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
      if (fields[static_cast<size_t>(i)])
        row.emplace_back(fields[static_cast<size_t>(i)],
                         ColumnText(s, i, *fields[static_cast<size_t>(i)]));
    }
  }
  return rows;
}

void TableCursors::StoreField(const TableDef& table, int32_t id, const FieldDef& field,
                              const std::optional<std::string>& text) {
  SqliteStmt s(*db_, "UPDATE " + table.name + " SET " + field.name + "=?1 WHERE KARTULID=?2");
  BindField(s, 1, field, text);
  s.Bind(2, id).Run();
}

// ---- Controls of the data view --------------------------------------------------

bool TableCursors::EnableControls(const TableDef& table) {
  auto it = disabled_.find(table.name);
  if (it == disabled_.end() || it->second == 0) return false;
  --it->second;
  return true;
}

int TableCursors::ControlsDisabled(std::string_view table) const {
  auto it = disabled_.find(std::string(table));
  return it == disabled_.end() ? 0 : it->second;
}

}  // namespace hostsim
