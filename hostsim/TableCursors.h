// The host's attribute tables ("linfos", "Objektphotos", "Pflanzenliste") as
// its data view shows them: the rows of one object, the data object
// (normally the active one), each table through a cursor with one row
// buffer. Edits go into the buffer and are saved by a post, or before the
// cursor moves or the data object changes, as a data-aware host saves a
// record it leaves. Every save is one database transaction and is reported
// to the plug-in through the table-posted event.
//
// The project owns the database and keeps the cursors in step: it opens and
// closes them with the project, says which object's rows they show, and has
// them store, rename and delete the rows of the objects it stores, renames
// and deletes (inside its own transactions). The cursors know nothing of the
// project; they fire their events through the plug-in host.
//
// Calls for the mapper and the kt* side alike throw HostError with a message
// for the user when they cannot be carried out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/HostModel.h"

namespace hostsim {

class PluginHost;
class SqliteDb;

// Boolean field texts as the host shows them.
inline constexpr const char* kTrueText = "WAHR";
inline constexpr const char* kFalseText = "FALSCH";
// A boolean read from text: nullopt when it is none.
std::optional<bool> ParseBool(std::string_view text);

// One of HostTables() by name; nullptr when the host has no such table.
const TableDef* FindTable(std::string_view name);

class TableCursors {
 public:
  // The buffer of one row: field name to text, nullopt for null.
  using Row = std::map<std::string, std::optional<std::string>>;

  explicit TableCursors(PluginHost& plugin) : plugin_(plugin) {}
  TableCursors(const TableCursors&) = delete;
  TableCursors& operator=(const TableCursors&) = delete;

  // Creates the attribute tables where missing, inside the caller's
  // transaction.
  static void CreateSchema(SqliteDb& db);

  // ---- Kept in step by the project ----------------------------------------
  // A project was opened on db: no data object, no cursors yet.
  void Open(SqliteDb& db);
  // The project closes: pending edits are dropped (the project posts first).
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  int32_t DataObject() const { return data_object_; }
  // Shows the rows of another object, saving a pending edit first.
  void ShowRowsOf(int32_t id);
  // The object gone was deleted: when it was the data object, the rows of
  // next are shown instead, without saving.
  void ForgetObject(int32_t gone, int32_t next);
  // Reads the rows afresh from the database (after an import).
  void Reload();
  // Row changes that go with an object, inside the caller's transaction.
  void InsertObjectRows(int32_t id, const std::string& kennung);  // its linfos row
  void DeleteObjectRows(int32_t id);
  void RenameObjectRows(int32_t id, const std::string& kennung);
  // After the rename was committed: the linfos row shown shows it too.
  void ShowRenamed(int32_t id, const std::string& kennung);

  // ---- Rows of the data object ----------------------------------------------
  // The table by name while a project is open; nullptr without a project or
  // such a table.
  const TableDef* Find(std::string_view name) const;
  // The same for the mapper: throws "no project is open" or "no table ...".
  const TableDef& Table(std::string_view name) const;
  // Puts a text into the row buffer; throws when the field does not exist,
  // cannot be changed, does not take the text, or there is no current row.
  void SetField(const TableDef& table, const std::string& field, const std::string& text);
  // The mapper enters a text: the checks of SetField, then the field hooks
  // (hauptphoto-entered, pflanzenliste-entered) decide what the field takes.
  // False when a hook closed the project.
  bool Enter(const TableDef& table, const std::string& field, const std::string& text);
  // Saves a pending edit and fires table-posted; false when nothing was pending.
  bool Post(const TableDef& table);
  void PostAll();
  // Starts a new row in the buffer, saving a pending edit first; false for a
  // table with one row per object or without a data object.
  bool Append(const TableDef& table);
  // The same for the mapper, which is told why not.
  void AppendRow(const TableDef& table);
  // Deletes the current row (table-posted with kPostDelete while it is still
  // current); an appended row not yet stored is just dropped. Throws for a
  // table with one row per object or without a current row; false when a
  // hook closed the project.
  bool DeleteRow(const TableDef& table);
  void First(const TableDef& table);
  // Past the last row: EOF, and the last row stays current.
  void Next(const TableDef& table);
  // Saves a pending edit and reads the rows again, staying on the current row.
  void Refresh(const TableDef& table);
  // The whole buffer of the current row; every field null without one.
  Row CurrentRow(const TableDef& table) const;
  // Takes the changeable fields of row into the current row and saves it;
  // false without a current row.
  bool PasteRow(const TableDef& table, const Row& row);

  // ---- Reading ----------------------------------------------------------------
  // Text of a field of the current row; nullopt for null, no row or no project.
  std::optional<std::string> Value(std::string_view table, const std::string& field) const;
  bool Eof(std::string_view table) const;  // true without a project
  bool Modified(std::string_view table) const;
  int RowCount(std::string_view table) const;  // rows of the data object
  // Every stored row of a table, as text, ordered by key.
  std::vector<std::map<std::string, std::string>> StoredRows(std::string_view table) const;
  // The stored row of an object in a table with one row per object, field
  // by field in the order of the database's columns; empty without a row.
  std::vector<std::pair<const FieldDef*, std::optional<std::string>>> StoredRowOf(
      const TableDef& table, int32_t id) const;
  // The stored rows of such a table for every object, read in one pass: an
  // export of many objects would prepare a statement per object otherwise.
  std::map<int32_t, std::vector<std::pair<const FieldDef*, std::optional<std::string>>>>
  StoredRowsById(const TableDef& table) const;
  // Replaces a field of an object's stored row in a table with one row per
  // object, inside the caller's transaction; text as the buffer holds it.
  void StoreField(const TableDef& table, int32_t id, const FieldDef& field,
                  const std::optional<std::string>& text);

  // ---- Controls of the data view (ktDisableControls, ktEnableControls) ---------
  void DisableControls(const TableDef& table) { ++disabled_[table.name]; }
  bool EnableControls(const TableDef& table);  // false when none is disabled
  int ControlsDisabled(std::string_view table) const;

 private:
  struct Cursor {
    std::vector<int64_t> keys;  // stored rows of the data object, by key
    int index = -1;             // current row in keys; -1 none
    bool eof = true;
    bool is_new = false;  // the buffer is an appended row not yet stored
    bool modified = false;
    Row buffer;
    bool HasRow() const { return is_new || index >= 0; }
  };

  // Built on first use, hence reached from const readers.
  Cursor& CursorOf(const TableDef& table) const;
  // The text the field of the current row would take; throws as SetField.
  std::optional<std::string> Checked(const TableDef& table, const std::string& field,
                                     const std::string& text) const;
  void LoadKeys(const TableDef& table, Cursor& c) const;
  void LoadBuffer(const TableDef& table, Cursor& c) const;
  // Moves to the row with key, or the first row when it is gone.
  void Reread(const TableDef& table, Cursor& c, int64_t key) const;
  void FirePosted(const TableDef& table, uint16_t code);

  PluginHost& plugin_;
  SqliteDb* db_ = nullptr;  // the project's, while one is open
  int32_t data_object_ = 0;
  mutable std::map<std::string, Cursor> cursors_;
  std::map<std::string, int> disabled_;  // ktDisableControls minus ktEnableControls
};

}  // namespace hostsim
