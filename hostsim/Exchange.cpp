// The host's file exchange: shapefiles through shapelib, attribute files
// through the platform's XML parser (see Exchange.h).
#include "hostsim/Exchange.h"

#include <shapefil.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "hostsim/Geometry.h"
#include "hostsim/PluginHost.h"
#include "hostsim/Project.h"
#include "hostsim/TableCursors.h"
#include "platform/text/Encoding.h"
#include "platform/text/Markup.h"
#include "platform/text/Strings.h"
#include "platform/xml/Xml.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

std::string BaseName(const std::string& file) {
  return file.size() > 4 && platform::text::EndsWithIgnoreCase(file, ".shp")
             ? file.substr(0, file.size() - 4)
             : file;
}

struct Layer {
  const char* suffix;
  int shape_type;
};
constexpr Layer kAreas{"", SHPT_POLYGON};
constexpr Layer kLines{"_lin", SHPT_ARC};
constexpr Layer kPoints{"_pkt", SHPT_POINT};
constexpr Layer kMultiPoints{"_mpt", SHPT_MULTIPOINT};

const Layer& LayerOf(TDrawTyp typ) {
  switch (typ) {
    case ktLinie:
    case ktDecoLinie:
      return kLines;
    case ktSinglePoint:
    case ktDecoText:
      return kPoints;
    case ktMultiPoint:
      return kMultiPoints;
    default:
      return kAreas;
  }
}

