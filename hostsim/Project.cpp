// The project of the host stand-in: folders, databases, class list, objects,
// selection and interactive creation (see Project.h).
#include "hostsim/Project.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hostsim/Geometry.h"
#include "hostsim/PluginHost.h"
#include "hostsim/TableCursors.h"
#include "hostsim/System.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

constexpr const char* kProjectFile = "KTProjekt.ktp";
constexpr const char* kProjectDbName = "KTProjekt.db";
constexpr const char* kApplicatIni = "applicat.ini";
constexpr const char* kProcedureDbName = "Verfahren.db";

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// A value of a Windows ini file (Windows-1252, sections and keys without
// regard to case); nullopt when missing.
std::optional<std::string> ReadIni(const std::string& path, std::string_view section,
                                   std::string_view key) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  bool in_section = false;
  while (std::getline(in, line)) {
    std::string t(platform::text::Trim(line));
    if (t.empty() || t[0] == ';') continue;
    if (t.front() == '[') {
      size_t close = t.find(']');
      in_section = close != std::string::npos &&
                   platform::text::EqualsIgnoreCase(t.substr(1, close - 1), section);
      continue;
    }
    size_t eq = t.find('=');
    if (in_section && eq != std::string::npos &&
        platform::text::EqualsIgnoreCase(platform::text::Trim(t.substr(0, eq)), key))
      return platform::text::AnsiToUtf8(platform::text::Trim(t.substr(eq + 1)));
  }
  return std::nullopt;
}

void WriteTextFile(const fs::path& path, const std::string& utf8_text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << platform::text::Utf8ToAnsi(utf8_text);
  if (!out.flush()) throw HostError("cannot write " + path.string());
}

struct DemoClass {
  int32_t id;
  const char* short_name;
  const char* long_name;
  TDrawTyp typ;
};

// The class list of a new procedure folder: the classes of nature
// conservation mapping, with the plant list under its host code.
constexpr DemoClass kDemoClasses[] = {
    {1001, "NSG", "Naturschutzgebiet", ktFlaeche},
    {1002, "FFH", "FFH-Gebiet", ktFlaeche},
    {1003, "VSG", "Vogelschutzgebiet", ktFlaeche},
    {1004, "ND", "Naturdenkmal", ktSinglePoint},
    {1005, "ND_GLB", "Geschützter Landschaftsbestandteil", ktFlaeche},
    {1006, "OEK", "Ökokontofläche", ktFlaeche},
    {1007, "OEK_TF", "Ökokonto-Teilfläche", ktFlaeche},
    {1008, "LRT-Art-VO", "Lebensraumtyp nach Artenschutzverordnung", ktFlaeche},
    {1009, "BIO", "Biotop", ktFlaeche},
    {1010, "WEG", "Wanderweg", ktLinie},
    {7660160, "PFL", "Pflanzenliste", ktSinglePoint},
};

std::string ShowText(const std::string& s) {
  return "\"" + s + "\"";
}

}  // namespace

void Project::CreateSchema(SqliteDb& db) {
  Transaction t(db);
  db.Exec(
      "CREATE TABLE IF NOT EXISTS KT_OBJEKTE (ID INTEGER PRIMARY KEY AUTOINCREMENT, KENNUNG TEXT "
      "NOT NULL UNIQUE, KLASSE INTEGER NOT NULL, TYP INTEGER NOT NULL, GEOMETRIE TEXT NOT NULL)");
  TableCursors::CreateSchema(db);
  t.Commit();
}

