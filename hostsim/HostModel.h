// The host model of the host stand-in: a project with its objects, classes,
// selection and attribute tables, the loaded plug-in with the hook table, the
// placing mode of interactive creation, geodata and attribute exchange with
// files, and the timers of the event loop. libktapi32.so implements the kt*
// functions on the one instance TheHost(); kartul-sim and the tests drive the
// same instance as a mapper would, through this interface. Host is a front:
// the work is done by the host's parts (project, plug-in host, table
// cursors, event loop, exchange), which stay inside the library.
//
// All texts are UTF-8. Mapper commands throw HostError with a message for the
// user when they cannot be carried out; the kt* side never throws. An
// exception out of a hook is kept for TakeHookFailure. Hooks run
// on the calling thread, one at a time, and may re-enter the host through the
// kt* functions. No database transaction is open while a hook runs, so the
// plug-in's own connections to the project database are never blocked.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ktapi32.h"
#include "hostsim/HookTable.h"

namespace hostsim {

struct HostParts;

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct ObjectClass {
  int32_t id = 0;
  std::string short_name;
  std::string long_name;
  TDrawTyp typ = ktFlaeche;  // the class's usual geometry
  uint8_t class_type = 0;    // OKLType in TKTObjectData
};

struct GeoObject {
  int32_t id = 0;
  std::string kennung;
  int32_t klasse = 0;
  TDrawTyp typ = ktNone;
  std::vector<Point> geometry;  // points, line vertices or the outer ring (not closed)
};

// Where the host's views stand (ktActivateMap, ktActivateData).
enum class View { kMap, kData };

// The state of interactive creation (ktCreateObjectStart).
enum class Creation { kIdle, kPlacing, kPlaced };

// Event codes of the table-posted event: a row is about to be deleted (the
// going row is still current), a changed row was saved, a new row was saved.
inline constexpr uint16_t kPostDelete = 0;
inline constexpr uint16_t kPostEdit = 1;
inline constexpr uint16_t kPostInsert = 2;

// Host command numbers as the command-done event (AfterKARTULCommand) and
// the object-created event (InsertInTransActionList) report them.
namespace command {
inline constexpr int32_t kOpenProject = 1001;
inline constexpr int32_t kCloseProject = 1002;
inline constexpr int32_t kCreateObject = 1057;
// Placing the object of ktCreateObjectStart; wParam kPlaced or kAbandoned.
inline constexpr int32_t kPlaceObject = 1058;
inline constexpr uint16_t kPlaced = 1;
inline constexpr uint16_t kAbandoned = 7;
inline constexpr int32_t kDeleteObject = 1060;
inline constexpr int32_t kRenameObject = 1061;
inline constexpr int32_t kMoveVertex = 1062;
inline constexpr int32_t kChangeClass = 1063;
inline constexpr int32_t kSelect = 1070;
inline constexpr int32_t kDeselect = 1071;
inline constexpr int32_t kActivate = 1072;
inline constexpr int32_t kSetObjectClass = 1073;
inline constexpr int32_t kEnterValue = 1080;
inline constexpr int32_t kPostRecord = 1081;
inline constexpr int32_t kAppendRecord = 1082;
inline constexpr int32_t kDeleteRecord = 1083;
inline constexpr int32_t kMoveRecord = 1084;
inline constexpr int32_t kMenuCommand = 1090;
inline constexpr int32_t kPasteData = 1091;
inline constexpr int32_t kExportGeodata = 1100;
inline constexpr int32_t kImportGeodata = 1101;
inline constexpr int32_t kExportXml = 1102;
inline constexpr int32_t kImportXml = 1103;
}  // namespace command

// One hook call as the host made it.
struct HookCall {
  std::string export_name;
  std::string arguments;          // as the trace shows them
  int depth = 0;                  // 0 for a call the host made on its own, 1 inside a hook, ...
  std::optional<int16_t> answer;  // none when the hook did not return normally
  bool done = false;              // the trace sees each call when it starts and when it ends
};

// A field of a host attribute table.
struct FieldDef {
  enum class Type { kText, kInteger, kBoolean };
  std::string name;
  Type type = Type::kText;
  int width = 0;  // characters of a text field
};

struct TableDef {
  std::string name;
  std::string key;  // "KARTULID" for one row per object, "PKEY" otherwise
  bool one_row_per_object = false;
  std::vector<FieldDef> fields;  // key and KARTULID included
};

// The host's attribute tables: "linfos", "Objektphotos", "Pflanzenliste".
const std::vector<TableDef>& HostTables();

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- Project ------------------------------------------------------------
  // Creates a project folder with KTProjekt.ktp and the project database, and
  // a procedure folder (default: the subfolder "Verfahren") with applicat.ini
  // and the procedure database holding the demo class list, unless it exists.
  static void CreateProject(const std::string& project_dir, const std::string& procedure_dir = "");
  // Loads a project (closing an open one first); fires before/after-load.
  void OpenProject(const std::string& project_dir);
  // Fires before/after-close; nothing happens without an open project.
  void CloseProject();
  bool HasProject() const;
  std::string ProjectDir() const;    // with trailing '/'
  std::string ProcedureDir() const;  // with trailing '/'
  std::string ProjectDB() const;
  std::string ProcedureDB() const;