// Whether a written main file is as long as its header says.
bool LayerComplete(const std::string& shp) {
  std::ifstream in(shp, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  unsigned char head[28];
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  const uint32_t words = (uint32_t{head[24]} << 24) | (uint32_t{head[25]} << 16) |
                         (uint32_t{head[26]} << 8) | uint32_t{head[27]};
  return static_cast<std::streamoff>(words) * 2 == size;
}

// Shapelib writes a record with a seek and a few small writes in each of
// its files; through the C library's files every seek costs system calls,
// which for a hundred thousand objects takes seconds. A layer is therefore
// built in memory and each file written whole when shapelib closes it.
struct MemFile {
  std::string path;
  std::string data;
  size_t pos = 0;
  bool dirty = false;
};

MemFile* Mem(SAFile file) {
  return reinterpret_cast<MemFile*>(file);
}

int MemFlush(SAFile file) {
  MemFile* f = Mem(file);
  if (!f->dirty) return 0;
  std::ofstream out(f->path, std::ios::binary | std::ios::trunc);
  out.write(f->data.data(), static_cast<std::streamsize>(f->data.size()));
  if (!out.flush()) return -1;
  f->dirty = false;
  return 0;
}

SAHooks MemoryHooks() {
  SAHooks hooks;
  SASetupDefaultHooks(&hooks);
  hooks.FOpen = [](const char* name, const char* access) -> SAFile {
    auto f = std::make_unique<MemFile>();
    f->path = name;
    if (std::strchr(access, 'r')) {
      std::ifstream in(name, std::ios::binary);
      if (!in) return nullptr;
      f->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      // Opening for writing creates the file at once, as fopen does.
      f->dirty = true;
      if (MemFlush(reinterpret_cast<SAFile>(f.get())) != 0) return nullptr;
    }
    return reinterpret_cast<SAFile>(f.release());
  };
  hooks.FRead = [](void* p, SAOffset size, SAOffset nmemb, SAFile file) -> SAOffset {
    MemFile* f = Mem(file);
    if (size == 0 || f->pos >= f->data.size()) return 0;
    const SAOffset items = std::min<SAOffset>(nmemb, (f->data.size() - f->pos) / size);
    std::memcpy(p, f->data.data() + f->pos, items * size);
    f->pos += items * size;
    return items;
  };
  hooks.FWrite = [](void* p, SAOffset size, SAOffset nmemb, SAFile file) -> SAOffset {
    MemFile* f = Mem(file);
    const size_t n = size * nmemb;
    if (f->data.size() < f->pos + n) f->data.resize(f->pos + n);
    std::memcpy(f->data.data() + f->pos, p, n);
    f->pos += n;
    f->dirty = true;
    return nmemb;
  };
  hooks.FSeek = [](SAFile file, SAOffset offset, int whence) -> SAOffset {
    MemFile* f = Mem(file);
    if (whence == SEEK_SET) {
      f->pos = offset;
    } else if (whence == SEEK_CUR) {
      f->pos += offset;
    } else {
      f->pos = f->data.size() + offset;
    }
    return 0;
  };
  hooks.FTell = [](SAFile file) -> SAOffset { return Mem(file)->pos; };
  hooks.FFlush = MemFlush;
  hooks.FClose = [](SAFile file) -> int {
    const int result = MemFlush(file);
    delete Mem(file);
    return result;
  };
  return hooks;
}

bool WriteLayer(const std::string& base, const Layer& layer,
                const std::vector<const GeoObject*>& objects, std::string& error) {
  std::string shp = base + layer.suffix + ".shp";
  std::string dbf = base + layer.suffix + ".dbf";
  SAHooks hooks = MemoryHooks();
  SHPHandle h = SHPCreateLL(shp.c_str(), layer.shape_type, &hooks);
  if (!h) {
    error = "cannot create " + shp;
    return false;
  }
  DBFHandle d = DBFCreateLL(dbf.c_str(), "LDID/87", &hooks);
  if (!d) {
    SHPClose(h);
    error = "cannot create " + dbf;
    return false;
  }
  bool ok = DBFAddField(d, "KENNUNG", FTString, 50, 0) >= 0 &&
            DBFAddField(d, "KLASSE", FTInteger, 10, 0) >= 0 &&
            DBFAddField(d, "TYP", FTInteger, 3, 0) >= 0 &&
            DBFAddField(d, "KARTULID", FTInteger, 10, 0) >= 0;
  for (const GeoObject* o : objects) {
    if (!ok) break;
    std::vector<double> xs, ys;
    for (const Point& p : o->geometry) {
      xs.push_back(p.x);
      ys.push_back(p.y);
    }
    if (layer.shape_type == SHPT_POLYGON && !o->geometry.empty() &&
        !(o->geometry.front() == o->geometry.back())) {
      xs.push_back(o->geometry.front().x);
      ys.push_back(o->geometry.front().y);
    }
    SHPObject* shape = SHPCreateSimpleObject(layer.shape_type, static_cast<int>(xs.size()),
                                             xs.data(), ys.data(), nullptr);
    if (!shape) {
      ok = false;
      break;
    }
    if (layer.shape_type == SHPT_POLYGON) SHPRewindObject(h, shape);
    int record = SHPWriteObject(h, -1, shape);
    SHPDestroyObject(shape);
    std::string kennung = platform::text::Utf8ToAnsi(o->kennung);
    ok = record >= 0 && DBFWriteStringAttribute(d, record, 0, kennung.c_str()) &&
         DBFWriteIntegerAttribute(d, record, 1, o->klasse) &&
         DBFWriteIntegerAttribute(d, record, 2, o->typ) &&
         DBFWriteIntegerAttribute(d, record, 3, o->id);
  }
  SHPClose(h);
  DBFClose(d);
  // The files reach the disk when they are closed; a failed write shows as
  // a file shorter than its header says.
  if (ok && !LayerComplete(shp)) ok = false;
  if (!ok) error = "cannot write " + shp;
  return ok;
}

// Removes the files of one layer; false when one exists and cannot go.
bool RemoveLayerFiles(const std::string& base, const Layer& layer) {
  bool ok = true;
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
    std::error_code ec;
    const fs::path file = base + layer.suffix + ext;
    fs::remove(file, ec);
    if (ec && fs::exists(file)) ok = false;
  }
  return ok;
}

