// The host's attribute tables by name. Each table shows the rows of the data
// object (normally the active object) through a cursor with one row buffer;
// edits go into the buffer and are saved by a post, or before the cursor
// moves, as a data-aware host saves a record it leaves. Every save is one
// database transaction and is reported through the table-posted event.
#include <algorithm>
#include <cstring>

#include "hostsim/Ansi.h"
#include "hostsim/HostImpl.h"
#include "hostsim/Text.h"

namespace hostsim {
namespace {

using Type = FieldDef::Type;

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

// The text a field takes for an entered text; nullopt for null. Sets why and
// returns false when the text does not fit the field's type.
bool Normalize(const FieldDef& f, const std::string& text, std::optional<std::string>& out,
               std::string* why) {
  auto fail = [&](const std::string& what) {
    if (why) *why = what;
    return false;
  };
  std::string t = text;
  switch (f.type) {
    case Type::kText:
      out = Utf8Prefix(t, static_cast<size_t>(f.width));
      return true;
    case Type::kInteger: {
      t = Trim(t, " ");
      if (t.empty()) {
        out.reset();
        return true;
      }
      try {
        size_t used = 0;
        long long v = std::stoll(t, &used);
        if (used != t.size()) return fail("\"" + text + "\" is no whole number for " + f.name);
        out = std::to_string(v);
        return true;
      } catch (...) {
        return fail("\"" + text + "\" is no whole number for " + f.name);
      }
    }
    case Type::kBoolean: {
      if (Trim(text, " ").empty()) {
        out.reset();
        return true;
      }
      auto b = ParseBool(text);
      if (!b) return fail("\"" + text + "\" is no truth value for " + f.name);
      out = *b ? kTrueText : kFalseText;
      return true;
    }
  }
  return fail("unknown field type");
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
      wide_ = Utf8ToUtf16(utf8);
      if (capacity) wide_ = wide_.substr(0, capacity - 1);
      wide_.resize(std::max(capacity, wide_.size() + 1), u'\0');
    } else {
      narrow_ = Utf8ToAnsi(utf8);
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
      return Utf16ToUtf8(std::u16string_view(wide_.data(), n));
    }
    return AnsiToUtf8(std::string_view(narrow_.data(), strnlen(narrow_.data(), narrow_.size())));
  }

 private:
  bool utf16_;
  std::u16string wide_;
  std::string narrow_;
};

constexpr size_t kValueBufferChars = 256;

}  // namespace

const std::vector<TableDef>& HostTables() {
  return Defs();
}

void CreateHostSchema(SqliteDb& db) {
  Transaction t(db);
  db.Exec(
      "CREATE TABLE IF NOT EXISTS KT_OBJEKTE (ID INTEGER PRIMARY KEY AUTOINCREMENT, KENNUNG TEXT "
      "NOT NULL UNIQUE, KLASSE INTEGER NOT NULL, TYP INTEGER NOT NULL, GEOMETRIE TEXT NOT NULL)");
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
  t.Commit();
}

const TableDef* Host::Impl::FindTable(const std::string& name) const {
  for (const auto& t : Defs())
    if (t.name == name) return &t;
  return nullptr;
}

TableCursor& Host::Impl::CursorOf(const TableDef& table) {
  auto [it, inserted] = cursors.try_emplace(table.name);
  TableCursor& c = it->second;
  if (inserted) {
    LoadKeys(table, c);
    c.index = c.keys.empty() ? -1 : 0;
    c.eof = c.keys.empty();
    LoadBuffer(table, c);
  }
  return c;
}

void Host::Impl::ResetCursors() {
  cursors.clear();
}

void Host::Impl::LoadKeys(const TableDef& table, TableCursor& c) {
  c.keys.clear();
  if (data_object <= 0 || !db) return;
  SqliteStmt s(*db, "SELECT " + table.key + " FROM " + table.name + " WHERE KARTULID=?1 ORDER BY " +
                        table.key);
  s.Bind(1, data_object);
  while (s.Step()) c.keys.push_back(s.Int(0));
}

void Host::Impl::LoadBuffer(const TableDef& table, TableCursor& c) {
  c.buffer.clear();
  c.modified = false;
  c.is_new = false;
  if (c.index < 0 || static_cast<size_t>(c.index) >= c.keys.size()) return;
  SqliteStmt s(*db, "SELECT * FROM " + table.name + " WHERE " + table.key + "=?1");
  s.Bind(1, c.keys[static_cast<size_t>(c.index)]);
  if (!s.Step()) return;  // gone under us; the row reads as empty
  for (int i = 0; i < s.ColumnCount(); ++i) {
    const FieldDef* f = FindField(table, s.ColumnName(i));
    if (f) c.buffer[f->name] = ColumnText(s, i, *f);
  }
}