void Project::Create(const std::string& project_dir, const std::string& procedure_dir) {
  fs::path project(sys::AbsolutePath(project_dir));
  fs::path procedure = procedure_dir.empty() ? project / "Verfahren"
                                             : fs::path(sys::AbsolutePath(procedure_dir));
  std::error_code ec;
  if (fs::exists(project / kProjectFile))
    throw HostError("a project already exists in " + project.string());
  fs::create_directories(project, ec);
  if (ec) throw HostError("cannot create " + project.string() + ": " + ec.message());
  if (!fs::exists(procedure / kApplicatIni)) {
    fs::create_directories(procedure, ec);
    if (ec) throw HostError("cannot create " + procedure.string() + ": " + ec.message());
    {
      SqliteDb pdb((procedure / kProcedureDbName).string(), true);
      Transaction t(pdb);
      pdb.Exec(
          "CREATE TABLE IF NOT EXISTS ObjectClass (OKL_ID INTEGER PRIMARY KEY, Shortname TEXT, "
          "Langname TEXT, Geometrie INTEGER, OKLType INTEGER)");
      SqliteStmt s(pdb, "INSERT OR REPLACE INTO ObjectClass VALUES (?1,?2,?3,?4,0)");
      for (const auto& c : kDemoClasses) {
        s.Reset();
        s.Bind(1, c.id)
            .Bind(2, std::string(c.short_name))
            .Bind(3, std::string(c.long_name))
            .Bind(4, static_cast<int64_t>(c.typ));
        s.Run();
      }
      t.Commit();
    }
    WriteTextFile(procedure / kApplicatIni,
                  "[Verfahren]\r\nName=Naturschutz\r\nDatenbank=" + std::string(kProcedureDbName) +
                      "\r\n\r\n[Config]\r\nBundesland=NRW\r\nTrueValue=T\r\nFalseValue=F\r\n\r\n"
                      "[VANDRA]\r\nNSGPrefixFilter=0\r\nAutoCheckIn=0\r\n\r\n"
                      "[VANDRA II]\r\nVD2Transaktion=0\r\n");
  }
  {
    SqliteDb db((project / kProjectDbName).string(), true);
    CreateSchema(db);
  }
  // A procedure folder inside the project is named relatively, so the
  // project folder can move as a whole.
  fs::path relative = procedure.lexically_relative(project);
  bool inside = !relative.empty() && *relative.begin() != "..";
  WriteTextFile(project / kProjectFile,
                "[Projekt]\r\nName=" + project.filename().string() +
                    "\r\nVerfahren=" + (inside ? relative : procedure).string() +
                    "\r\nDatenbank=" + kProjectDbName + "\r\n");
}