struct LoadedShape {
  std::string kennung;
  int32_t klasse = 0;
  TDrawTyp typ = ktNone;
  std::vector<Point> geometry;
};

// Reads one layer; false when it cannot be opened or lacks KENNUNG.
bool ReadLayer(const std::string& base, const Layer& layer, std::vector<LoadedShape>& out,
               std::string& error, const std::function<void(const std::string&)>& note) {
  std::string shp = base + layer.suffix + ".shp";
  std::string dbf = base + layer.suffix + ".dbf";
  SHPHandle h = SHPOpen(shp.c_str(), "rb");
  if (!h) {
    error = "cannot read " + shp;
    return false;
  }
  DBFHandle d = DBFOpen(dbf.c_str(), "rb");
  if (!d) {
    SHPClose(h);
    error = "cannot read " + dbf;
    return false;
  }
  int f_kennung = DBFGetFieldIndex(d, "KENNUNG"), f_klasse = DBFGetFieldIndex(d, "KLASSE"),
      f_typ = DBFGetFieldIndex(d, "TYP");
  if (f_kennung < 0) {
    SHPClose(h);
    DBFClose(d);
    error = dbf + " has no field KENNUNG";
    return false;
  }
  int count = 0, shape_type = 0;
  SHPGetInfo(h, &count, &shape_type, nullptr, nullptr);
  int records = DBFGetRecordCount(d);
  for (int i = 0; i < count; ++i) {
    if (i >= records) {
      note(shp + ": shape " + std::to_string(i) + " has no attribute record; skipped");
      continue;
    }
    SHPObject* s = SHPReadObject(h, i);
    if (!s) {
      note(shp + ": shape " + std::to_string(i) + " cannot be read; skipped");
      continue;
    }
    LoadedShape l;
    const char* k = DBFReadStringAttribute(d, i, f_kennung);
    l.kennung = std::string(platform::text::TrimChars(platform::text::AnsiToUtf8(k ? k : ""),
                                                      " "));  // dBase pads with blanks
    l.klasse = f_klasse >= 0 ? DBFReadIntegerAttribute(d, i, f_klasse) : 0;
    int typ = f_typ >= 0 ? DBFReadIntegerAttribute(d, i, f_typ) : 0;
    int end = s->nParts > 1 ? s->panPartStart[1] : s->nVertices;
    if (s->nParts > 1) note(shp + ": " + l.kennung + " has several parts; the first is taken");
    for (int v = 0; v < end; ++v) l.geometry.push_back({s->padfX[v], s->padfY[v]});
    switch (s->nSHPType) {
      case SHPT_POLYGON:
      case SHPT_POLYGONZ:
      case SHPT_POLYGONM:
        l.typ = ktFlaeche;
        if (l.geometry.size() > 1 && l.geometry.front() == l.geometry.back()) l.geometry.pop_back();
        break;
      case SHPT_ARC:
      case SHPT_ARCZ:
      case SHPT_ARCM:
        l.typ = typ == ktDecoLinie ? ktDecoLinie : ktLinie;
        break;
      case SHPT_POINT:
      case SHPT_POINTZ:
      case SHPT_POINTM:
        l.typ = typ == ktDecoText ? ktDecoText : ktSinglePoint;
        break;
      case SHPT_MULTIPOINT:
      case SHPT_MULTIPOINTZ:
      case SHPT_MULTIPOINTM:
        l.typ = ktMultiPoint;
        break;
      default:
        l.typ = ktNone;
    }
    SHPDestroyObject(s);
    std::string problem = CheckGeometry(l.typ, l.geometry);
    if (l.kennung.empty()) {
      note(shp + ": shape " + std::to_string(i) + " has no identifier; skipped");
    } else if (!problem.empty()) {
      note(shp + ": " + l.kennung + ": " + problem + "; skipped");
    } else {
      out.push_back(std::move(l));
    }
  }
  SHPClose(h);
  DBFClose(d);
  return true;
}

