#include "exchange/ImportCapture.h"

#include <map>
#include <string_view>
#include <unordered_map>

#include "exchange/ImportMerge.h"

namespace ImportBases {

std::vector<ObjectBase> Capture(const std::vector<std::pair<std::string, int32_t>>& loaded,
                                const std::vector<HostSnapshot::FieldPrints>& package_fields,
                                const std::vector<HostSnapshot::ShapePrint>& package_shapes,
                                const std::vector<HostSnapshot::FieldPrints>& host_fields,
                                const std::vector<HostSnapshot::HostObject>& host_objects) {
  const std::string empty = HostSnapshot::HashOf("");
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
    ObjectBase& object = out.emplace_back();
    object.Kennung = K;
    object.TID = TID;
    object.Klasse = in_host->second->Klasse;
    const auto shape = package_shape.find(K);
    object.fields.push_back({ImportMerge::kGeometry,
                             shape == package_shape.end() ? empty : *shape->second,
                             in_host->second->geometry});
    const std::string identifier = HostSnapshot::HashOf(K);
    object.fields.push_back({ImportMerge::kKennung, identifier, identifier});
    // The fields in the package's order, then those only the host lists.
    std::map<std::string, size_t> at;
    const auto add = [&](const HostSnapshot::FieldPrints* prints, bool from_package) {
      if (prints == nullptr) return;
      for (const auto& [name, print] : prints->fields) {
        const auto [it, added] = at.emplace(name, object.fields.size());
        if (added) object.fields.push_back({name, empty, empty});
        FieldBase& field = object.fields[it->second];
        (from_package ? field.package : field.host) = print;
      }
    };
    const auto p = package.find(K);
    const auto h = host.find(K);
    add(p == package.end() ? nullptr : p->second, true);
    add(h == host.end() ? nullptr : h->second, false);
  }
  return out;
}

}  // namespace ImportBases