void Project::Open(const std::string& project_dir) {
  fs::path project(sys::AbsolutePath(project_dir));
  std::string ktp = (project / kProjectFile).string();
  if (!fs::exists(ktp))
    throw HostError("no project in " + project.string() + " (" + kProjectFile + " missing)");
  std::string procedure = ReadIni(ktp, "Projekt", "Verfahren").value_or("Verfahren");
  fs::path procedure_path =
      fs::path(procedure).is_absolute() ? fs::path(procedure) : project / procedure;
  procedure_path = procedure_path.lexically_normal();
  std::string applicat = (procedure_path / kApplicatIni).string();
  if (!fs::exists(applicat))
    throw HostError("the procedure folder " + procedure_path.string() + " has no " + kApplicatIni);
  std::string db_name = ReadIni(ktp, "Projekt", "Datenbank").value_or(kProjectDbName);
  std::string proc_db_name = ReadIni(applicat, "Verfahren", "Datenbank").value_or(kProcedureDbName);

  // Read the class list before anything changes, so a broken procedure
  // folder leaves the open project as it was.
  std::vector<ObjectClass> classes;
  std::string proc_db = (procedure_path / proc_db_name).string();
  {
    if (!fs::exists(proc_db)) throw HostError("procedure database " + proc_db + " missing");
    SqliteDb pdb(proc_db, false);
    if (!pdb.TableExists("ObjectClass")) throw HostError(proc_db + " has no table ObjectClass");
    SqliteStmt s(pdb, "SELECT * FROM ObjectClass ORDER BY OKL_ID");
    int n = s.ColumnCount();
    auto col = [&](const char* name) {
      for (int i = 0; i < n; ++i)
        if (platform::text::EqualsIgnoreCase(s.ColumnName(i), name)) return i;
      return -1;
    };
    int c_id = col("OKL_ID"), c_short = col("Shortname"), c_long = col("Langname"),
        c_geo = col("Geometrie"), c_type = col("OKLType");
    if (c_id < 0) throw HostError(proc_db + ": ObjectClass has no column OKL_ID");
    while (s.Step()) {
      ObjectClass oc;
      oc.id = static_cast<int32_t>(s.Int(c_id));
      if (c_short >= 0) oc.short_name = s.Text(c_short);
      if (c_long >= 0) oc.long_name = s.Text(c_long);
      if (c_geo >= 0 && !s.IsNull(c_geo) && IsObjectDrawTyp(static_cast<int>(s.Int(c_geo))))
        oc.typ = static_cast<TDrawTyp>(s.Int(c_geo));
      if (c_type >= 0) oc.class_type = static_cast<uint8_t>(s.Int(c_type));
      classes.push_back(oc);
    }
  }

  Close();
  plugin_.Fire(HookEvent::kBeforeLoadProject, 0, 0, 0);
  auto db = std::make_unique<SqliteDb>((project / db_name).string(), true);
  CreateSchema(*db);
  std::map<int32_t, GeoObject> objects;
  std::map<std::string, int32_t> by_kennung;
  {
    SqliteStmt s(*db, "SELECT ID, KENNUNG, KLASSE, TYP, GEOMETRIE FROM KT_OBJEKTE ORDER BY ID");
    while (s.Step()) {
      GeoObject o;
      o.id = static_cast<int32_t>(s.Int(0));
      o.kennung = s.Text(1);
      o.klasse = static_cast<int32_t>(s.Int(2));
      o.typ = static_cast<TDrawTyp>(s.Int(3));
      auto g = GeometryFromText(s.Text(4));
      if (!g)
        plugin_.Note("object #" + std::to_string(o.id) +
                     " has unreadable geometry; loaded without");
      o.geometry = g.value_or(std::vector<Point>{});
      by_kennung[o.kennung] = o.id;
      objects[o.id] = std::move(o);
    }
  }
  db_ = std::move(db);
  dir_ = WithSlash(project.generic_string());
  procedure_dir_ = WithSlash(procedure_path.generic_string());
  db_path_ = (project / db_name).string();
  procedure_db_path_ = proc_db;
  classes_ = std::move(classes);
  objects_ = std::move(objects);
  by_kennung_ = std::move(by_kennung);
  selection_.clear();
  selected_.clear();
  active_ = 0;
  current_class_ = classes_.empty() ? 0 : classes_.front().id;
  view_ = View::kMap;
  creation_ = Creation::kIdle;
  tables_.Open(*db_);
  plugin_.Fire(HookEvent::kAfterLoadProject, 0, 0, 0);
  plugin_.CommandDone(command::kOpenProject);
}

void Project::Close() {
  if (!IsOpen()) return;
  plugin_.Fire(HookEvent::kBeforeCloseProject, 0, 0, 0);
  if (!IsOpen()) return;  // a hook closed it already
  try {
    tables_.PostAll();
  } catch (const std::exception& e) {
    plugin_.Note(std::string("pending row not saved at close: ") + e.what());
  }
  tables_.Close();
  db_.reset();
  dir_.clear();
  procedure_dir_.clear();
  db_path_.clear();
  procedure_db_path_.clear();
  classes_.clear();
  objects_.clear();
  by_kennung_.clear();
  selection_.clear();
  selected_.clear();
  active_ = current_class_ = 0;
  creation_ = Creation::kIdle;
  plugin_.Fire(HookEvent::kAfterCloseProject, 0, 0, 0);
  plugin_.CommandDone(command::kCloseProject);
}

void Project::RequireOpen() const {
  if (!IsOpen()) throw HostError("no project is open");
}

