// The host model: project folder and databases, plug-in loading and the hook
// calls, objects, selection, interactive creation and the timers of the
// event loop. Attribute tables are in HostTables.cpp, the file exchange in
// HostExchange.cpp.
#include "hostsim/HostModel.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hostsim/Ansi.h"
#include "hostsim/Geometry.h"
#include "hostsim/HostImpl.h"
#include "hostsim/Text.h"

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
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') continue;
    if (t.front() == '[') {
      size_t close = t.find(']');
      in_section = close != std::string::npos && Lower(t.substr(1, close - 1)) == Lower(section);
      continue;
    }
    size_t eq = t.find('=');
    if (in_section && eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == Lower(key))
      return AnsiToUtf8(Trim(t.substr(eq + 1)));
  }
  return std::nullopt;
}

void WriteTextFile(const fs::path& path, const std::string& utf8_text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << Utf8ToAnsi(utf8_text);
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

std::optional<bool> ParseBool(std::string_view text) {
  std::string t = Trim(text);
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

// ---------------------------------------------------------------------------
// Impl helpers

void Host::Impl::Note(const std::string& text) {
  plugin.Note(text);
}

void Host::Impl::RequireProject() const {
  if (project_dir.empty()) throw HostError("no project is open");
}

void Host::Impl::RequireObject(int32_t id) const {
  RequireProject();
  if (!objects.count(id)) throw HostError("no object with id " + std::to_string(id));
}

std::optional<int16_t> Host::Impl::CallExport(const std::string& export_name, intptr_t p1,
                                              intptr_t p2, uint16_t p3,
                                              const std::string& shown_args) {
  return plugin.Call(export_name, p1, p2, p3, shown_args);
}

bool Host::Impl::Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3,
                      const std::string& shown_args) {
  return plugin.Fire(event, p1, p2, p3, shown_args);
}

bool Host::Impl::FireSimple(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3) {
  return plugin.Fire(event, p1, p2, p3);
}

void Host::Impl::CommandDone(int32_t command_number, int32_t lparam, uint16_t wparam) {
  plugin.CommandDone(command_number, lparam, wparam);
}

// Empty when the identifier may be given to an object (except_id may keep its own).
std::string Host::Impl::KennungProblem(const std::string& kennung, int32_t except_id) const {
  if (kennung.empty()) return "an identifier must not be empty";
  if (Utf8Length(kennung) > kMaxKennung)
    return "the identifier \"" + kennung + "\" is longer than " + std::to_string(kMaxKennung) +
           " characters";
  if (kennung.find('\0') != std::string::npos) return "an identifier must not contain a zero byte";
  auto it = by_kennung.find(kennung);
  if (it != by_kennung.end() && it->second != except_id)
    return "the identifier \"" + kennung + "\" already exists (object #" +
           std::to_string(it->second) + ")";
  return "";
}

int32_t Host::Impl::StoreNewObject(int32_t klasse, TDrawTyp typ, const std::vector<Point>& geometry,
                                   const std::string& kennung) {
  int32_t id = 0;
  {
    Transaction t(*db);
    SqliteStmt s(*db,
                 "INSERT INTO KT_OBJEKTE (KENNUNG, KLASSE, TYP, GEOMETRIE) VALUES (?1,?2,?3,?4)");
    s.Bind(1, kennung)
        .Bind(2, klasse)
        .Bind(3, static_cast<int64_t>(typ))
        .Bind(4, GeometryToText(geometry));
    s.Run();
    id = static_cast<int32_t>(db->LastInsertId());
    InsertObjectRows(id, kennung);
    t.Commit();
  }
  objects[id] = GeoObject{id, kennung, klasse, typ, geometry};
  by_kennung[kennung] = id;
  return id;
}

int32_t Host::Impl::CreateThroughHooks(int32_t klasse, TDrawTyp typ,
                                       const std::vector<Point>& geometry,
                                       const std::string& proposal, int32_t command_number) {
  std::string ansi = Utf8ToAnsi(proposal).substr(0, kMaxKennung);
  // Exactly maxChar characters and the terminator, so that a plug-in writing
  // past it is caught by the sanitizers rather than silently tolerated.
  std::vector<char> buffer(kMaxKennung + 1, '\0');
  std::memcpy(buffer.data(), ansi.data(), ansi.size());
  TGetNewKennung request{buffer.data(), static_cast<uint16_t>(kMaxKennung), 1};
  bool go_on = Fire(
      HookEvent::kBeforeCreateObject, klasse, reinterpret_cast<intptr_t>(&request), typ,
      std::to_string(klasse) + ", {Kennung=" + ShowText(proposal) +
          ", maxChar=" + std::to_string(kMaxKennung) + ", UseDialog=1}, " + std::to_string(typ));
  if (!go_on) return 0;
  RequireProject();  // a hook may have closed it
  std::string chosen =
      AnsiToUtf8(std::string(buffer.data(), strnlen(buffer.data(), buffer.size())));
  std::string problem = KennungProblem(chosen, 0);
  if (request.UseDialog == 0) {
    if (!problem.empty()) {
      Note("object not created: the plug-in settled on an unusable identifier: " + problem);
      return 0;
    }
  } else if (!problem.empty()) {
    // The host's own identifier handling: its proposal, or a fresh one.
    chosen = KennungProblem(proposal, 0).empty() ? proposal : host.ProposeKennung(klasse);
  }
  int32_t id = StoreNewObject(klasse, typ, geometry, chosen);
  SetActive(id);
  FireSimple(HookEvent::kObjectCreated, command_number, id, 0);
  return id;
}

bool Host::Impl::SetKennung(int32_t id, const std::string& kennung) {
  auto it = objects.find(id);
  if (it == objects.end()) {
    Note("ktSetKennung: no object with id " + std::to_string(id));
    return false;
  }
  std::string problem = KennungProblem(kennung, id);
  if (!problem.empty()) {
    Note("ktSetKennung refused: " + problem);
    return false;
  }
  if (it->second.kennung == kennung) return true;
  if (!FireSimple(HookEvent::kKennungChanging, id, 0, 0)) {
    Note("identifier change of #" + std::to_string(id) + " vetoed by the plug-in");
    return false;
  }
  // The hook may have deleted the object or taken the identifier; the
  // second call comes in any case so the plug-in's pairing stays in step.
  bool changed = false;
  it = objects.find(id);
  if (it != objects.end() && KennungProblem(kennung, id).empty() && !project_dir.empty()) {
    Transaction t(*db);
    SqliteStmt s(*db, "UPDATE KT_OBJEKTE SET KENNUNG=?1 WHERE ID=?2");
    s.Bind(1, kennung).Bind(2, id).Run();
    SqliteStmt l(*db, "UPDATE linfos SET KENNUNG=?1 WHERE KARTULID=?2");
    l.Bind(1, kennung).Bind(2, id).Run();
    t.Commit();
    by_kennung.erase(it->second.kennung);
    by_kennung[kennung] = id;
    it->second.kennung = kennung;
    changed = true;
    // The linfos row shown may carry the old identifier in its buffer.
    auto c = cursors.find("linfos");
    if (c != cursors.end() && data_object == id && c->second.buffer.count("KENNUNG"))
      c->second.buffer["KENNUNG"] = kennung;
  }
  FireSimple(HookEvent::kKennungChanged, id, 0, 0);
  return changed;
}

void Host::Impl::Delete(int32_t id) {
  RequireObject(id);
  FireSimple(HookEvent::kObjectDeleting, id, 0, 0);
  if (project_dir.empty() || !objects.count(id)) return;  // the hook took care of it
  if (data_object == id) PostAll();
  {
    Transaction t(*db);
    SqliteStmt s(*db, "DELETE FROM KT_OBJEKTE WHERE ID=?1");
    s.Bind(1, id).Run();
    DeleteObjectRows(id);
    t.Commit();
  }
  by_kennung.erase(objects[id].kennung);
  objects.erase(id);
  DropObjectState(id);
}

void Host::Impl::DropObjectState(int32_t id) {
  selection.erase(std::remove(selection.begin(), selection.end(), id), selection.end());
  if (active == id) active = 0;
  if (data_object == id) {
    data_object = active;
    ResetCursors();
  }
}

void Host::Impl::AddToSelection(int32_t id) {
  if (std::find(selection.begin(), selection.end(), id) == selection.end()) selection.push_back(id);
}

void Host::Impl::SetActive(int32_t id) {
  active = id;
  SetDataObject(id);
}

void Host::Impl::SetDataObject(int32_t id) {
  if (data_object == id) return;
  PostAll();
  data_object = id;
  ResetCursors();
}

// ---------------------------------------------------------------------------
// Host

Host::Host() : impl_(std::make_unique<Impl>(*this)) {}

Host::~Host() {
  try {
    CloseProject();
  } catch (...) {
  }
  // The plug-in stays loaded: its code may still be referenced by timers or
  // by objects the process tears down after us.
}

Host& TheHost() {
  static Host* host = new Host();  // never destroyed: plug-ins may call in at exit
  return *host;
}

void Host::CreateProject(const std::string& project_dir, const std::string& procedure_dir) {
  fs::path project = fs::absolute(project_dir).lexically_normal();
  fs::path procedure = procedure_dir.empty() ? project / "Verfahren"
                                             : fs::absolute(procedure_dir).lexically_normal();
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
    CreateHostSchema(db);
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

void Host::OpenProject(const std::string& project_dir) {
  Impl& m = *impl_;
  fs::path project = fs::absolute(project_dir).lexically_normal();
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
        if (Lower(s.ColumnName(i)) == Lower(name)) return i;
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

  CloseProject();
  m.Fire(HookEvent::kBeforeLoadProject, 0, 0, 0, "0, 0, 0");
  auto db = std::make_unique<SqliteDb>((project / db_name).string(), true);
  std::map<int32_t, GeoObject> objects;
  std::map<std::string, int32_t> by_kennung;
  {
    m.db = std::move(db);
    CreateHostSchema(*m.db);
    SqliteStmt s(*m.db, "SELECT ID, KENNUNG, KLASSE, TYP, GEOMETRIE FROM KT_OBJEKTE ORDER BY ID");
    while (s.Step()) {
      GeoObject o;
      o.id = static_cast<int32_t>(s.Int(0));
      o.kennung = s.Text(1);
      o.klasse = static_cast<int32_t>(s.Int(2));
      o.typ = static_cast<TDrawTyp>(s.Int(3));
      auto g = GeometryFromText(s.Text(4));
      if (!g)
        m.Note("object #" + std::to_string(o.id) + " has unreadable geometry; loaded without");
      o.geometry = g.value_or(std::vector<Point>{});
      by_kennung[o.kennung] = o.id;
      objects[o.id] = std::move(o);
    }
  }
  m.project_dir = WithSlash(project.string());
  m.procedure_dir = WithSlash(procedure_path.string());
  m.project_db_path = (project / db_name).string();
  m.procedure_db_path = proc_db;
  m.classes = std::move(classes);
  m.objects = std::move(objects);
  m.by_kennung = std::move(by_kennung);
  m.selection.clear();
  m.active = m.data_object = 0;
  m.current_class = m.classes.empty() ? 0 : m.classes.front().id;
  m.view = View::kMap;
  m.creation = Creation::kIdle;
  m.ResetCursors();
  m.Fire(HookEvent::kAfterLoadProject, 0, 0, 0, "0, 0, 0");
  m.CommandDone(command::kOpenProject, 0, 0);
}

void Host::CloseProject() {
  Impl& m = *impl_;
  if (m.project_dir.empty()) return;
  m.Fire(HookEvent::kBeforeCloseProject, 0, 0, 0, "0, 0, 0");
  if (m.project_dir.empty()) return;  // a hook closed it already
  try {
    m.PostAll();
  } catch (const std::exception& e) {
    m.Note(std::string("pending row not saved at close: ") + e.what());
  }
  m.db.reset();
  m.project_dir.clear();
  m.procedure_dir.clear();
  m.project_db_path.clear();
  m.procedure_db_path.clear();
  m.classes.clear();
  m.objects.clear();
  m.by_kennung.clear();
  m.selection.clear();
  m.active = m.data_object = m.current_class = 0;
  m.creation = Creation::kIdle;
  m.cursors.clear();
  m.Fire(HookEvent::kAfterCloseProject, 0, 0, 0, "0, 0, 0");
  m.CommandDone(command::kCloseProject, 0, 0);
}

bool Host::HasProject() const {
  return !impl_->project_dir.empty();
}
std::string Host::ProjectDir() const {
  return impl_->project_dir;
}
std::string Host::ProcedureDir() const {
  return impl_->procedure_dir;
}
std::string Host::ProjectDB() const {
  return impl_->project_db_path;
}
std::string Host::ProcedureDB() const {
  return impl_->procedure_db_path;
}

// ---- Plug-in ----------------------------------------------------------------

void Host::LoadPlugin(const std::string& name_or_path, const std::string& search_dir) {
  impl_->plugin.Load(name_or_path, search_dir);
}
bool Host::HasPlugin() const {
  return impl_->plugin.Loaded();
}
std::string Host::PluginFile() const {
  return impl_->plugin.File();
}
void Host::SetHookTable(const HookTable& table) {
  impl_->plugin.SetHookTable(table);
}
const HookTable& Host::Hooks() const {
  return impl_->plugin.Hooks();
}
void Host::Bind(HookEvent event, const std::string& export_name) {
  impl_->plugin.Bind(event, export_name);
}
void Host::BindMenu(const std::string& command, const std::string& export_name) {
  impl_->plugin.BindMenu(command, export_name);
}
void Host::SetUtf16HookTexts(bool utf16) {
  impl_->plugin.SetUtf16(utf16);
}
bool Host::Utf16HookTexts() const {
  return impl_->plugin.Utf16();
}
void Host::SetTraceSink(std::function<void(const HookCall&)> sink) {
  impl_->plugin.SetTraceSink(std::move(sink));
}
const std::vector<HookCall>& Host::HookLog() const {
  return impl_->plugin.Log();
}
void Host::ClearHookLog() {
  impl_->plugin.ClearLog();
}
void Host::SetNoteSink(std::function<void(const std::string&)> sink) {
  impl_->plugin.SetNoteSink(std::move(sink));
}

bool Host::RunMenuCommand(const std::string& name) {
  bool answer = impl_->plugin.RunMenuCommand(name);
  impl_->plugin.CommandDone(command::kMenuCommand);
  return answer;
}

void Host::ReportCommand(int32_t command_number, int32_t lparam, uint16_t wparam) {
  impl_->CommandDone(command_number, lparam, wparam);
}

// ---- Classes ---------------------------------------------------------------

const std::vector<ObjectClass>& Host::Classes() const {
  return impl_->classes;
}

const ObjectClass* Host::ClassById(int32_t id) const {
  for (const auto& c : impl_->classes)
    if (c.id == id) return &c;
  return nullptr;
}

const ObjectClass* Host::FindClass(std::string_view id_or_short_name) const {
  for (const auto& c : impl_->classes)
    if (c.short_name == id_or_short_name || std::to_string(c.id) == id_or_short_name) return &c;
  return nullptr;
}

int32_t Host::CurrentClass() const {
  return impl_->current_class;
}

void Host::SetCurrentClass(int32_t id) {
  impl_->RequireProject();
  if (!ClassById(id)) throw HostError("no object class " + std::to_string(id));
  impl_->current_class = id;
  impl_->CommandDone(command::kSetObjectClass, id, 0);
}

// ---- Objects ---------------------------------------------------------------

std::vector<int32_t> Host::ObjectIds() const {
  std::vector<int32_t> ids;
  for (const auto& [id, o] : impl_->objects) ids.push_back(id);
  return ids;
}

const GeoObject* Host::FindObject(int32_t id) const {
  auto it = impl_->objects.find(id);
  return it == impl_->objects.end() ? nullptr : &it->second;
}

int32_t Host::Resolve(std::string_view ref) const {
  if (ref.size() > 1 && ref[0] == '#') {
    try {
      size_t used = 0;
      int id = std::stoi(std::string(ref.substr(1)), &used);
      if (used == ref.size() - 1 && FindObject(id)) return id;
    } catch (...) {
    }
    return 0;
  }
  return IdOf(ref);
}

int32_t Host::IdOf(std::string_view kennung) const {
  auto it = impl_->by_kennung.find(std::string(kennung));
  return it == impl_->by_kennung.end() ? 0 : it->second;
}

std::string Host::ProposeKennung(int32_t class_id) const {
  const ObjectClass* c = ClassById(class_id);
  std::string prefix = (c && !c->short_name.empty() ? c->short_name : "OBJ") + "-";
  for (int n = 1;; ++n) {
    std::string k = prefix + std::to_string(n);
    if (!impl_->by_kennung.count(k)) return k;
  }
}

double Host::Easting(int32_t id) const {
  const GeoObject* o = FindObject(id);
  return o ? ReferencePoint(o->typ, o->geometry).x : 0;
}
double Host::Northing(int32_t id) const {
  const GeoObject* o = FindObject(id);
  return o ? ReferencePoint(o->typ, o->geometry).y : 0;
}
double Host::Area(int32_t id) const {
  const GeoObject* o = FindObject(id);
  return o ? AreaOf(o->typ, o->geometry) : 0;
}

int32_t Host::CreateObject(int32_t class_id, TDrawTyp typ, const std::vector<Point>& geometry,
                           const std::string& kennung) {
  Impl& m = *impl_;
  m.RequireProject();
  if (!ClassById(class_id)) throw HostError("no object class " + std::to_string(class_id));
  std::string problem = CheckGeometry(typ, geometry);
  if (!problem.empty()) throw HostError(problem);
  if (!kennung.empty()) {
    problem = m.KennungProblem(kennung, 0);
    if (!problem.empty()) throw HostError(problem);
  }
  m.cursor = geometry.front();
  int32_t id = m.CreateThroughHooks(class_id, typ, geometry,
                                    kennung.empty() ? ProposeKennung(class_id) : kennung,
                                    command::kCreateObject);
  m.CommandDone(command::kCreateObject, id, 0);
  return id;
}

int32_t Host::Place(const std::vector<Point>& geometry) {
  Impl& m = *impl_;
  m.RequireProject();
  if (m.creation != Creation::kPlacing)
    throw HostError("nothing to place (no ktCreateObjectStart)");
  std::string problem = CheckGeometry(m.placing_typ, geometry);
  if (!problem.empty()) throw HostError(problem);
  m.cursor = geometry.front();
  int32_t id = m.CreateThroughHooks(m.placing_class, m.placing_typ, geometry, m.placing_kennung,
                                    command::kPlaceObject);
  if (id == 0) {
    m.creation = Creation::kIdle;
    m.CommandDone(command::kPlaceObject, 0, command::kAbandoned);
    return 0;
  }
  if (m.creation == Creation::kPlacing) m.creation = Creation::kPlaced;
  m.CommandDone(command::kPlaceObject, id, command::kPlaced);
  return id;
}

void Host::Abandon() {
  Impl& m = *impl_;
  if (m.creation != Creation::kPlacing) throw HostError("nothing is being placed");
  m.creation = Creation::kIdle;
  m.CommandDone(command::kPlaceObject, 0, command::kAbandoned);
}

Creation Host::CreationState() const {
  return impl_->creation;
}
const std::string& Host::PlacingKennung() const {
  return impl_->placing_kennung;
}

void Host::DeleteObject(int32_t id) {
  impl_->RequireObject(id);
  impl_->Delete(id);
  impl_->CommandDone(command::kDeleteObject, id, 0);
}

bool Host::RenameObject(int32_t id, const std::string& kennung) {
  Impl& m = *impl_;
  m.RequireObject(id);
  std::string problem = m.KennungProblem(kennung, id);
  if (!problem.empty()) throw HostError(problem);
  bool changed = m.SetKennung(id, kennung);
  m.CommandDone(command::kRenameObject, id, 0);
  return changed;
}

bool Host::MoveVertex(int32_t id, size_t vertex, Point to) {
  Impl& m = *impl_;
  m.RequireObject(id);
  if (vertex >= m.objects[id].geometry.size())
    throw HostError("object " + m.objects[id].kennung + " has no vertex " + std::to_string(vertex));
  bool allowed = m.FireSimple(HookEvent::kGeometryChanging, 0, id, 0);
  if (allowed && m.objects.count(id) && vertex < m.objects[id].geometry.size()) {
    std::vector<Point> g = m.objects[id].geometry;
    g[vertex] = to;
    {
      Transaction t(*m.db);
      SqliteStmt s(*m.db, "UPDATE KT_OBJEKTE SET GEOMETRIE=?1 WHERE ID=?2");
      s.Bind(1, GeometryToText(g)).Bind(2, id).Run();
      t.Commit();
    }
    m.objects[id].geometry = g;
    m.cursor = to;
    m.FireSimple(HookEvent::kGeometryChanged, id, 0, 0);
  } else {
    allowed = false;
  }
  m.CommandDone(command::kMoveVertex, id, 0);
  return allowed;
}

void Host::ChangeClass(int32_t id, int32_t class_id) {
  Impl& m = *impl_;
  m.RequireObject(id);
  if (!ClassById(class_id)) throw HostError("no object class " + std::to_string(class_id));
  {
    Transaction t(*m.db);
    SqliteStmt s(*m.db, "UPDATE KT_OBJEKTE SET KLASSE=?1 WHERE ID=?2");
    s.Bind(1, class_id).Bind(2, id).Run();
    t.Commit();
  }
  m.objects[id].klasse = class_id;
  m.Fire(HookEvent::kObjectEdited, 0, 0, 0, "0, 0, 0");
  m.CommandDone(command::kChangeClass, id, 0);
}

// ---- Selection, active object, views ---------------------------------------

const std::vector<int32_t>& Host::Selection() const {
  return impl_->selection;
}

void Host::Select(int32_t id) {
  impl_->RequireObject(id);
  impl_->AddToSelection(id);
  impl_->CommandDone(command::kSelect, id, 0);
}

void Host::Deselect(int32_t id) {
  impl_->RequireObject(id);
  auto& s = impl_->selection;
  s.erase(std::remove(s.begin(), s.end(), id), s.end());
  impl_->CommandDone(command::kDeselect, id, 0);
}

void Host::DeselectAll() {
  impl_->RequireProject();
  impl_->selection.clear();
  impl_->CommandDone(command::kDeselect, 0, 0);
}

int32_t Host::ActiveObject() const {
  return impl_->active;
}

void Host::Activate(int32_t id) {
  impl_->RequireObject(id);
  impl_->SetActive(id);
  impl_->CommandDone(command::kActivate, id, 0);
}

View Host::CurrentView() const {
  return impl_->view;
}
int Host::UpdateDepth() const {
  return impl_->update_depth;
}
int Host::RedrawCount() const {
  return impl_->redraws;
}
Point Host::Cursor() const {
  return impl_->cursor;
}
void Host::SetCursor(Point p) {
  impl_->cursor = p;
}
int32_t Host::DataObject() const {
  return impl_->data_object;
}

// ---- Event loop ------------------------------------------------------------

void Host::UseVirtualClock(bool virtual_clock) {
  impl_->loop.UseVirtualClock(virtual_clock);
}
void Host::AdvanceClock(std::chrono::milliseconds by) {
  impl_->loop.Advance(by);
}
uint32_t Host::SetTimer(uint32_t interval_ms, void (*proc)(void*), void* context) {
  return impl_->loop.SetTimer(interval_ms, proc, context);
}
void Host::KillTimer(uint32_t id) {
  impl_->loop.KillTimer(id);
}
size_t Host::TimerCount() const {
  return impl_->loop.TimerCount();
}
int Host::RunDueTimers() {
  return impl_->loop.RunDue();
}
std::optional<std::chrono::milliseconds> Host::NextTimerDue() const {
  return impl_->loop.NextDue();
}

}  // namespace hostsim
