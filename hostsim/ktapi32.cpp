// The kt* functions of libktapi32.so: a thin front over the parts of the one
// host (HostParts.h) that converts the C arguments (ANSI texts, buffers,
// records) and calls a part. Also the timer entry points the plug-in's
// timers look up at run time. Nothing here throws: a failure answers false
// (or 0) and leaves a note for the host's log.
#include "host/ktapi32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "hostsim/HostParts.h"
#include "hostsim/System.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "platform/ui/Timer.h"

using hostsim::GeoObject;
using hostsim::ObjectClass;
using hostsim::TableDef;

namespace {

constexpr KTBool kTrue = -1;
constexpr KTBool kFalse = 0;
// The host takes geodata paths of at most 255 characters.
constexpr size_t kMaxGeodataPath = 255;

KTBool B(bool v) {
  return v ? kTrue : kFalse;
}

hostsim::HostParts& Parts() {
  return hostsim::PartsOf(hostsim::TheHost());
}
hostsim::Project& Project() {
  return Parts().project;
}
hostsim::TableCursors& Tables() {
  return Parts().tables;
}
hostsim::PluginHost& Plugin() {
  return Parts().plugin;
}

// Leaves a note for the host's log; a note that cannot be made (no memory
// for its text) is dropped rather than let out into the plug-in.
void NoteQuietly(const char* function, const char* what) noexcept {
  try {
    Plugin().Note(std::string(function) + ": " + what);
  } catch (...) {
  }
}

// With KARTUL_HOST_CALLS naming a file, each host function the plug-in
// calls is written there once per process, as "<plug-in file> <function>":
// what a build calls of the host, held against what its library imports at
// load time (tests/HostCalls.py). Appended, so that the runs of several
// scenarios add up; a line that cannot be written is left out.
void CountCall(const char* function) noexcept {
  static const char* const log = std::getenv("KARTUL_HOST_CALLS");
  if (log == nullptr || *log == '\0' || std::strncmp(function, "kt", 2) != 0) return;
  try {
    static std::mutex mutex;
    static std::set<std::pair<std::string, std::string>> counted;
    const std::lock_guard<std::mutex> lock(mutex);
    std::string plugin = Plugin().File();
    if (plugin.empty()) plugin = "-";
    if (!counted.emplace(plugin, function).second) return;
    if (FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%s %s\n", plugin.c_str(), function);
      std::fclose(f);
    }
  } catch (...) {
  }
}

// Runs body; any error becomes a note and the fallback answer. Nothing
// leaves a kt* function: its caller is C code, or C++ built by another
// compiler that cannot catch what we throw.
template <class T, class F>
T Guard(const char* function, T fallback, F&& body) noexcept {
  CountCall(function);
  try {
    return body();
  } catch (const std::exception& e) {
    NoteQuietly(function, e.what());
  } catch (...) {
    NoteQuietly(function, "unknown error");
  }
  return fallback;
}

std::string Text(const char* ansi) {
  return ansi ? platform::text::AnsiToUtf8(ansi) : std::string();
}

// Copies a UTF-8 text as ANSI into a caller's buffer; false when it does not
// fit whole or does not survive the code page.
bool ToBuffer(const std::string& utf8, char* buffer, int64_t size) {
  if (!buffer || size <= 0) return false;
  std::string ansi = platform::text::Utf8ToAnsi(utf8);
  if (platform::text::AnsiToUtf8(ansi) != utf8) return false;
  if (static_cast<int64_t>(ansi.size()) + 1 > size) return false;
  std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return true;
}

// A table the host shows now; nullptr without a project or such a table.
const TableDef* Table(const char* name) {
  return name ? Tables().Find(Text(name)) : nullptr;
}

// The library a plug-in names: the Windows host was given the .dll; on
// Linux the library is the .so of that name.
std::string LibraryFile(std::string name) {
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.size() > 4 && platform::text::EndsWithIgnoreCase(name, ".dll"))
    name = name.substr(0, name.size() - 4) + hostsim::sys::kLibraryExtension;
  return name;
}

}  // namespace

