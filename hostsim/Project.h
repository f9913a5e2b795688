// The project of the host stand-in: the project and procedure folders and
// their databases, the class list, the objects with their identifiers, the
// selection, the active object, the views and the placing mode of
// interactive creation. Object changes fire the plug-in's hooks and keep the
// attribute tables in step; every change is one short database transaction,
// and none is open while a hook runs.
//
// The project owns the project database (open while a project is) and lends
// it to the table cursors. It holds references to the plug-in host, through
// which it fires hooks and leaves notes, and to the table cursors, which it
// opens, closes and points at the data object; neither knows the project.
//
// Calls throw HostError with a message for the user when they cannot be
// carried out. Command-done reports are the callers' (Host, the mapper's
// front), except for those that belong to a protocol the project runs: Open
// and Close report theirs (opening closes the open project first), and the
// placing reports command 1058 whichever way it ends.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "hostsim/HostModel.h"
#include "hostsim/Sqlite.h"

namespace hostsim {

class PluginHost;
class TableCursors;

inline constexpr size_t kMaxKennung = 50;  // characters of an identifier

class Project {
 public:
  Project(PluginHost& plugin, TableCursors& tables) : plugin_(plugin), tables_(tables) {}
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  // ---- Folders and databases ----------------------------------------------
  // As Host::CreateProject.
  static void Create(const std::string& project_dir, const std::string& procedure_dir);
  // Loads a project: the class list first, so that a broken procedure folder
  // leaves the open project alone; then closes the open one and loads with
  // before/after-load.
  void Open(const std::string& project_dir);
  // Saves pending rows and closes with before/after-close; nothing happens
  // without an open project.
  void Close();
  bool IsOpen() const { return !dir_.empty(); }
  void RequireOpen() const;  // throws "no project is open"
  void RequireObject(int32_t id) const;
  const std::string& Dir() const { return dir_; }  // with trailing '/'; empty when none is open
  const std::string& ProcedureDir() const { return procedure_dir_; }
  const std::string& DbPath() const { return db_path_; }
  const std::string& ProcedureDbPath() const { return procedure_db_path_; }

  // ---- Classes ------------------------------------------------------------
  const std::vector<ObjectClass>& Classes() const { return classes_; }
  const ObjectClass* ClassById(int32_t id) const;
  const ObjectClass* FindClass(std::string_view id_or_short_name) const;
  int32_t CurrentClass() const { return current_class_; }
  void SetCurrentClass(int32_t id);  // throws without a project or for an unknown class

  // ---- Objects ------------------------------------------------------------
  std::vector<int32_t> ObjectIds() const;  // ascending
  const GeoObject* Find(int32_t id) const;
  int32_t Resolve(std::string_view ref) const;  // an identifier or "#<id>"; 0 when none
  int32_t IdOf(std::string_view kennung) const;
  std::string ProposeKennung(int32_t class_id) const;
  // Empty when the identifier may be given to an object (except_id may keep
  // its own), else why not: empty, too long, a zero byte, a character
  // outside Windows-1252, or another object's.
  std::string KennungProblem(const std::string& kennung, int32_t except_id) const;
  double Easting(int32_t id) const;
  double Northing(int32_t id) const;
  double Area(int32_t id) const;

  // The mapper draws an object: through the creation hooks, with the host's
  // proposal unless an identifier is given. The new id, 0 when cancelled.
  int32_t Create(int32_t class_id, TDrawTyp typ, const std::vector<Point>& geometry,
                 const std::string& kennung);
  // ktSetKennung: the pairing hook before and after the change, also inside
  // a hook. False, with a note, when refused, vetoed or it did not stand.
  bool SetKennung(int32_t id, const std::string& kennung);
  // The mapper renames: an unusable identifier throws before any hook.
  bool Rename(int32_t id, const std::string& kennung);
  // Deletes after object-deleting, which may delete it itself.
  void Delete(int32_t id);
  // False when the plug-in vetoed the change.
  bool MoveVertex(int32_t id, size_t vertex, Point to);
  void ChangeClass(int32_t id, int32_t class_id);
  // Copies the linfos data of one object into another's row and saves it.
  void PasteData(int32_t from_id, int32_t to_id);

  // ---- Interactive creation (ktCreateObjectStart ... ktCreateObjectFinish) ----
  // Throws for an unknown class or a draw type that makes no object.
  void StartPlacing(int32_t class_id, TDrawTyp typ, const std::string& kennung);
  // False when nothing was being placed; giving up a placing reports it.
  bool FinishPlacing();
  int32_t Place(const std::vector<Point>& geometry);  // 0 when the plug-in refused
  void Abandon();
  Creation CreationState() const { return creation_; }
  const std::string& PlacingKennung() const { return placing_kennung_; }

  // ---- Selection, active object, views ---------------------------------------
  // These throw without a project or for an unknown object.
  const std::vector<int32_t>& Selection() const { return selection_; }
  void Select(int32_t id);
  void Deselect(int32_t id);
  void DeselectAll();
  int32_t ActiveObject() const { return active_; }
  // The active object's rows become the ones the tables show.
  void Activate(int32_t id);
  View CurrentView() const { return view_; }
  void ShowView(View view) { view_ = view; }
  int UpdateDepth() const { return update_depth_; }
  void BeginUpdate() { ++update_depth_; }
  bool EndUpdate();  // false without a BeginUpdate
  int RedrawCount() const { return redraws_; }
  void Redraw() { ++redraws_; }
  Point Cursor() const { return cursor_; }
  void SetCursor(Point p) { cursor_ = p; }

  // Objects stored without hooks in one database transaction (the imports).
  // Rows the table cursors write while it is open are part of it. The
  // objects join the project only when Commit succeeds.
  class Batch {
   public:
    explicit Batch(Project& project);
    // A new object with its attribute rows; its id.
    int32_t Insert(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                   const std::string& kennung);
    // Class, draw type and geometry of an existing object.
    void Replace(int32_t id, int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry);
    void Commit();

   private:
    Project& project_;
    Transaction transaction_;
    std::vector<GeoObject> stored_;
  };

 private:
  // Creates the tables of a project database where missing.
  static void CreateSchema(SqliteDb& db);
  SqliteDb& Db();  // throws without a project
  int32_t CreateThroughHooks(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                             const std::string& proposal, int32_t command_number);
  void GiveUpPlacing();  // reports command 1058 as abandoned
  void DropObjectState(int32_t id);
  // Takes the object out of the selection when it is in it.
  void Unselect(int32_t id);

  PluginHost& plugin_;
  TableCursors& tables_;

  std::string dir_;            // with trailing '/', empty when none is open
  std::string procedure_dir_;  // with trailing '/'
  std::string db_path_;
  std::string procedure_db_path_;
  std::unique_ptr<SqliteDb> db_;
  std::vector<ObjectClass> classes_;
  std::map<int32_t, GeoObject> objects_;
  std::map<std::string, int32_t> by_kennung_;
  std::vector<int32_t> selection_;  // in the order of selecting
  // The same ids, so that selecting a hundred thousand objects one by one
  // does not search the list each time.
  std::unordered_set<int32_t> selected_;
  int32_t active_ = 0;
  int32_t current_class_ = 0;
  View view_ = View::kMap;
  int update_depth_ = 0;
  int redraws_ = 0;
  Point cursor_;

  Creation creation_ = Creation::kIdle;
  int32_t placing_class_ = 0;
  TDrawTyp placing_typ_ = ktNone;
  std::string placing_kennung_;
};

}  // namespace hostsim
