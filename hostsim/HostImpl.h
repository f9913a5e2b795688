// Inside of the host model, shared by its source files and the kt* layer.
// Not for kartul-sim or the plug-in.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/EventLoop.h"
#include "hostsim/HostModel.h"
#include "hostsim/PluginHost.h"
#include "hostsim/Sqlite.h"

namespace hostsim {

inline constexpr size_t kMaxKennung = 50;  // characters of an identifier
inline constexpr const char* kViewName = "Daten";

// The cursor of one attribute table over the rows of the data object, with
// the one row buffer that edits go into; it is saved before the cursor moves.
struct TableCursor {
  std::vector<int64_t> keys;  // stored rows of the data object, by key
  int index = -1;             // current row in keys; -1 none
  bool eof = true;
  bool is_new = false;  // the buffer is an appended row not yet stored
  bool modified = false;
  std::map<std::string, std::optional<std::string>> buffer;
  bool HasRow() const { return is_new || index >= 0; }
};

struct Host::Impl {
  explicit Impl(Host& h) : host(h) {}
  Host& host;

  // Project.
  std::string project_dir;    // with trailing '/', empty when none is open
  std::string procedure_dir;  // with trailing '/'
  std::string project_db_path;
  std::string procedure_db_path;
  std::unique_ptr<SqliteDb> db;
  std::vector<ObjectClass> classes;
  std::map<int32_t, GeoObject> objects;
  std::map<std::string, int32_t> by_kennung;
  std::vector<int32_t> selection;
  int32_t active = 0;
  int32_t data_object = 0;
  int32_t current_class = 0;
  View view = View::kMap;
  int update_depth = 0;
  int redraws = 0;
  Point cursor;

  // Interactive creation.
  Creation creation = Creation::kIdle;
  int32_t placing_class = 0;
  TDrawTyp placing_typ = ktNone;
  std::string placing_kennung;

  std::map<std::string, TableCursor> cursors;    // built on first use
  std::map<std::string, int> disabled_controls;  // ktDisableControls minus ktEnableControls

  PluginHost plugin;
  EventLoop loop{plugin};

  // ---- helpers (HostModel.cpp) ----
  void Note(const std::string& text);
  void RequireProject() const;  // throws HostError
  void RequireObject(int32_t id) const;

  // Calls an export of the plug-in by name; nullopt when there is no plug-in,
  // no such export, or the hook did not return normally.
  std::optional<int16_t> CallExport(const std::string& export_name, intptr_t p1, intptr_t p2,
                                    uint16_t p3, const std::string& shown_args);
  // Fires an event: true when nothing is bound or the hook answered true.
  bool Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3, const std::string& shown_args);
  bool FireSimple(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3);
  void CommandDone(int32_t command_number, int32_t lparam, uint16_t wparam);

  // Objects.
  std::string KennungProblem(const std::string& kennung, int32_t except_id) const;
  int32_t StoreNewObject(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                         const std::string& kennung);
  int32_t CreateThroughHooks(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                             const std::string& proposal, int32_t command_number);
  bool SetKennung(int32_t id, const std::string& kennung);  // ktSetKennung
  void Delete(int32_t id);                                  // ktDeleteObject
  void AddToSelection(int32_t id);
  void SetActive(int32_t id);
  void SetDataObject(int32_t id);
  void DropObjectState(int32_t id);

  // Tables (HostTables.cpp).
  const TableDef* FindTable(const std::string& name) const;
  TableCursor& CursorOf(const TableDef& table);
  void LoadKeys(const TableDef& table, TableCursor& c);
  void LoadBuffer(const TableDef& table, TableCursor& c);
  // Saves a pending edit; fires the table-posted event. False when nothing was pending.
  bool Post(const TableDef& table);
  void PostAll();
  void ResetCursors();
  bool TableFirst(const TableDef& table);
  bool TableNext(const TableDef& table);
  bool SetField(const TableDef& table, const std::string& field, const std::string& text,
                std::string* why);
  bool Append(const TableDef& table);
  void InsertObjectRows(int32_t id, const std::string& kennung);
  void DeleteObjectRows(int32_t id);
};

// Creates the host's tables in a project database where missing.
void CreateHostSchema(SqliteDb& db);

// Boolean field texts as the host shows them.
inline constexpr const char* kTrueText = "WAHR";
inline constexpr const char* kFalseText = "FALSCH";
// A boolean read from text: nullopt when it is none.
std::optional<bool> ParseBool(std::string_view text);

}  // namespace hostsim