bool Host::Impl::Post(const TableDef& table) {
  auto it = cursors.find(table.name);
  if (it == cursors.end()) return false;
  TableCursor& c = it->second;
  if (!c.modified && !c.is_new) return false;
  bool inserted = c.is_new;
  int64_t key = 0;
  {
    Transaction t(*db);
    if (c.is_new) {
      std::string cols, marks;
      std::vector<const FieldDef*> fields;
      for (const auto& f : table.fields) {
        if (f.name == table.key) continue;
        fields.push_back(&f);
        cols += (cols.empty() ? "" : ",") + f.name;
        marks += (marks.empty() ? "?" : ",?") + std::to_string(fields.size());
      }
      SqliteStmt s(*db, "INSERT INTO " + table.name + " (" + cols + ") VALUES (" + marks + ")");
      for (size_t i = 0; i < fields.size(); ++i)
        BindField(s, static_cast<int>(i + 1), *fields[i], c.buffer[fields[i]->name]);
      s.Run();
      key = db->LastInsertId();
    } else {
      key = c.keys[static_cast<size_t>(c.index)];
      std::string sets;
      std::vector<const FieldDef*> fields;
      for (const auto& f : table.fields) {
        if (ReadOnly(table, f)) continue;
        fields.push_back(&f);
        sets += (sets.empty() ? "" : ",") + f.name + "=?" + std::to_string(fields.size());
      }
      SqliteStmt s(*db, "UPDATE " + table.name + " SET " + sets + " WHERE " + table.key + "=?" +
                            std::to_string(fields.size() + 1));
      for (size_t i = 0; i < fields.size(); ++i)
        BindField(s, static_cast<int>(i + 1), *fields[i], c.buffer[fields[i]->name]);
      s.Bind(static_cast<int>(fields.size() + 1), key);
      s.Run();
    }
    t.Commit();
  }
  LoadKeys(table, c);
  auto pos = std::find(c.keys.begin(), c.keys.end(), key);
  c.index =
      pos == c.keys.end() ? (c.keys.empty() ? -1 : 0) : static_cast<int>(pos - c.keys.begin());
  c.eof = c.keys.empty();
  LoadBuffer(table, c);
  HookText view(plugin.Utf16(), kViewName);
  HookText name(plugin.Utf16(), table.name);
  uint16_t code = inserted ? kPostInsert : kPostEdit;
  Fire(HookEvent::kTablePosted, view.Pointer(), name.Pointer(), code,
       std::string("\"") + kViewName + "\", \"" + table.name + "\", " + std::to_string(code));
  return true;
}

void Host::Impl::PostAll() {
  if (!db) return;
  for (const auto& t : Defs()) Post(t);
}

bool Host::Impl::TableFirst(const TableDef& table) {
  Post(table);
  TableCursor& c = CursorOf(table);
  LoadKeys(table, c);
  c.index = c.keys.empty() ? -1 : 0;
  c.eof = c.keys.empty();
  LoadBuffer(table, c);
  return true;
}

bool Host::Impl::TableNext(const TableDef& table) {
  Post(table);
  TableCursor& c = CursorOf(table);
  if (c.index >= 0 && static_cast<size_t>(c.index + 1) < c.keys.size()) {
    ++c.index;
    c.eof = false;
    LoadBuffer(table, c);
  } else {
    // Past the end: EOF, and the last row stays current.
    c.eof = true;
  }
  return true;
}

bool Host::Impl::SetField(const TableDef& table, const std::string& field, const std::string& text,
                          std::string* why) {
  TableCursor& c = CursorOf(table);
  const FieldDef* f = FindField(table, field);
  if (!f) {
    if (why) *why = "table " + table.name + " has no field " + field;
    return false;
  }
  if (!c.HasRow()) {
    if (why) *why = "table " + table.name + " has no current row";
    return false;
  }
  if (ReadOnly(table, *f)) {
    if (why) *why = "the field " + field + " of " + table.name + " cannot be changed";
    return false;
  }
  std::optional<std::string> value;
  if (!Normalize(*f, text, value, why)) return false;
  c.buffer[f->name] = value;
  c.modified = true;
  return true;
}

