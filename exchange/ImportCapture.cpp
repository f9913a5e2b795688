#include "exchange/ImportCapture.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "exchange/ImportMerge.h"
#include "platform/env/Env.h"

namespace ImportBases {

std::vector<ObjectBase> Capture(const std::vector<std::pair<std::string, int32_t>>& loaded,
                                const std::vector<HostSnapshot::FieldPrints>& package_fields,
                                const std::vector<HostSnapshot::ShapePrint>& package_shapes,
                                const std::vector<HostSnapshot::FieldPrints>& host_fields,
                                const std::vector<HostSnapshot::HostObject>& host_objects,
                                const std::unordered_map<std::string, uint64_t>& host_plants) {
  const uint64_t empty = HostSnapshot::PrintOf(std::string_view());
  std::unordered_map<std::string_view, const HostSnapshot::FieldPrints*> package, host;
  for (const auto& object : package_fields) package.emplace(object.Kennung, &object);
  for (const auto& object : host_fields) host.emplace(object.Kennung, &object);
  std::unordered_map<std::string_view, const std::string*> package_shape;
  for (const auto& shape : package_shapes) package_shape.emplace(shape.Kennung, &shape.geometry);
  std::unordered_map<std::string_view, const HostSnapshot::HostObject*> held;
  for (const auto& object : host_objects) held.emplace(object.Kennung, &object);

  std::vector<ObjectBase> out;
  out.reserve(loaded.size());
  for (const auto& [K, TID] : loaded) {
    const auto in_host = held.find(K);
    if (in_host == held.end()) continue;
    const auto p = package.find(K);
    const auto h = host.find(K);
    ObjectBase& object = out.emplace_back();
    object.Kennung = K;
    object.TID = TID;
    object.Klasse = in_host->second->Klasse;
    object.fields.reserve(3 + (p == package.end() ? 0 : p->second->fields.size()));
    const auto shape = package_shape.find(K);
    object.fields.push_back(
        {ImportMerge::kGeometry,
         shape == package_shape.end() ? empty : HostSnapshot::ValueOf(*shape->second),
         HostSnapshot::ValueOf(in_host->second->geometry)});
    const auto plants = host_plants.find(K);
    object.fields.push_back(
        {ImportMerge::kPlants, empty, plants == host_plants.end() ? empty : plants->second});
    // The fields in the package's order, then those only the host lists.
    // The host mostly lists them in the package's order: the field at the
    // same place is tried first, then the others (a few dozen at most).
    const auto add = [&](const HostSnapshot::FieldPrints* prints, bool from_package) {
      if (prints == nullptr) return;
      size_t at = 2;
      for (const auto& [name, print] : prints->fields) {
        if (at >= object.fields.size() || object.fields[at].name != name) {
          at = 2;
          while (at < object.fields.size() && object.fields[at].name != name) ++at;
          if (at == object.fields.size()) object.fields.push_back({name, empty, empty});
        }
        (from_package ? object.fields[at].package : object.fields[at].host) = print;
        ++at;
      }
    };
    add(p == package.end() ? nullptr : p->second, true);
    add(h == host.end() ? nullptr : h->second, false);
    // A field empty on both sides is what a missing one means, and most
    // fields of most objects are: they are left out, and so the record
    // stays a fraction of the project.
    std::erase_if(object.fields,
                  [empty](const FieldBase& f) { return f.package == empty && f.host == empty; });
  }
  return out;
}

PackagePrints ReadPackagePrints(const ImportFuncs::PackageContent& content,
                                const std::function<bool(const std::string&)>& wanted,
                                bool with_values) {
  PackagePrints prints;
  platform::env::Env& env = platform::env::Env::Current();
  if (!content.xml.empty()) {
    std::string xml;
    try {
      xml = platform::env::ReadFile(env, content.xml);
    } catch (const platform::env::EnvError& e) {
      throw HostSnapshot::SnapshotError("Die Datei " + content.xml +
                                        " kann nicht gelesen werden:\r" + e.what());
    }
    prints.fields = HostSnapshot::XmlFieldPrints(xml, content.xml, wanted, with_values);
  }
  if (!content.geodata.empty()) {
    std::vector<std::string> layers;
    for (const ImportFuncs::GeoLayer& layer : content.layers) {
      const std::string name = platform::env::NameOf(layer.path);
      layers.push_back(name.substr(0, name.size() - 4));
    }
    prints.shapes = HostSnapshot::GeometryPrints(platform::env::FolderOf(content.geodata), layers);
    std::erase_if(prints.shapes,
                  [&](const HostSnapshot::ShapePrint& shape) { return !wanted(shape.Kennung); });
  }
  return prints;
}

uint64_t PlantsPrint(std::vector<const tables::ObjectRow*> rows) {
  if (rows.empty()) return HostSnapshot::PrintOf(std::string_view());
  // Each row's fields as text, apart from its object id, which a reload
  // changes; a tab and a line feed cannot stand in a dBase text.
  std::vector<std::string> texts;
  for (const tables::ObjectRow* row : rows) {
    std::string& text = texts.emplace_back();
    for (const auto& [name, value] : row->fields) {
      text += name + (value ? "=" + *value : "~") + '\t';
    }
  }
  std::sort(texts.begin(), texts.end());
  std::string all;
  for (const std::string& text : texts) all += text + '\n';
  return HostSnapshot::PrintOf(std::string_view(all));
}

}  // namespace ImportBases