  // ---- Plug-in and hooks --------------------------------------------------
  // Loads a build by name ("VD1TransAction2010", ...: the .so beside the
  // program in search_dir) or by path, and takes the build's default hook
  // table (the full build's for other libraries) unless a table was set
  // before. Throws HostError for a missing file or a missing bound export.
  void LoadPlugin(const std::string& name_or_path, const std::string& search_dir);
  // For tests that link the plug-in's code into themselves: the program's
  // own exports are the plug-in's hooks (it must be built with
  // ENABLE_EXPORTS), known under the build's file name ("VD1TransAction2010"
  // is "VD1TransAction2010.so", as ktIterateObjects expects it) and its hook
  // table. The host fires them exactly as those of a loaded build; starting
  // the plug-in as the build's entry would is the test's part. Throws
  // HostError as LoadPlugin does.
  void LoadLinkedPlugin(const std::string& build);
  bool HasPlugin() const;
  std::string PluginFile() const;  // the loaded library's file name, e.g. "TransactHooks.so"
  // Sets the whole table; throws HostError when the loaded plug-in lacks an
  // export it binds.
  void SetHookTable(const HookTable& table);
  const HookTable& Hooks() const;
  void Bind(HookEvent event, const std::string& export_name);  // empty unbinds
  void BindMenu(const std::string& command, const std::string& export_name);
  // Texts of hooks in UTF-16 (the full build) or ANSI; by default chosen
  // from the library's name.
  void SetUtf16HookTexts(bool utf16);
  bool Utf16HookTexts() const;

  // Every hook call goes to the sink when it starts and, with its answer,
  // when it ends.
  void SetTraceSink(std::function<void(const HookCall&)> sink);
  // Calls since the last ClearHookLog.
  const std::vector<HookCall>& HookLog() const;
  void ClearHookLog();
  // Notes of the host about refused kt* calls and hooks it could not run.
  void SetNoteSink(std::function<void(const std::string&)> sink);
  // A hook that let an exception out answered like one that did not return;
  // this is the first such failure since the last call ("the hook <export>
  // raised an error: <what>"), or nothing. It is a fault of the plug-in: the
  // mapper's programs stop or warn on it rather than note it.
  std::optional<std::string> TakeHookFailure();

  // ---- Classes ------------------------------------------------------------
  const std::vector<ObjectClass>& Classes() const;
  // By id or short name; nullptr when unknown.
  const ObjectClass* FindClass(std::string_view id_or_short_name) const;
  const ObjectClass* ClassById(int32_t id) const;
  int32_t CurrentClass() const;
  void SetCurrentClass(int32_t id);  // mapper; throws for an unknown class

  // ---- Objects ------------------------------------------------------------
  std::vector<int32_t> ObjectIds() const;  // ascending
  const GeoObject* FindObject(int32_t id) const;
  // An identifier, or "#<id>"; 0 when no such object.
  int32_t Resolve(std::string_view ref) const;
  int32_t IdOf(std::string_view kennung) const;
  // The identifier the host proposes for a new object of a class.
  std::string ProposeKennung(int32_t class_id) const;

  // Facts computed from the geometry.
  double Easting(int32_t id) const;
  double Northing(int32_t id) const;
  double Area(int32_t id) const;

  // Mapper: creates an object through the creation hooks; the identifier is
  // the host's proposal unless given. Returns the new id, or 0 when the
  // plug-in cancelled the creation.
  int32_t CreateObject(int32_t class_id, TDrawTyp typ, const std::vector<Point>& geometry,
                       const std::string& kennung = "");
  // Mapper: places the object of ktCreateObjectStart; 0 when cancelled.
  int32_t Place(const std::vector<Point>& geometry);
  // Mapper: abandons the placing (command-done 1058 with wParam 7).
  void Abandon();
  Creation CreationState() const;
  const std::string& PlacingKennung() const;