SqliteDb& Project::Db() {
  RequireOpen();
  return *db_;
}

void Project::RequireObject(int32_t id) const {
  RequireOpen();
  if (!objects_.count(id)) throw HostError("no object with id " + std::to_string(id));
}

// ---- Classes -------------------------------------------------------------------

const ObjectClass* Project::ClassById(int32_t id) const {
  for (const auto& c : classes_)
    if (c.id == id) return &c;
  return nullptr;
}

const ObjectClass* Project::FindClass(std::string_view id_or_short_name) const {
  for (const auto& c : classes_)
    if (c.short_name == id_or_short_name || std::to_string(c.id) == id_or_short_name) return &c;
  return nullptr;
}

void Project::SetCurrentClass(int32_t id) {
  RequireOpen();
  if (!ClassById(id)) throw HostError("no object class " + std::to_string(id));
  current_class_ = id;
}

// ---- Objects -------------------------------------------------------------------

std::vector<int32_t> Project::ObjectIds() const {
  std::vector<int32_t> ids;
  for (const auto& [id, o] : objects_) ids.push_back(id);
  return ids;
}

const GeoObject* Project::Find(int32_t id) const {
  auto it = objects_.find(id);
  return it == objects_.end() ? nullptr : &it->second;
}

int32_t Project::Resolve(std::string_view ref) const {
  if (ref.size() > 1 && ref[0] == '#') {
    try {
      size_t used = 0;
      int id = std::stoi(std::string(ref.substr(1)), &used);
      if (used == ref.size() - 1 && Find(id)) return id;
    } catch (...) {
    }
    return 0;
  }
  return IdOf(ref);
}

int32_t Project::IdOf(std::string_view kennung) const {
  auto it = by_kennung_.find(std::string(kennung));
  return it == by_kennung_.end() ? 0 : it->second;
}

std::string Project::ProposeKennung(int32_t class_id) const {
  const ObjectClass* c = ClassById(class_id);
  // A short name the code page cannot hold would make every proposal unusable.
  const bool usable = c && !c->short_name.empty() && platform::text::FitsAnsi(c->short_name);
  std::string prefix = (usable ? c->short_name : "OBJ") + "-";
  for (int n = 1;; ++n) {
    std::string k = prefix + std::to_string(n);
    if (!by_kennung_.count(k)) return k;
  }
}

std::string Project::KennungProblem(const std::string& kennung, int32_t except_id) const {
  if (kennung.empty()) return "an identifier must not be empty";
  if (platform::text::Utf8Length(kennung) > kMaxKennung)
    return "the identifier \"" + kennung + "\" is longer than " + std::to_string(kMaxKennung) +
           " characters";
  if (kennung.find('\0') != std::string::npos) return "an identifier must not contain a zero byte";
  // The host keeps identifiers in Windows-1252 and hands them to plug-ins so;
  // a character without a code there would reach them as something else.
  std::string bad;
  if (!platform::text::Utf8ToAnsiStrict(kennung, &bad))
    return "the identifier \"" + kennung + "\" cannot be used: " + bad;
  auto it = by_kennung_.find(kennung);
  if (it != by_kennung_.end() && it->second != except_id)
    return "the identifier \"" + kennung + "\" already exists (object #" +
           std::to_string(it->second) + ")";
  return "";
}

double Project::Easting(int32_t id) const {
  const GeoObject* o = Find(id);
  return o ? ReferencePoint(o->typ, o->geometry).x : 0;
}
double Project::Northing(int32_t id) const {
  const GeoObject* o = Find(id);
  return o ? ReferencePoint(o->typ, o->geometry).y : 0;
}
double Project::Area(int32_t id) const {
  const GeoObject* o = Find(id);
  return o ? AreaOf(o->typ, o->geometry) : 0;
}

