// The kt* functions of libktapi32.so over the host model, and the timer entry
// points the plug-in's timers look up at run time. Nothing here throws: a
// failure answers false (or 0) and leaves a note for the host's log.
#include "host/ktapi32.h"

#include <algorithm>
#include <cstring>

#include "hostsim/Ansi.h"
#include "hostsim/Geometry.h"
#include "hostsim/HostImpl.h"
#include "hostsim/Text.h"
#include "platform/ui/Timer.h"

using hostsim::Host;
using hostsim::HostError;
using hostsim::TheHost;

namespace {

constexpr KTBool kTrue = -1;
constexpr KTBool kFalse = 0;

KTBool B(bool v) {
  return v ? kTrue : kFalse;
}

Host::Impl& M() {
  return TheHost().impl();
}

// Runs body; any error becomes a note and the fallback answer.
template <class T, class F>
T Guard(const char* function, T fallback, F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    M().Note(std::string(function) + ": " + e.what());
  } catch (...) {
    M().Note(std::string(function) + ": unknown error");
  }
  return fallback;
}

std::string Text(const char* ansi) {
  return ansi ? hostsim::AnsiToUtf8(ansi) : std::string();
}

// Copies a UTF-8 text as ANSI into a caller's buffer; false when it does not
// fit whole or does not survive the code page.
bool ToBuffer(const std::string& utf8, char* buffer, int64_t size) {
  if (!buffer || size <= 0) return false;
  std::string ansi = hostsim::Utf8ToAnsi(utf8);
  if (hostsim::AnsiToUtf8(ansi) != utf8) return false;
  if (static_cast<int64_t>(ansi.size()) + 1 > size) return false;
  std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return true;
}

const hostsim::TableDef* Table(const char* name) {
  if (!name || TheHost().ProjectDir().empty()) return nullptr;
  return M().FindTable(Text(name));
}

}  // namespace