bool Host::Impl::Append(const TableDef& table) {
  if (table.one_row_per_object || data_object <= 0) return false;
  Post(table);
  TableCursor& c = CursorOf(table);
  c.buffer.clear();
  for (const auto& f : table.fields) c.buffer[f.name] = std::nullopt;
  c.buffer["KARTULID"] = std::to_string(data_object);
  c.is_new = true;
  c.modified = true;
  c.eof = false;
  return true;
}

void Host::Impl::InsertObjectRows(int32_t id, const std::string& kennung) {
  SqliteStmt s(*db, "INSERT INTO linfos (KARTULID, KENNUNG) VALUES (?1, ?2)");
  s.Bind(1, id).Bind(2, kennung).Run();
}

void Host::Impl::DeleteObjectRows(int32_t id) {
  for (const auto& t : Defs()) {
    SqliteStmt s(*db, "DELETE FROM " + t.name + " WHERE KARTULID=?1");
    s.Bind(1, id).Run();
  }
}

// ---- Host: the mapper's table work ------------------------------------------

namespace {
const TableDef& TableOrThrow(const Host::Impl& m, const std::string& name) {
  const TableDef* t = m.FindTable(name);
  if (!t) throw HostError("no table " + name);
  return *t;
}
}  // namespace

std::optional<std::string> Host::Value(const std::string& table, const std::string& field) const {
  Impl& m = *impl_;
  const TableDef* t = m.FindTable(table);
  if (!t || m.project_dir.empty()) return std::nullopt;
  TableCursor& c = m.CursorOf(*t);
  if (!c.HasRow()) return std::nullopt;
  auto it = c.buffer.find(field);
  return it == c.buffer.end() ? std::nullopt : it->second;
}

void Host::EnterValue(const std::string& table, const std::string& field, const std::string& text) {
  Impl& m = *impl_;
  m.RequireProject();
  const TableDef& t = TableOrThrow(m, table);
  const FieldDef* f = FindField(t, field);
  if (!f) throw HostError("table " + table + " has no field " + field);
  if (!m.CursorOf(t).HasRow()) throw HostError("table " + table + " has no current row");
  if (ReadOnly(t, *f))
    throw HostError("the field " + field + " of " + table + " cannot be changed");
  std::optional<std::string> checked;
  std::string why;
  if (!Normalize(*f, text, checked, &why)) throw HostError(why);

  std::optional<HookEvent> event;
  if (table == "Objektphotos" && field == "Hauptphoto") event = HookEvent::kHauptphotoEntered;
  if (table == "Pflanzenliste") event = HookEvent::kPflanzenlisteEntered;
  std::string value = text;
  if (event && m.plugin.Binds(*event)) {
    HookText akt(m.plugin.Utf16(), text);
    // The result buffer starts with the entered text, so a hook that leaves
    // it alone leaves the value as entered.
    HookText result(m.plugin.Utf16(), text, kValueBufferChars);
    m.Fire(*event, akt.Pointer(), result.Pointer(), static_cast<uint16_t>(kValueBufferChars),
           "\"" + text + "\", buffer, " + std::to_string(kValueBufferChars));
    value = result.Read();
    if (value != text) m.Note("the plug-in made \"" + text + "\" into \"" + value + "\"");
  }
  if (m.project_dir.empty()) return;
  if (!m.SetField(t, field, value, &why)) throw HostError(why);
  m.CommandDone(command::kEnterValue, m.data_object, 0);
}

void Host::PostRow(const std::string& table) {
  Impl& m = *impl_;
  m.RequireProject();
  const TableDef& t = TableOrThrow(m, table);
  if (!m.Post(t)) m.Note("nothing to post in " + table);
  m.CommandDone(command::kPostRecord, m.data_object, 0);
}

void Host::AppendRow(const std::string& table) {
  Impl& m = *impl_;
  m.RequireProject();
  const TableDef& t = TableOrThrow(m, table);
  if (t.one_row_per_object) throw HostError("table " + table + " has one row per object");
  if (m.data_object <= 0) throw HostError("no active object");
  m.Append(t);
  m.CommandDone(command::kAppendRecord, m.data_object, 0);
}