// ---- XML ---------------------------------------------------------------------

// An attribute file as the import takes it: the root element and its
// attributes, and the attributes and fields (name, if any, and text) of each
// <Objekt> under the root, read with the platform's XML parser.
struct XmlObject {
  platform::xml::Attributes attributes;
  std::vector<std::pair<std::optional<std::string>, std::string>> fields;
};

class AttributeFile : public platform::xml::Visitor {
 public:
  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth == 0) {
      root = name;
      attributes = a;
    } else if (depth == 1 && name == "Objekt") {
      objects.push_back({a, {}});
      in_object_ = true;
    } else if (depth == 2 && in_object_ && name == "Feld") {
      const std::string* field = platform::xml::Find(a, "Name");
      field_ = field ? std::optional<std::string>(*field) : std::nullopt;
    }
  }
  void End(int depth, const std::string& name, const std::string& text) override {
    if (depth == 1 && name == "Objekt") {
      in_object_ = false;
    } else if (depth == 2 && in_object_ && name == "Feld") {
      objects.back().fields.emplace_back(field_, text);
    }
  }
  // The value of an attribute of the root, or `fallback`.
  std::string RootAttribute(std::string_view name, const std::string& fallback) const {
    const std::string* value = platform::xml::Find(attributes, name);
    return value ? *value : fallback;
  }

  std::string root;
  platform::xml::Attributes attributes;
  std::vector<XmlObject> objects;

 private:
  bool in_object_ = false;
  std::optional<std::string> field_;
};

}  // namespace

// ---------------------------------------------------------------------------

namespace {

std::vector<const GeoObject*> ObjectsToWrite(const Project& project, bool all_objects) {
  std::vector<const GeoObject*> out;
  for (int32_t id : all_objects ? project.ObjectIds() : project.Selection())
    if (const GeoObject* o = project.Find(id)) out.push_back(o);
  return out;
}

// A field text of an attribute file as the table cursors store it; nullopt
// (with a note) when it does not fit the field.
std::optional<std::string> FieldText(const FieldDef& def, const std::string& v,
                                     const std::string& true_text, const std::string& false_text,
                                     const std::function<void(const std::string&)>& note) {
  if (v.empty()) return std::nullopt;
  switch (def.type) {
    case FieldDef::Type::kBoolean: {
      std::optional<bool> b = v == true_text    ? std::optional<bool>(true)
                              : v == false_text ? std::optional<bool>(false)
                                                : ParseBool(v);
      if (!b) {
        note("\"" + v + "\" is no truth value; " + def.name + " left empty");
        return std::nullopt;
      }
      return *b ? kTrueText : kFalseText;
    }
    case FieldDef::Type::kInteger:
      try {
        return std::to_string(std::stoll(v));
      } catch (...) {
        note("\"" + v + "\" is no number; " + def.name + " left empty");
        return std::nullopt;
      }
    case FieldDef::Type::kText:
      break;
  }
  return std::string(platform::text::Utf8Prefix(v, static_cast<size_t>(def.width)));
}

}  // namespace

bool Exchange::ExportGeodata(const std::string& file, bool all_objects) {
  if (!project_.IsOpen()) {
    plugin_.Note("geodata export without a project");
    return false;
  }
  std::string base = BaseName(file);
  std::map<std::string, std::vector<const GeoObject*>> layers;
  layers[kAreas.suffix];
  for (const GeoObject* o : ObjectsToWrite(project_, all_objects)) {
    if (o->geometry.empty()) {
      plugin_.Note("object " + o->kennung + " has no geometry; not in " + base + ".shp");
      continue;
    }
    layers[LayerOf(o->typ).suffix].push_back(o);
  }
  for (const Layer* layer : {&kAreas, &kLines, &kPoints, &kMultiPoints}) {
    auto it = layers.find(layer->suffix);
    if (it == layers.end()) {
      // A layer an earlier export left under this name would travel with
      // the new files as if it belonged to them.
      if (!RemoveLayerFiles(base, *layer)) {
        plugin_.Note("geodata export: cannot remove the old " + base + layer->suffix + ".shp");
        return false;
      }
      continue;
    }
    std::string error;
    if (!WriteLayer(base, *layer, it->second, error)) {
      plugin_.Note("geodata export: " + error);
      return false;
    }
  }
  return true;
}