extern "C" {

int32_t ktGetActiveGeoObject(void) {
  return TheHost().ActiveObject();
}

KTBool ktSetActiveObject(int32_t id) {
  return Guard("ktSetActiveObject", kFalse, [&] {
    if (!TheHost().FindObject(id)) return kFalse;
    M().SetActive(id);
    return kTrue;
  });
}

KTBool ktAddToSelection(int32_t id) {
  if (!TheHost().FindObject(id)) return kFalse;
  M().AddToSelection(id);
  return kTrue;
}

KTBool ktDeleteObject(int32_t id) {
  return Guard("ktDeleteObject", kFalse, [&] {
    if (!TheHost().FindObject(id)) return kFalse;
    M().Delete(id);
    return B(!TheHost().FindObject(id));
  });
}

KTBool ktEnsureData(int32_t id) {
  return Guard("ktEnsureData", kFalse, [&] {
    if (!TheHost().FindObject(id)) return kFalse;
    M().SetDataObject(id);
    return kTrue;
  });
}

KTBool ktDeselectAll(void) {
  M().selection.clear();
  return kTrue;
}

KTBool ktBeginUpdate(void) {
  ++M().update_depth;
  return kTrue;
}

KTBool ktEndUpdate(void) {
  if (M().update_depth == 0) {
    M().Note("ktEndUpdate without ktBeginUpdate");
    return kFalse;
  }
  --M().update_depth;
  return kTrue;
}

KTBool ktRedraw(void) {
  ++M().redraws;
  return kTrue;
}

KTBool ktActivateMap(void) {
  M().view = hostsim::View::kMap;
  return kTrue;
}

KTBool ktActivateData(void) {
  M().view = hostsim::View::kData;
  return kTrue;
}

int32_t ktGetNrOfSelectedGeoObjects(void) {
  return static_cast<int32_t>(M().selection.size());
}

int32_t ktGetObjectClass(void) {
  return M().current_class;
}

KTBool ktSetObjectClass(int32_t class_id) {
  if (!TheHost().ClassById(class_id)) return kFalse;
  M().current_class = class_id;
  return kTrue;
}

int32_t ktGetClassOf(int32_t id) {
  const hostsim::GeoObject* o = TheHost().FindObject(id);
  return o ? o->klasse : 0;
}

KTBool ktGetObjectData(TKTObjectData* data) {
  return Guard("ktGetObjectData", kFalse, [&] {
    if (!data) return kFalse;
    const hostsim::GeoObject* o = TheHost().FindObject(data->Id);
    if (!o) return kFalse;
    data->Typ = o->typ;
    const hostsim::ObjectClass* c = TheHost().ClassById(o->klasse);
    data->OKLType = c ? c->class_type : 0;
    data->Klasse = o->klasse;
    if (data->Kennung && !ToBuffer(o->kennung, data->Kennung, 129)) return kFalse;
    return kTrue;
  });
}

KTBool ktGetObjectClassData(TObjectClassData* data) {
  return Guard("ktGetObjectClassData", kFalse, [&] {
    if (!data) return kFalse;
    const hostsim::ObjectClass* c = TheHost().ClassById(data->ClassId);
    if (!c) return kFalse;
    bool ok = true;
    if (data->ShortName) ok = ToBuffer(c->short_name, data->ShortName, 255) && ok;
    if (data->LongName) ok = ToBuffer(c->long_name, data->LongName, 256) && ok;
    return B(ok);
  });
}

KTBool ktSetKennung(int32_t id, const char* kennung) {
  return Guard("ktSetKennung", kFalse,
               [&] { return B(kennung && M().SetKennung(id, Text(kennung))); });
}

KTBool ktKennungExists(const char* kennung) {
  return B(kennung && TheHost().IdOf(Text(kennung)) > 0);
}

int32_t ktGetIDFromKennung(const char* kennung) {
  return kennung ? TheHost().IdOf(Text(kennung)) : 0;
}

KTBool ktCreateObjectStart(int32_t class_id, TDrawTyp typ, const char* kennung) {
  return Guard("ktCreateObjectStart", kFalse, [&] {
    Host::Impl& m = M();
    if (m.project_dir.empty()) return kFalse;
    if (!TheHost().ClassById(class_id)) {
      m.Note("ktCreateObjectStart: no object class " + std::to_string(class_id));
      return kFalse;
    }
    if (!hostsim::IsObjectDrawTyp(typ)) {
      m.Note("ktCreateObjectStart: draw type " + std::to_string(typ) + " creates no object");
      return kFalse;
    }
    m.creation = hostsim::Creation::kPlacing;
    m.placing_class = class_id;
    m.placing_typ = typ;
    m.placing_kennung = Text(kennung);
    return kTrue;
  });
}

KTBool ktCreateObjectFinish(void) {
  return Guard("ktCreateObjectFinish", kFalse, [&] {
    Host::Impl& m = M();
    switch (m.creation) {
      case hostsim::Creation::kIdle:
        return kFalse;
      case hostsim::Creation::kPlaced:
        m.creation = hostsim::Creation::kIdle;
        return kTrue;
      case hostsim::Creation::kPlacing:
        // Finishing before anything was placed gives the placing up.
        m.creation = hostsim::Creation::kIdle;
        m.CommandDone(hostsim::command::kPlaceObject, 0, hostsim::command::kAbandoned);
        return kTrue;
    }
    return kFalse;
  });
}

double ktGetObjectRWert(int32_t id) {
  return TheHost().Easting(id);
}
double ktGetObjectHWert(int32_t id) {
  return TheHost().Northing(id);
}
double ktGetObjectArea(int32_t id) {
  return TheHost().Area(id);
}

KTBool ktGetCursorCoordinates(TDoublePoint* point) {
  if (!point) return kFalse;
  hostsim::Point p = TheHost().Cursor();
  point->x = p.x;
  point->y = p.y;
  return kTrue;
}

KTBool ktGetValueByName(const char* table, const char* field, char* buffer, uint16_t size) {
  return Guard("ktGetValueByName", kFalse, [&] {
    if (!buffer || size == 0) return kFalse;
    buffer[0] = '\0';
    if (!Table(table) || !field) return kFalse;
    auto value = TheHost().Value(Text(table), Text(field));
    if (!value) return kFalse;
    // A value longer than the buffer is cut, as the host's field reader does.
    std::string ansi = hostsim::Utf8ToAnsi(*value);
    size_t n = std::min<size_t>(ansi.size(), size - 1u);
    std::memcpy(buffer, ansi.data(), n);
    buffer[n] = '\0';
    return kTrue;
  });
}

KTBool ktSetValueByName(const char* table, const char* field, const char* text) {
  return Guard("ktSetValueByName", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    if (!t || !field || !text) return kFalse;
    std::string why;
    if (!M().SetField(*t, Text(field), Text(text), &why)) {
      M().Note("ktSetValueByName: " + why);
      return kFalse;
    }
    return kTrue;
  });
}

KTBool ktTableFirst(const char* table) {
  return Guard("ktTableFirst", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    return B(t && M().TableFirst(*t));
  });
}

KTBool ktTableNext(const char* table) {
  return Guard("ktTableNext", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    return B(t && M().TableNext(*t));
  });
}

KTBool ktTableEOF(const char* table) {
  return Guard("ktTableEOF", kTrue, [&] {
    const hostsim::TableDef* t = Table(table);
    return B(!t || TheHost().RowEof(t->name));
  });
}

KTBool ktAppendRecord(const char* table) {
  return Guard("ktAppendRecord", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    return B(t && M().Append(*t));
  });
}

KTBool ktPostRecord(const char* table) {
  return Guard("ktPostRecord", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    return B(t && M().Post(*t));
  });
}

KTBool ktTableRefresh(const char* table) {
  return Guard("ktTableRefresh", kFalse, [&] {
    const hostsim::TableDef* t = Table(table);
    if (!t) return kFalse;
    Host::Impl& m = M();
    m.Post(*t);
    hostsim::TableCursor& c = m.CursorOf(*t);
    int64_t key = c.index >= 0 ? c.keys[static_cast<size_t>(c.index)] : 0;
    m.LoadKeys(*t, c);
    auto pos = std::find(c.keys.begin(), c.keys.end(), key);
    c.index =
        pos != c.keys.end() ? static_cast<int>(pos - c.keys.begin()) : (c.keys.empty() ? -1 : 0);
    c.eof = c.keys.empty();
    m.LoadBuffer(*t, c);
    return kTrue;
  });
}