  void DeleteObject(int32_t id);  // mapper
  // Mapper: renames through ktSetKennung; false when the plug-in vetoed or
  // the change did not stand.
  bool RenameObject(int32_t id, const std::string& kennung);
  // Mapper: moves one vertex (0-based); false when the plug-in vetoed.
  bool MoveVertex(int32_t id, size_t vertex, Point to);
  void ChangeClass(int32_t id, int32_t class_id);  // mapper: an object edit
  // Mapper: pastes the attribute data (linfos) of one object into another.
  void PasteData(int32_t from_id, int32_t to_id);

  // ---- Selection, active object, views --------------------------------------
  const std::vector<int32_t>& Selection() const;  // in the order of selecting
  void Select(int32_t id);
  void Deselect(int32_t id);
  void DeselectAll();
  int32_t ActiveObject() const;
  void Activate(int32_t id);
  View CurrentView() const;
  int UpdateDepth() const;  // ktBeginUpdate minus ktEndUpdate
  int RedrawCount() const;
  Point Cursor() const;
  void SetCursor(Point p);

  // ---- Attribute tables (rows of the data object, normally the active one) ---
  // The object whose rows the tables show.
  int32_t DataObject() const;
  // Text of a field of the current row; nullopt for no value (null, no row).
  std::optional<std::string> Value(const std::string& table, const std::string& field) const;
  // Mapper enters a value: the field hooks run, then the field takes the value.
  void EnterValue(const std::string& table, const std::string& field, const std::string& text);
  void PostRow(const std::string& table);    // mapper
  void AppendRow(const std::string& table);  // mapper
  void DeleteRow(const std::string& table);  // mapper
  void FirstRow(const std::string& table);   // mapper
  void NextRow(const std::string& table);    // mapper
  bool RowEof(const std::string& table) const;
  bool RowModified(const std::string& table) const;
  int RowCount(const std::string& table) const;  // rows of the data object
  int ControlsDisabled(const std::string& table) const;
  // Every stored row of a table, as text (for checks), ordered by key.
  std::vector<std::map<std::string, std::string>> StoredRows(const std::string& table) const;

  // ---- Menu commands ------------------------------------------------------
  // Runs the export bound to a menu command, or an export of that name;
  // returns the hook's answer.
  bool RunMenuCommand(const std::string& name);

  // Reports a host command the mapper carried out outside the commands above
  // (an exchange menu entry, say): fires the command-done event.
  void ReportCommand(int32_t command_number, int32_t lparam = 0, uint16_t wparam = 0);

  // ---- Exchange (the kt* functions; also mapper commands) --------------------
  bool ExportGeodata(const std::string& file, bool all_objects);
  bool ImportGeodata(const std::string& file, bool replace_existing);
  bool ExportXml(const std::string& file, bool all_objects, bool with_empty_fields,
                 const std::string& true_text, const std::string& false_text);
  bool ImportXml(const std::string& file, bool create_missing);

  // ---- Event loop ---------------------------------------------------------
  using Clock = std::chrono::steady_clock;
  // A virtual clock advances only through AdvanceClock (batch runs); the real
  // one follows the steady clock.
  void UseVirtualClock(bool virtual_clock);
  // Lets time pass, running each timer as it falls due: at once on the
  // virtual clock, sleeping on the real one.
  void AdvanceClock(std::chrono::milliseconds by);
  uint32_t SetTimer(uint32_t interval_ms, void (*proc)(void*), void* context);
  void KillTimer(uint32_t id);
  size_t TimerCount() const;
  // Runs every timer that is due now; returns how many ran.
  int RunDueTimers();
  // Time until the next timer is due; nullopt when no timer runs.
  std::optional<std::chrono::milliseconds> NextTimerDue() const;
  // Runs `claim` whenever a presenter is about to write to the terminal
  // (kartulsim_claim_terminal); an empty function ends that.
  void SetTerminalClaim(std::function<void()> claim);

 private:
  // The parts do the work; each method above is a thin call into them.
  friend HostParts& PartsOf(Host& host);
  std::unique_ptr<HostParts> parts_;
};

// The one host of this process, created on first use.
Host& TheHost();

}  // namespace hostsim