extern "C" {

int32_t ktGetActiveGeoObject(void) {
  return Guard("ktGetActiveGeoObject", 0, [] { return Project().ActiveObject(); });
}

KTBool ktSetActiveObject(int32_t id) {
  return Guard("ktSetActiveObject", kFalse, [&] {
    if (!Project().Find(id)) return kFalse;
    Project().Activate(id);
    return kTrue;
  });
}

KTBool ktAddToSelection(int32_t id) {
  return Guard("ktAddToSelection", kFalse, [&] {
    if (!Project().Find(id)) return kFalse;
    Project().Select(id);
    return kTrue;
  });
}

KTBool ktDeleteObject(int32_t id) {
  return Guard("ktDeleteObject", kFalse, [&] {
    if (!Project().Find(id)) return kFalse;
    Project().Delete(id);
    return B(!Project().Find(id));
  });
}

KTBool ktEnsureData(int32_t id) {
  return Guard("ktEnsureData", kFalse, [&] {
    if (!Project().Find(id)) return kFalse;
    Tables().ShowRowsOf(id);
    return kTrue;
  });
}

KTBool ktDeselectAll(void) {
  return Guard("ktDeselectAll", kFalse, [] {
    // Without a project there is no selection to clear.
    if (Project().IsOpen()) Project().DeselectAll();
    return kTrue;
  });
}

KTBool ktBeginUpdate(void) {
  return Guard("ktBeginUpdate", kFalse, [] {
    Project().BeginUpdate();
    return kTrue;
  });
}

KTBool ktEndUpdate(void) {
  return Guard("ktEndUpdate", kFalse, [] {
    if (!Project().EndUpdate()) {
      Plugin().Note("ktEndUpdate without ktBeginUpdate");
      return kFalse;
    }
    return kTrue;
  });
}

KTBool ktRedraw(void) {
  return Guard("ktRedraw", kFalse, [] {
    Project().Redraw();
    return kTrue;
  });
}

KTBool ktActivateMap(void) {
  return Guard("ktActivateMap", kFalse, [] {
    Project().ShowView(hostsim::View::kMap);
    return kTrue;
  });
}

KTBool ktActivateData(void) {
  return Guard("ktActivateData", kFalse, [] {
    Project().ShowView(hostsim::View::kData);
    return kTrue;
  });
}

int32_t ktGetNrOfSelectedGeoObjects(void) {
  return Guard("ktGetNrOfSelectedGeoObjects", 0,
               [] { return static_cast<int32_t>(Project().Selection().size()); });
}

int32_t ktGetObjectClass(void) {
  return Guard("ktGetObjectClass", 0, [] { return Project().CurrentClass(); });
}

KTBool ktSetObjectClass(int32_t class_id) {
  return Guard("ktSetObjectClass", kFalse, [&] {
    if (!Project().ClassById(class_id)) return kFalse;
    Project().SetCurrentClass(class_id);
    return kTrue;
  });
}

int32_t ktGetClassOf(int32_t id) {
  return Guard("ktGetClassOf", 0, [&] {
    const GeoObject* o = Project().Find(id);
    return o ? o->klasse : 0;
  });
}

KTBool ktGetObjectData(TKTObjectData* data) {
  return Guard("ktGetObjectData", kFalse, [&] {
    if (!data) return kFalse;
    const GeoObject* o = Project().Find(data->Id);
    if (!o) return kFalse;
    data->Typ = o->typ;
    const ObjectClass* c = Project().ClassById(o->klasse);
    data->OKLType = c ? c->class_type : 0;
    data->Klasse = o->klasse;
    if (data->Kennung && !ToBuffer(o->kennung, data->Kennung, 129)) return kFalse;
    return kTrue;
  });
}

KTBool ktGetObjectClassData(TObjectClassData* data) {
  return Guard("ktGetObjectClassData", kFalse, [&] {
    if (!data) return kFalse;
    const ObjectClass* c = Project().ClassById(data->ClassId);
    if (!c) return kFalse;
    bool ok = true;
    if (data->ShortName) ok = ToBuffer(c->short_name, data->ShortName, 255) && ok;
    if (data->LongName) ok = ToBuffer(c->long_name, data->LongName, 256) && ok;
    return B(ok);
  });
}

KTBool ktSetKennung(int32_t id, const char* kennung) {
  return Guard("ktSetKennung", kFalse,
               [&] { return B(kennung && Project().SetKennung(id, Text(kennung))); });
}

KTBool ktKennungExists(const char* kennung) {
  return Guard("ktKennungExists", kFalse,
               [&] { return B(kennung && Project().IdOf(Text(kennung)) > 0); });
}

int32_t ktGetIDFromKennung(const char* kennung) {
  return Guard("ktGetIDFromKennung", 0,
               [&] { return kennung ? Project().IdOf(Text(kennung)) : 0; });
}

KTBool ktCreateObjectStart(int32_t class_id, TDrawTyp typ, const char* kennung) {
  return Guard("ktCreateObjectStart", kFalse, [&] {
    if (!Project().IsOpen()) return kFalse;
    Project().StartPlacing(class_id, typ, Text(kennung));
    return kTrue;
  });
}

KTBool ktCreateObjectFinish(void) {
  return Guard("ktCreateObjectFinish", kFalse, [&] { return B(Project().FinishPlacing()); });
}

double ktGetObjectRWert(int32_t id) {
  return Guard("ktGetObjectRWert", 0.0, [&] { return Project().Easting(id); });
}
double ktGetObjectHWert(int32_t id) {
  return Guard("ktGetObjectHWert", 0.0, [&] { return Project().Northing(id); });
}
double ktGetObjectArea(int32_t id) {
  return Guard("ktGetObjectArea", 0.0, [&] { return Project().Area(id); });
}

KTBool ktGetCursorCoordinates(TDoublePoint* point) {
  return Guard("ktGetCursorCoordinates", kFalse, [&] {
    if (!point) return kFalse;
    hostsim::Point p = Project().Cursor();
    point->x = p.x;
    point->y = p.y;
    return kTrue;
  });
}

KTBool ktGetValueByName(const char* table, const char* field, char* buffer, uint16_t size) {
  return Guard("ktGetValueByName", kFalse, [&] {
    if (!buffer || size == 0) return kFalse;
    buffer[0] = '\0';
    const TableDef* t = Table(table);
    if (!t || !field) return kFalse;
    auto value = Tables().Value(t->name, Text(field));
    if (!value) return kFalse;
    // A value longer than the buffer is cut, as the host's field reader does.
    std::string ansi = platform::text::Utf8ToAnsi(*value);
    size_t n = std::min<size_t>(ansi.size(), size - 1u);
    std::memcpy(buffer, ansi.data(), n);
    buffer[n] = '\0';
    return kTrue;
  });
}

KTBool ktSetValueByName(const char* table, const char* field, const char* text) {
  return Guard("ktSetValueByName", kFalse, [&] {
    const TableDef* t = Table(table);
    if (!t || !field || !text) return kFalse;
    Tables().SetField(*t, Text(field), Text(text));
    return kTrue;
  });
}

KTBool ktTableFirst(const char* table) {
  return Guard("ktTableFirst", kFalse, [&] {
    const TableDef* t = Table(table);
    if (!t) return kFalse;
    Tables().First(*t);
    return kTrue;
  });
}

KTBool ktTableNext(const char* table) {
  return Guard("ktTableNext", kFalse, [&] {
    const TableDef* t = Table(table);
    if (!t) return kFalse;
    Tables().Next(*t);
    return kTrue;
  });
}

KTBool ktTableEOF(const char* table) {
  return Guard("ktTableEOF", kTrue, [&] {
    const TableDef* t = Table(table);
    return B(!t || Tables().Eof(t->name));
  });
}

KTBool ktAppendRecord(const char* table) {
  return Guard("ktAppendRecord", kFalse, [&] {
    const TableDef* t = Table(table);
    return B(t && Tables().Append(*t));
  });
}

KTBool ktPostRecord(const char* table) {
  return Guard("ktPostRecord", kFalse, [&] {
    const TableDef* t = Table(table);
    return B(t && Tables().Post(*t));
  });
}

KTBool ktTableRefresh(const char* table) {
  return Guard("ktTableRefresh", kFalse, [&] {
    const TableDef* t = Table(table);
    if (!t) return kFalse;
    Tables().Refresh(*t);
    return kTrue;
  });
}

KTBool ktDisableControls(const char* table) {
  return Guard("ktDisableControls", kFalse, [&] {
    const TableDef* t = Table(table);
    if (!t) return kFalse;
    Tables().DisableControls(*t);
    return kTrue;
  });
}

KTBool ktEnableControls(const char* table) {
  return Guard("ktEnableControls", kFalse, [&] {
    const TableDef* t = Table(table);
    return B(t && Tables().EnableControls(*t));
  });
}

KTBool ktGetProjectDir(char* buffer, int32_t size) {
  return Guard("ktGetProjectDir", kFalse,
               [&] { return B(Project().IsOpen() && ToBuffer(Project().Dir(), buffer, size)); });
}

KTBool ktGetVerfahrenDir(char* buffer, int32_t size) {
  return Guard("ktGetVerfahrenDir", kFalse, [&] {
    return B(Project().IsOpen() && ToBuffer(Project().ProcedureDir(), buffer, size));
  });
}

KTBool ktGetProjectDB(char* buffer, int32_t size) {
  return Guard("ktGetProjectDB", kFalse,
               [&] { return B(Project().IsOpen() && ToBuffer(Project().DbPath(), buffer, size)); });
}

KTBool ktGetVerfahrenDB(char* buffer, int32_t size) {
  return Guard("ktGetVerfahrenDB", kFalse, [&] {
    return B(Project().IsOpen() && ToBuffer(Project().ProcedureDbPath(), buffer, size));
  });
}

KTBool ktIterateObjects(KTBool flag, const char* library_name, const char* export_name) {
  return Guard("ktIterateObjects", kFalse, [&] {
    hostsim::PluginHost& plugin = Plugin();
    if (!plugin.Loaded() || !library_name || !export_name) return kFalse;
    std::string wanted = LibraryFile(Text(library_name));
    if (wanted != plugin.File()) {
      plugin.Note("ktIterateObjects: the library " + wanted + " is not loaded (" + plugin.File() +
                  " is)");
      return kFalse;
    }
    std::string name = Text(export_name);
    if (!plugin.HasExport(name)) {
      plugin.Note("ktIterateObjects: " + plugin.File() + " has no export " + name);
      return kFalse;
    }
    std::vector<int32_t> ids = flag ? Project().ObjectIds() : Project().Selection();
    for (int32_t id : ids) {
      const GeoObject* o = Project().Find(id);
      if (!o) continue;  // deleted by an earlier call
      char kennung[129] = {};
      TKTObjectData data{};
      data.Id = id;
      data.Kennung = kennung;
      if (!ktGetObjectData(&data)) continue;
      auto answer = plugin.Call(name, reinterpret_cast<intptr_t>(&data), 0, 0,
                                "{Id=" + std::to_string(id) + ", Kennung=\"" + o->kennung +
                                    "\", Klasse=" + std::to_string(o->klasse) + "}, 0, 0");
      if (!answer || *answer == 0) break;  // the export ends the walk
    }
    return kTrue;
  });
}

KTBool ktImportGeodaten(const char* file, int32_t mode, int32_t flags) {
  return Guard("ktImportGeodaten", kFalse, [&] {
    if (!file || mode != 10) {
      Plugin().Note("ktImportGeodaten: only mode 10 (shapefile) is known");
      return kFalse;
    }
    return B(Parts().exchange.ImportGeodata(Text(file), flags != 0));
  });
}

KTBool ktImportDataXML(const char* file, KTBool flag) {
  return Guard("ktImportDataXML", kFalse,
               [&] { return B(file && Parts().exchange.ImportXml(Text(file), flag != 0)); });
}

KTBool ktExportGeodaten(const char* file, int32_t mode, KTBool flag, int32_t /*options*/) {
  return Guard("ktExportGeodaten", kFalse, [&] {
    if (!file || mode != 10) {
      Plugin().Note("ktExportGeodaten: only mode 10 (shapefile) is known");
      return kFalse;
    }
    if (std::strlen(file) > kMaxGeodataPath) {
      Plugin().Note("ktExportGeodaten: the path is longer than 255 characters");
      return kFalse;
    }
    return B(Parts().exchange.ExportGeodata(Text(file), flag != 0));
  });
}

KTBool ktExportDataXML(const char* file, KTBool flag1, KTBool flag2) {
  return Guard("ktExportDataXML", kFalse, [&] {
    return B(file && Parts().exchange.ExportXml(Text(file), flag1 != 0, flag2 != 0, "T", "F"));
  });
}

KTBool ktExportDataXMLEx(const char16_t* file, KTBool flag1, KTBool flag2,
                         const char16_t* true_text, const char16_t* false_text) {
  return Guard("ktExportDataXMLEx", kFalse, [&] {
    if (!file) return kFalse;
    auto text = [](const char16_t* s, const char* fallback) {
      return s ? platform::text::Utf16ToUtf8(std::u16string_view(s)) : std::string(fallback);
    };
    return B(Parts().exchange.ExportXml(text(file, ""), flag1 != 0, flag2 != 0,
                                        text(true_text, "T"), text(false_text, "F")));
  });
}

// 0 is no timer id, so a timer that could not be set is told apart.
uint32_t kartulsim_set_timer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) {
  return Guard("kartulsim_set_timer", uint32_t{0},
               [&] { return Parts().loop.SetTimer(interval_ms, proc, context); });
}

void kartulsim_kill_timer(uint32_t id) {
  Guard("kartulsim_kill_timer", 0, [&] {
    Parts().loop.KillTimer(id);
    return 0;
  });
}

void kartulsim_claim_terminal(void) {
  Guard("kartulsim_claim_terminal", 0, [&] {
    Parts().loop.ClaimTerminal();
    return 0;
  });
}

}  // extern "C"