KTBool ktDisableControls(const char* table) {
  const hostsim::TableDef* t = Table(table);
  if (!t) return kFalse;
  ++M().disabled_controls[t->name];
  return kTrue;
}

KTBool ktEnableControls(const char* table) {
  const hostsim::TableDef* t = Table(table);
  if (!t || M().disabled_controls[t->name] == 0) return kFalse;
  --M().disabled_controls[t->name];
  return kTrue;
}

KTBool ktGetProjectDir(char* buffer, int32_t size) {
  return B(!TheHost().ProjectDir().empty() && ToBuffer(TheHost().ProjectDir(), buffer, size));
}

KTBool ktGetVerfahrenDir(char* buffer, int32_t size) {
  return B(!TheHost().ProcedureDir().empty() && ToBuffer(TheHost().ProcedureDir(), buffer, size));
}

KTBool ktGetProjectDB(char* buffer, int32_t size) {
  return B(!TheHost().ProjectDB().empty() && ToBuffer(TheHost().ProjectDB(), buffer, size));
}

KTBool ktGetVerfahrenDB(char* buffer, int32_t size) {
  return B(!TheHost().ProcedureDB().empty() && ToBuffer(TheHost().ProcedureDB(), buffer, size));
}

KTBool ktIterateObjects(KTBool flag, const char* library_name, const char* export_name) {
  return Guard("ktIterateObjects", kFalse, [&] {
    Host::Impl& m = M();
    if (!m.plugin.Loaded() || !library_name || !export_name) return kFalse;
    // The Windows host was given the .dll name; here the library is the .so.
    std::string wanted = Text(library_name);
    size_t slash = wanted.find_last_of("/\\");
    if (slash != std::string::npos) wanted = wanted.substr(slash + 1);
    if (hostsim::EndsWithNoCase(wanted, ".dll"))
      wanted = wanted.substr(0, wanted.size() - 4) + ".so";
    if (wanted != m.plugin.File()) {
      m.Note("ktIterateObjects: the library " + wanted + " is not loaded (" + m.plugin.File() +
             " is)");
      return kFalse;
    }
    std::string name = Text(export_name);
    if (!m.plugin.HasExport(name)) {
      m.Note("ktIterateObjects: " + m.plugin.File() + " has no export " + name);
      return kFalse;
    }
    std::vector<int32_t> ids = flag ? TheHost().ObjectIds() : m.selection;
    for (int32_t id : ids) {
      const hostsim::GeoObject* o = TheHost().FindObject(id);
      if (!o) continue;  // deleted by an earlier call
      char kennung[129] = {};
      TKTObjectData data{};
      data.Id = id;
      data.Kennung = kennung;
      if (!ktGetObjectData(&data)) continue;
      auto answer = m.CallExport(name, reinterpret_cast<intptr_t>(&data), 0, 0,
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
      M().Note("ktImportGeodaten: only mode 10 (shapefile) is known");
      return kFalse;
    }
    return B(TheHost().ImportGeodata(Text(file), flags != 0));
  });
}

KTBool ktImportDataXML(const char* file, KTBool flag) {
  return Guard("ktImportDataXML", kFalse,
               [&] { return B(file && TheHost().ImportXml(Text(file), flag != 0)); });
}

KTBool ktExportGeodaten(const char* file, int32_t mode, KTBool flag, int32_t /*options*/) {
  return Guard("ktExportGeodaten", kFalse, [&] {
    if (!file || mode != 10) {
      M().Note("ktExportGeodaten: only mode 10 (shapefile) is known");
      return kFalse;
    }
    return B(TheHost().ExportGeodata(Text(file), flag != 0));
  });
}

KTBool ktExportDataXML(const char* file, KTBool flag1, KTBool flag2) {
  return Guard("ktExportDataXML", kFalse, [&] {
    return B(file && TheHost().ExportXml(Text(file), flag1 != 0, flag2 != 0, "T", "F"));
  });
}

KTBool ktExportDataXMLEx(const char16_t* file, KTBool flag1, KTBool flag2,
                         const char16_t* true_text, const char16_t* false_text) {
  return Guard("ktExportDataXMLEx", kFalse, [&] {
    if (!file) return kFalse;
    auto text = [](const char16_t* s, const char* fallback) {
      return s ? hostsim::Utf16ToUtf8(std::u16string_view(s)) : std::string(fallback);
    };
    return B(TheHost().ExportXml(text(file, ""), flag1 != 0, flag2 != 0, text(true_text, "T"),
                                 text(false_text, "F")));
  });
}

uint32_t kartulsim_set_timer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) {
  return TheHost().SetTimer(interval_ms, proc, context);
}

void kartulsim_kill_timer(uint32_t id) {
  TheHost().KillTimer(id);
}

}  // extern "C"