int32_t Project::Create(int32_t class_id, TDrawTyp typ, const std::vector<Point>& geometry,
                        const std::string& kennung) {
  RequireOpen();
  if (!ClassById(class_id)) throw HostError("no object class " + std::to_string(class_id));
  std::string problem = CheckGeometry(typ, geometry);
  if (!problem.empty()) throw HostError(problem);
  if (!kennung.empty()) {
    problem = KennungProblem(kennung, 0);
    if (!problem.empty()) throw HostError(problem);
  }
  cursor_ = geometry.front();
  return CreateThroughHooks(class_id, typ, geometry,
                            kennung.empty() ? ProposeKennung(class_id) : kennung,
                            command::kCreateObject);
}

int32_t Project::CreateThroughHooks(int32_t klasse, TDrawTyp typ,
                                    const std::vector<Point>& geometry, const std::string& proposal,
                                    int32_t command_number) {
  std::string ansi = platform::text::Utf8ToAnsi(proposal).substr(0, kMaxKennung);
  // Exactly maxChar characters and the terminator, so that a plug-in writing
  // past it is caught by the sanitizers rather than silently tolerated.
  std::vector<char> buffer(kMaxKennung + 1, '\0');
  std::memcpy(buffer.data(), ansi.data(), ansi.size());
  TGetNewKennung request{buffer.data(), static_cast<uint16_t>(kMaxKennung), 1};
  bool go_on = plugin_.Fire(
      HookEvent::kBeforeCreateObject, klasse, reinterpret_cast<intptr_t>(&request), typ,
      std::to_string(klasse) + ", {Kennung=" + ShowText(proposal) +
          ", maxChar=" + std::to_string(kMaxKennung) + ", UseDialog=1}, " + std::to_string(typ));
  if (!go_on) return 0;
  RequireOpen();  // a hook may have closed it
  std::string chosen =
      platform::text::AnsiToUtf8(std::string(buffer.data(), strnlen(buffer.data(), buffer.size())));
  std::string problem = KennungProblem(chosen, 0);
  if (request.UseDialog == 0) {
    if (!problem.empty()) {
      plugin_.Note("object not created: the plug-in settled on an unusable identifier: " + problem);
      return 0;
    }
  } else if (!problem.empty()) {
    // The host's own identifier handling: its proposal, or a fresh one.
    chosen = KennungProblem(proposal, 0).empty() ? proposal : ProposeKennung(klasse);
  }
  Batch batch(*this);
  int32_t id = batch.Insert(klasse, typ, geometry, chosen);
  batch.Commit();
  Activate(id);
  plugin_.Fire(HookEvent::kObjectCreated, command_number, id, 0);
  return id;
}

bool Project::SetKennung(int32_t id, const std::string& kennung) {
  auto it = objects_.find(id);
  if (it == objects_.end()) {
    plugin_.Note("ktSetKennung: no object with id " + std::to_string(id));
    return false;
  }
  std::string problem = KennungProblem(kennung, id);
  if (!problem.empty()) {
    plugin_.Note("ktSetKennung refused: " + problem);
    return false;
  }
  if (it->second.kennung == kennung) return true;
  if (!plugin_.Fire(HookEvent::kKennungChanging, id, 0, 0)) {
    plugin_.Note("identifier change of #" + std::to_string(id) + " vetoed by the plug-in");
    return false;
  }
  // The hook may have deleted the object or taken the identifier; the
  // second call comes in any case so the plug-in's pairing stays in step.
  bool changed = false;
  it = objects_.find(id);
  if (it != objects_.end() && KennungProblem(kennung, id).empty() && IsOpen()) {
    Transaction t(*db_);
    SqliteStmt s(*db_, "UPDATE KT_OBJEKTE SET KENNUNG=?1 WHERE ID=?2");
    s.Bind(1, kennung).Bind(2, id).Run();
    tables_.RenameObjectRows(id, kennung);
    t.Commit();
    by_kennung_.erase(it->second.kennung);
    by_kennung_[kennung] = id;
    it->second.kennung = kennung;
    changed = true;
    tables_.ShowRenamed(id, kennung);
  }
  plugin_.Fire(HookEvent::kKennungChanged, id, 0, 0);
  return changed;
}

