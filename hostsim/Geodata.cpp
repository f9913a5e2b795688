// The host's geodata exchange (see Exchange.h): which layers and objects
// are written, and what of a read layer is taken in. The files themselves
// are GeodataLayers.h's.
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "hostsim/Exchange.h"
#include "hostsim/GeodataLayers.h"
#include "hostsim/Geometry.h"
#include "hostsim/PluginHost.h"
#include "hostsim/Project.h"
#include "hostsim/System.h"
#include "hostsim/TableCursors.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

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
constexpr Layer kAreas{"", geodata::kPolygon};
constexpr Layer kLines{"_lin", geodata::kArc};
constexpr Layer kPoints{"_pkt", geodata::kPoint};
constexpr Layer kMultiPoints{"_mpt", geodata::kMultiPoint};

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

// Removes the files of one layer; false when one exists and cannot go.
bool RemoveLayerFiles(const std::string& base, const Layer& layer) {
  bool ok = true;
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
    std::error_code ec;
    const std::string file = base + layer.suffix + ext;
    fs::remove(sys::FilePath(file), ec);
    if (ec && fs::exists(sys::FilePath(file))) ok = false;
  }
  return ok;
}

struct LoadedShape {
  std::string kennung;
  int32_t klasse = 0;
  TDrawTyp typ = ktNone;
  std::vector<Point> geometry;
};

// Reads one layer and takes the records that make objects; false when it
// cannot be opened or lacks KENNUNG.
bool ReadLayer(const std::string& base, const Layer& layer, std::vector<LoadedShape>& out,
               std::string& error, const std::function<void(const std::string&)>& note) {
  const std::string shp = base + layer.suffix + ".shp";
  std::vector<geodata::LayerRecord> records;
  if (!geodata::ReadLayer(shp, records, error, note)) return false;
  for (size_t i = 0; i < records.size(); ++i) {
    geodata::LayerRecord& r = records[i];
    LoadedShape l;
    l.kennung = std::move(r.kennung);
    l.klasse = r.klasse;
    if (r.parts > 1) note(shp + ": " + l.kennung + " has several parts; the first is taken");
    l.geometry = std::move(r.points);
    switch (r.shape_type) {
      case geodata::kPolygon:
      case geodata::kPolygon + 10:
      case geodata::kPolygon + 20:
        l.typ = ktFlaeche;
        if (l.geometry.size() > 1 && l.geometry.front() == l.geometry.back()) l.geometry.pop_back();
        break;
      case geodata::kArc:
      case geodata::kArc + 10:
      case geodata::kArc + 20:
        l.typ = r.typ == ktDecoLinie ? ktDecoLinie : ktLinie;
        break;
      case geodata::kPoint:
      case geodata::kPoint + 10:
      case geodata::kPoint + 20:
        l.typ = r.typ == ktDecoText ? ktDecoText : ktSinglePoint;
        break;
      case geodata::kMultiPoint:
      case geodata::kMultiPoint + 10:
      case geodata::kMultiPoint + 20:
        l.typ = ktMultiPoint;
        break;
      default:
        l.typ = ktNone;
    }
    std::string problem = CheckGeometry(l.typ, l.geometry);
    if (l.kennung.empty()) {
      note(shp + ": shape " + std::to_string(i) + " has no identifier; skipped");
    } else if (!problem.empty()) {
      note(shp + ": " + l.kennung + ": " + problem + "; skipped");
    } else {
      out.push_back(std::move(l));
    }
  }
  return true;
}

std::vector<const GeoObject*> ObjectsToWrite(const Project& project, bool all_objects) {
  std::vector<const GeoObject*> out;
  for (int32_t id : all_objects ? project.ObjectIds() : project.Selection())
    if (const GeoObject* o = project.Find(id)) out.push_back(o);
  return out;
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
    if (!geodata::WriteLayer(base + layer->suffix + ".shp", layer->shape_type, it->second, error)) {
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
    if (!fs::exists(sys::FilePath(base + layer->suffix + ".shp"))) continue;
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

}  // namespace hostsim