bool Exchange::ImportGeodata(const std::string& file, bool replace_existing) {
  if (!project_.IsOpen()) {
    plugin_.Note("geodata import without a project");
    return false;
  }
  std::string base = BaseName(file);
  std::vector<LoadedShape> shapes;
  auto note = [&](const std::string& t) { plugin_.Note("geodata import: " + t); };
  std::string error;
  if (!ReadLayer(base, kAreas, shapes, error, note)) {
    note(error);
    return false;
  }
  for (const Layer* layer : {&kLines, &kPoints, &kMultiPoints}) {
    if (!fs::exists(base + layer->suffix + ".shp")) continue;
    if (!ReadLayer(base, *layer, shapes, error, note)) note(error);
  }
  tables_.PostAll();
  struct Change {
    int32_t id;  // 0: a new object
    LoadedShape shape;
  };
  std::vector<Change> changes;
  std::map<std::string, bool> seen;
  for (auto& s : shapes) {
    if (seen.count(s.kennung)) {
      note("identifier " + s.kennung + " appears twice; the first is taken");
      continue;
    }
    seen[s.kennung] = true;
    if (!project_.ClassById(s.klasse)) {
      note(s.kennung + ": unknown object class " + std::to_string(s.klasse) + "; skipped");
      continue;
    }
    if (platform::text::Utf8Length(s.kennung) > kMaxKennung) {
      note(s.kennung + ": identifier too long; skipped");
      continue;
    }
    int32_t existing = project_.IdOf(s.kennung);
    if (existing && !replace_existing) {
      note(s.kennung + " exists already; kept as it is");
      continue;
    }
    changes.push_back({existing, std::move(s)});
  }
  Project::Batch batch(project_);
  for (const auto& c : changes) {
    if (c.id)
      batch.Replace(c.id, c.shape.klasse, c.shape.typ, c.shape.geometry);
    else
      batch.Insert(c.shape.klasse, c.shape.typ, c.shape.geometry, c.shape.kennung);
  }
  batch.Commit();
  tables_.Reload();
  return true;
}