bool Project::Rename(int32_t id, const std::string& kennung) {
  RequireObject(id);
  std::string problem = KennungProblem(kennung, id);
  if (!problem.empty()) throw HostError(problem);
  return SetKennung(id, kennung);
}

void Project::Delete(int32_t id) {
  RequireObject(id);
  plugin_.Fire(HookEvent::kObjectDeleting, id, 0, 0);
  if (!IsOpen() || !objects_.count(id)) return;  // the hook took care of it
  if (tables_.DataObject() == id) tables_.PostAll();
  {
    Transaction t(*db_);
    SqliteStmt s(*db_, "DELETE FROM KT_OBJEKTE WHERE ID=?1");
    s.Bind(1, id).Run();
    tables_.DeleteObjectRows(id);
    t.Commit();
  }
  by_kennung_.erase(objects_[id].kennung);
  objects_.erase(id);
  DropObjectState(id);
}

void Project::DropObjectState(int32_t id) {
  Unselect(id);
  if (active_ == id) active_ = 0;
  tables_.ForgetObject(id, active_);
}

bool Project::MoveVertex(int32_t id, size_t vertex, Point to) {
  RequireObject(id);
  if (vertex >= objects_[id].geometry.size())
    throw HostError("object " + objects_[id].kennung + " has no vertex " + std::to_string(vertex));
  bool allowed = plugin_.Fire(HookEvent::kGeometryChanging, 0, id, 0);
  if (!allowed || !objects_.count(id) || vertex >= objects_[id].geometry.size()) return false;
  std::vector<Point> g = objects_[id].geometry;
  g[vertex] = to;
  {
    Transaction t(*db_);
    SqliteStmt s(*db_, "UPDATE KT_OBJEKTE SET GEOMETRIE=?1 WHERE ID=?2");
    s.Bind(1, GeometryToText(g)).Bind(2, id).Run();
    t.Commit();
  }
  objects_[id].geometry = g;
  cursor_ = to;
  plugin_.Fire(HookEvent::kGeometryChanged, id, 0, 0);
  return true;
}

void Project::ChangeClass(int32_t id, int32_t class_id) {
  RequireObject(id);
  if (!ClassById(class_id)) throw HostError("no object class " + std::to_string(class_id));
  {
    Transaction t(*db_);
    SqliteStmt s(*db_, "UPDATE KT_OBJEKTE SET KLASSE=?1 WHERE ID=?2");
    s.Bind(1, class_id).Bind(2, id).Run();
    t.Commit();
  }
  objects_[id].klasse = class_id;
  plugin_.Fire(HookEvent::kObjectEdited, 0, 0, 0);
}

void Project::PasteData(int32_t from_id, int32_t to_id) {
  RequireObject(from_id);
  RequireObject(to_id);
  const TableDef& linfos = *FindTable("linfos");
  Activate(from_id);
  TableCursors::Row source = tables_.CurrentRow(linfos);
  Activate(to_id);
  if (!tables_.PasteRow(linfos, source))
    throw HostError("object #" + std::to_string(to_id) + " has no linfos row");
  plugin_.Fire(HookEvent::kDataPasted, 0, 0, 0);
}

// ---- Interactive creation -----------------------------------------------------

void Project::StartPlacing(int32_t class_id, TDrawTyp typ, const std::string& kennung) {
  RequireOpen();
  if (!ClassById(class_id)) throw HostError("no object class " + std::to_string(class_id));
  if (!IsObjectDrawTyp(typ))
    throw HostError("draw type " + std::to_string(typ) + " creates no object");
  creation_ = Creation::kPlacing;
  placing_class_ = class_id;
  placing_typ_ = typ;
  placing_kennung_ = kennung;
}