void Host::DeleteRow(const std::string& table) {
  Impl& m = *impl_;
  m.RequireProject();
  const TableDef& t = TableOrThrow(m, table);
  if (t.one_row_per_object) throw HostError("the row of table " + table + " goes with its object");
  TableCursor& c = m.CursorOf(t);
  if (c.is_new) {
    m.LoadBuffer(t, c);  // an appended row not yet stored is just dropped
  } else {
    if (c.index < 0) throw HostError("table " + table + " has no current row");
    m.Post(t);
    // Posting fires hooks, which may move the host to other rows: the
    // cursor is looked up again rather than trusted.
    TableCursor& current = m.CursorOf(t);
    if (current.index < 0 || static_cast<size_t>(current.index) >= current.keys.size())
      throw HostError("table " + table + " has no current row");
    int64_t key = current.keys[static_cast<size_t>(current.index)];
    int old_index = current.index;
    HookText view(m.plugin.Utf16(), kViewName);
    HookText name(m.plugin.Utf16(), table);
    m.Fire(HookEvent::kTablePosted, view.Pointer(), name.Pointer(), kPostDelete,
           std::string("\"") + kViewName + "\", \"" + table + "\", " + std::to_string(kPostDelete));
    if (m.project_dir.empty()) return;
    {
      Transaction tr(*m.db);
      SqliteStmt s(*m.db, "DELETE FROM " + table + " WHERE " + t.key + "=?1");
      s.Bind(1, key).Run();
      tr.Commit();
    }
    TableCursor& after = m.CursorOf(t);
    m.LoadKeys(t, after);
    after.index =
        after.keys.empty() ? -1 : std::min(old_index, static_cast<int>(after.keys.size()) - 1);
    after.eof = after.keys.empty();
    m.LoadBuffer(t, after);
  }
  m.CommandDone(command::kDeleteRecord, m.data_object, 0);
}

void Host::FirstRow(const std::string& table) {
  Impl& m = *impl_;
  m.RequireProject();
  m.TableFirst(TableOrThrow(m, table));
  m.CommandDone(command::kMoveRecord, m.data_object, 0);
}

void Host::NextRow(const std::string& table) {
  Impl& m = *impl_;
  m.RequireProject();
  m.TableNext(TableOrThrow(m, table));
  m.CommandDone(command::kMoveRecord, m.data_object, 0);
}

bool Host::RowEof(const std::string& table) const {
  Impl& m = *impl_;
  const TableDef* t = m.FindTable(table);
  if (!t || m.project_dir.empty()) return true;
  return m.CursorOf(*t).eof && !m.CursorOf(*t).is_new;
}

bool Host::RowModified(const std::string& table) const {
  Impl& m = *impl_;
  const TableDef* t = m.FindTable(table);
  if (!t || m.project_dir.empty()) return false;
  return m.CursorOf(*t).modified;
}

int Host::RowCount(const std::string& table) const {
  Impl& m = *impl_;
  const TableDef* t = m.FindTable(table);
  if (!t || m.project_dir.empty()) return 0;
  return static_cast<int>(m.CursorOf(*t).keys.size());
}

int Host::ControlsDisabled(const std::string& table) const {
  auto it = impl_->disabled_controls.find(table);
  return it == impl_->disabled_controls.end() ? 0 : it->second;
}

std::vector<std::map<std::string, std::string>> Host::StoredRows(const std::string& table) const {
  Impl& m = *impl_;
  m.RequireProject();
  const TableDef& t = TableOrThrow(m, table);
  std::vector<std::map<std::string, std::string>> rows;
  SqliteStmt s(*m.db, "SELECT * FROM " + table + " ORDER BY " + t.key);
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

void Host::PasteData(int32_t from_id, int32_t to_id) {
  Impl& m = *impl_;
  m.RequireObject(from_id);
  m.RequireObject(to_id);
  const TableDef& t = TableOrThrow(m, "linfos");
  m.SetActive(from_id);
  std::map<std::string, std::optional<std::string>> source = m.CursorOf(t).buffer;
  m.SetActive(to_id);
  TableCursor& c = m.CursorOf(t);
  if (!c.HasRow()) throw HostError("object #" + std::to_string(to_id) + " has no linfos row");
  for (const auto& f : t.fields) {
    if (ReadOnly(t, f)) continue;
    c.buffer[f.name] = source[f.name];
  }
  c.modified = true;
  m.Post(t);
  m.Fire(HookEvent::kDataPasted, 0, 0, 0, "0, 0, 0");
  m.CommandDone(command::kPasteData, to_id, 0);
}

}  // namespace hostsim
