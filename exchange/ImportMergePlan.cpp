#include "exchange/ImportMergePlan.h"

#include <map>
#include <utility>

#include "host/Tools.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "transaction/TransActTools.h"

namespace ImportMergePlan {
namespace {

// An object's prints by field name, in first-seen order.
class Prints {
 public:
  void Set(const std::string& name, uint64_t print) {
    const auto [it, added] = at_.emplace(name, names_.size());
    if (added) {
      names_.push_back(name);
      prints_.push_back(print);
    } else {
      prints_[it->second] = print;
    }
  }
  const uint64_t* Find(const std::string& name) const {
    const auto it = at_.find(name);
    return it == at_.end() ? nullptr : &prints_[it->second];
  }
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::map<std::string, size_t> at_;
  std::vector<std::string> names_;
  std::vector<uint64_t> prints_;
};

}  // namespace

std::vector<ObjectMerge> Plan(const std::vector<std::string>& kennungen, const Inputs& in) {
  const uint64_t empty = HostSnapshot::PrintOf(std::string_view());
  std::unordered_map<std::string, const HostSnapshot::FieldPrints*> host_fields, package_fields;
  for (const auto& object : in.host.fields) host_fields.emplace(object.Kennung, &object);
  for (const auto& object : in.package.fields) package_fields.emplace(object.Kennung, &object);
  std::unordered_map<std::string, const HostSnapshot::HostObject*> held;
  for (const auto& object : in.host.objects) held.emplace(object.Kennung, &object);
  std::unordered_map<std::string, const HostSnapshot::Fingerprint*> package_shapes;
  for (const auto& shape : in.package.shapes)
    package_shapes.emplace(shape.Kennung, &shape.geometry);

  std::vector<ObjectMerge> merges;
  for (const std::string& K : kennungen) {
    const auto base = in.record.find(K);
    if (base == in.record.end()) continue;
    ObjectMerge& merge = merges.emplace_back();
    ImportMerge::Versions& v = merge.versions;
    v.Kennung = K;
    const auto object = held.find(K);
    v.deleted_locally = object == held.end() || in.deleted_rows.count(K) > 0;
    const bool in_package =
        in.package_status.count(K) || package_fields.count(K) || package_shapes.count(K);
    v.missing_in_package = !in_package;
    const auto status = in.package_status.find(K);
    v.read_only_in_package =
        status != in.package_status.end() && status->second == TransActTools::kLesend;
    const auto klasse = in.package_classes.find(K);
    v.class_changed = (klasse != in.package_classes.end() && klasse->second != 0 &&
                       klasse->second != base->second.Klasse) ||
                      (object != held.end() && object->second->Klasse != base->second.Klasse);

    Prints local, package;
    if (object != held.end()) {
      local.Set(ImportMerge::kGeometry, HostSnapshot::ValueOf(object->second->geometry));
      local.Set(ImportMerge::kKennung, HostSnapshot::PrintOf(std::string_view(K)));
      const auto plants = in.host_plants.find(K);
      local.Set(ImportMerge::kPlants, plants == in.host_plants.end() ? empty : plants->second);
      if (const auto f = host_fields.find(K); f != host_fields.end()) {
        for (const auto& [name, print] : f->second->fields) local.Set(name, print);
      }
    }
    if (in_package) {
      const auto shape = package_shapes.find(K);
      package.Set(ImportMerge::kGeometry,
                  shape == package_shapes.end() ? empty : HostSnapshot::ValueOf(*shape->second));
      package.Set(ImportMerge::kKennung, HostSnapshot::PrintOf(std::string_view(K)));
      package.Set(ImportMerge::kPlants, empty);
      if (const auto f = package_fields.find(K); f != package_fields.end()) {
        for (const auto& [name, print] : f->second->fields) package.Set(name, print);
      }
    }
    // Every field any version has, the record's order first.
    Prints names;
    for (const ImportBases::FieldBase& field : base->second.fields) names.Set(field.name, 0);
    for (const std::string& name : local.Names()) names.Set(name, 0);
    for (const std::string& name : package.Names()) names.Set(name, 0);
    std::unordered_map<std::string, const ImportBases::FieldBase*> bases;
    for (const ImportBases::FieldBase& field : base->second.fields)
      bases.emplace(field.name, &field);
    for (const std::string& name : names.Names()) {
      ImportMerge::Field& field = v.fields.emplace_back();
      field.name = name;
      const auto b = bases.find(name);
      field.base_package = b == bases.end() ? empty : b->second->package;
      field.base_host = b == bases.end() ? empty : b->second->host;
      const uint64_t* l = local.Find(name);
      const uint64_t* p = package.Find(name);
      field.local = l ? *l : empty;
      field.package = p ? *p : empty;
    }
    merge.result = ImportMerge::Merge(v);
  }
  return merges;
}

std::optional<Inputs> Gather(const ImportFuncs::PackageContent& content,
                             const std::vector<std::string>& kennungen,
                             const TObjectMetadataList& rows) {
  const std::string path = Tools::MyGetProjectDir() + std::string(ImportBases::kFileName);
  std::optional<std::vector<ImportBases::ObjectBase>> record =
      ImportBases::Read(platform::env::Env::Current(), path);
  if (!record) return std::nullopt;
  const std::unordered_set<std::string> wanted_set(kennungen.begin(), kennungen.end());
  Inputs in;
  for (ImportBases::ObjectBase& object : *record) {
    if (wanted_set.count(object.Kennung)) in.record[object.Kennung] = std::move(object);
  }
  if (in.record.empty()) return std::nullopt;
  const auto wanted = [&in](const std::string& K) { return in.record.count(K) > 0; };

  in.host = HostSnapshot::TakeSnapshot(wanted);
  std::unordered_map<int32_t, std::string> kennung_of;
  std::unordered_set<int32_t> ids;
  for (const HostSnapshot::HostObject& object : in.host.objects) {
    if (wanted(object.Kennung)) {
      kennung_of.emplace(object.id, object.Kennung);
      ids.insert(object.id);
    }
  }
  const std::vector<tables::ObjectRow> plant_rows =
      EnsureFotoverwaltung().ReadObjectRows(tables::ObjectRowTable::kPlantList, ids);
  std::unordered_map<std::string, std::vector<const tables::ObjectRow*>> plants_of;
  for (const tables::ObjectRow& row : plant_rows)
    plants_of[kennung_of[row.KartulID]].push_back(&row);
  for (const auto& [K, rows_of] : plants_of)
    in.host_plants.emplace(K, ImportBases::PlantsPrint(rows_of));

  in.package = ImportBases::ReadPackagePrints(content, wanted);
  for (const ImportFuncs::GeoLayer& layer : content.layers) {
    for (size_t i = 0; i < layer.ids.size() && i < layer.classes.size(); ++i) {
      if (wanted(layer.ids[i])) in.package_classes.emplace(layer.ids[i], layer.classes[i]);
    }
  }
  for (size_t i = 0; i < content.xml_ids.size() && i < content.xml_classes.size(); ++i) {
    if (wanted(content.xml_ids[i]) && content.xml_classes[i] != 0) {
      in.package_classes[content.xml_ids[i]] = content.xml_classes[i];
    }
  }
  for (const ImportFuncs::TTransaktionslistenDaten& row : content.rows) {
    if (wanted(row.Kennung)) in.package_status.emplace(row.Kennung, row.Schreibend);
  }
  for (const TObjectMetadata& row : rows) {
    if (wanted(row.Kennung) && row.Changed == TransActTools::kDelete) {
      in.deleted_rows.insert(row.Kennung);
    }
  }
  return in;
}

}  // namespace ImportMergePlan