bool Exchange::ExportXml(const std::string& file, bool all_objects, bool with_empty_fields,
                         const std::string& true_text, const std::string& false_text) {
  if (!project_.IsOpen()) {
    plugin_.Note("XML export without a project");
    return false;
  }
  tables_.PostAll();
  const TableDef& linfos = *FindTable("linfos");
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KartulDaten Tabelle=\"linfos\" Wahr=\""
      << platform::text::XmlEscape(true_text) << "\" Falsch=\""
      << platform::text::XmlEscape(false_text) << "\">\n";
  const auto stored_rows = tables_.StoredRowsById(linfos);
  const std::vector<std::pair<const FieldDef*, std::optional<std::string>>> no_row;
  for (const GeoObject* o : ObjectsToWrite(project_, all_objects)) {
    const auto found = stored_rows.find(o->id);
    out << "  <Objekt Kennung=\"" << platform::text::XmlEscape(o->kennung) << "\" Klasse=\""
        << o->klasse << "\" Typ=\"" << static_cast<int>(o->typ) << "\" KARTULID=\"" << o->id
        << "\">\n";
    for (const auto& [f, stored] : found == stored_rows.end() ? no_row : found->second) {
      if (f->name == "KARTULID" || f->name == "KENNUNG") continue;
      std::string value;
      if (stored) {
        if (f->type == FieldDef::Type::kBoolean)
          value = *stored == kTrueText ? true_text : false_text;
        else
          value = *stored;
      } else if (!with_empty_fields) {
        continue;
      }
      out << "    <Feld Name=\"" << platform::text::XmlEscape(f->name) << "\">"
          << platform::text::XmlEscape(value) << "</Feld>\n";
    }
    out << "  </Objekt>\n";
  }
  out << "</KartulDaten>\n";
  std::string tmp = file + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f << out.str();
    if (!f.flush()) {
      plugin_.Note("XML export: cannot write " + file);
      std::error_code ec;
      fs::remove(tmp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) {
    plugin_.Note("XML export: cannot write " + file + ": " + ec.message());
    return false;
  }
  return true;
}

bool Exchange::ImportXml(const std::string& file, bool create_missing) {
  if (!project_.IsOpen()) {
    plugin_.Note("XML import without a project");
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    plugin_.Note("XML import: cannot read " + file);
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  AttributeFile xml;
  try {
    platform::xml::Walk(text, file, xml);
  } catch (const platform::xml::XmlError& e) {
    plugin_.Note("XML import: " + file + ": " + e.what());
    return false;
  }
  if (xml.root != "KartulDaten" || xml.RootAttribute("Tabelle", "") != "linfos") {
    plugin_.Note("XML import: " + file + " holds no linfos data");
    return false;
  }
  const std::string true_text = xml.RootAttribute("Wahr", "T");
  const std::string false_text = xml.RootAttribute("Falsch", "F");
  const TableDef& linfos = *FindTable("linfos");
  tables_.PostAll();

  Project::Batch batch(project_);
  std::map<std::string, int32_t> new_ids;  // the batch's objects join the project at its end
  for (const XmlObject& o : xml.objects) {
    const std::string* k = platform::xml::Find(o.attributes, "Kennung");
    if (!k || k->empty() || platform::text::Utf8Length(*k) > kMaxKennung ||
        !platform::text::FitsAnsi(*k)) {
      plugin_.Note("XML import: an object without a usable identifier; skipped");
      continue;
    }
    const std::string& kennung = *k;
    int32_t id = project_.IdOf(kennung);
    if (!id && new_ids.count(kennung)) id = new_ids[kennung];
    if (!id) {
      if (!create_missing) {
        plugin_.Note("XML import: no object " + kennung + "; skipped");
        continue;
      }
      int32_t klasse = 0;
      int typ = -1;
      try {
        const std::string* k_klasse = platform::xml::Find(o.attributes, "Klasse");
        const std::string* k_typ = platform::xml::Find(o.attributes, "Typ");
        klasse = std::stoi(k_klasse ? *k_klasse : "0");
        if (k_typ) typ = std::stoi(*k_typ);
      } catch (...) {
      }
      const ObjectClass* oc = project_.ClassById(klasse);
      if (!oc) {
        plugin_.Note("XML import: " + kennung + ": unknown object class " + std::to_string(klasse) +
                     "; skipped");
        continue;
      }
      TDrawTyp draw = IsObjectDrawTyp(typ) ? static_cast<TDrawTyp>(typ) : oc->typ;
      id = batch.Insert(klasse, draw, {}, kennung);
      new_ids[kennung] = id;
    }
    auto note = [&](const std::string& t) { plugin_.Note("XML import: " + kennung + ": " + t); };
    for (const auto& [name, value] : o.fields) {
      const FieldDef* def = nullptr;
      if (name)
        for (const auto& fd : linfos.fields)
          if (fd.name == *name) def = &fd;
      if (!def || def->name == "KARTULID" || def->name == "KENNUNG") {
        note("field " + (name ? *name : std::string("?")) + " skipped");
        continue;
      }
      tables_.StoreField(linfos, id, *def, FieldText(*def, value, true_text, false_text, note));
    }
  }
  batch.Commit();
  tables_.Reload();
  return true;
}

}  // namespace hostsim