bool Project::FinishPlacing() {
  switch (creation_) {
    case Creation::kIdle:
      return false;
    case Creation::kPlaced:
      creation_ = Creation::kIdle;
      return true;
    case Creation::kPlacing:
      // Finishing before anything was placed gives the placing up.
      GiveUpPlacing();
      return true;
  }
  return false;
}

int32_t Project::Place(const std::vector<Point>& geometry) {
  RequireOpen();
  if (creation_ != Creation::kPlacing) throw HostError("nothing to place (no ktCreateObjectStart)");
  std::string problem = CheckGeometry(placing_typ_, geometry);
  if (!problem.empty()) throw HostError(problem);
  cursor_ = geometry.front();
  int32_t id = CreateThroughHooks(placing_class_, placing_typ_, geometry, placing_kennung_,
                                  command::kPlaceObject);
  if (id == 0) {
    GiveUpPlacing();
    return 0;
  }
  if (creation_ == Creation::kPlacing) creation_ = Creation::kPlaced;
  plugin_.CommandDone(command::kPlaceObject, id, command::kPlaced);
  return id;
}

void Project::Abandon() {
  if (creation_ != Creation::kPlacing) throw HostError("nothing is being placed");
  GiveUpPlacing();
}

void Project::GiveUpPlacing() {
  creation_ = Creation::kIdle;
  plugin_.CommandDone(command::kPlaceObject, 0, command::kAbandoned);
}

// ---- Selection, active object, views -------------------------------------------

void Project::Select(int32_t id) {
  RequireObject(id);
  if (selected_.insert(id).second) selection_.push_back(id);
}

void Project::Deselect(int32_t id) {
  RequireObject(id);
  Unselect(id);
}

void Project::Unselect(int32_t id) {
  if (selected_.erase(id) == 0) return;
  selection_.erase(std::remove(selection_.begin(), selection_.end(), id), selection_.end());
}

void Project::DeselectAll() {
  RequireOpen();
  selection_.clear();
  selected_.clear();
}

void Project::Activate(int32_t id) {
  RequireObject(id);
  active_ = id;
  tables_.ShowRowsOf(id);
}

bool Project::EndUpdate() {
  if (update_depth_ == 0) return false;
  --update_depth_;
  return true;
}

// ---- Batch -----------------------------------------------------------------------

Project::Batch::Batch(Project& project) : project_(project), transaction_(project.Db()) {}

int32_t Project::Batch::Insert(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                               const std::string& kennung) {
  SqliteDb& db = *project_.db_;
  SqliteStmt s(db, "INSERT INTO KT_OBJEKTE (KENNUNG, KLASSE, TYP, GEOMETRIE) VALUES (?1,?2,?3,?4)");
  s.Bind(1, kennung)
      .Bind(2, klasse)
      .Bind(3, static_cast<int64_t>(typ))
      .Bind(4, GeometryToText(geometry))
      .Run();
  auto id = static_cast<int32_t>(db.LastInsertId());
  project_.tables_.InsertObjectRows(id, kennung);
  stored_.push_back({id, kennung, klasse, typ, geometry});
  return id;
}

void Project::Batch::Replace(int32_t id, int32_t klasse, TDrawTyp typ,
                             const std::vector<Point>& geometry) {
  project_.RequireObject(id);
  SqliteStmt s(*project_.db_, "UPDATE KT_OBJEKTE SET KLASSE=?1, TYP=?2, GEOMETRIE=?3 WHERE ID=?4");
  s.Bind(1, klasse)
      .Bind(2, static_cast<int64_t>(typ))
      .Bind(3, GeometryToText(geometry))
      .Bind(4, id)
      .Run();
  stored_.push_back({id, project_.objects_.at(id).kennung, klasse, typ, geometry});
}

void Project::Batch::Commit() {
  transaction_.Commit();
  for (auto& o : stored_) {
    project_.by_kennung_[o.kennung] = o.id;
    project_.objects_[o.id] = std::move(o);
  }
  stored_.clear();
}

}  // namespace hostsim
