#include "exchange/ImportMergePlan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "host/Tools.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
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
    // The record keeps no identifier: the entry was found by it.
    const uint64_t identifier = HostSnapshot::PrintOf(std::string_view(K));
    for (const std::string& name : names.Names()) {
      ImportMerge::Field& field = v.fields.emplace_back();
      field.name = name;
      const auto b = bases.find(name);
      const uint64_t missing = name == ImportMerge::kKennung ? identifier : empty;
      field.base_package = b == bases.end() ? missing : b->second->package;
      field.base_host = b == bases.end() ? missing : b->second->host;
      const uint64_t* l = local.Find(name);
      const uint64_t* p = package.Find(name);
      field.local = l ? *l : empty;
      field.package = p ? *p : empty;
    }
    merge.result = ImportMerge::Merge(v);
  }
  return merges;
}

namespace {

// The text of a field in one version; empty where that version lacks it.
std::string ValueIn(const std::vector<HostSnapshot::FieldPrints>& objects, const std::string& K,
                    const std::string& field) {
  for (const HostSnapshot::FieldPrints& object : objects) {
    if (object.Kennung != K) continue;
    for (size_t i = 0; i < object.fields.size() && i < object.values.size(); ++i) {
      if (object.fields[i].first == field) return object.values[i];
    }
  }
  return {};
}

std::string Described(const HostSnapshot::ShapeSummary& shape) {
  std::string text = std::to_string(shape.vertices) + " Stützpunkte";
  if (shape.area > 0) {
    const long long area = static_cast<long long>(shape.area + 0.5);
    text += ", Fläche " + std::to_string(area) + " m²";
  }
  return text;
}

std::string GeometryText(const Inputs& in, const std::string& K, bool local) {
  if (local) {
    for (const HostSnapshot::HostObject& object : in.host.objects) {
      if (object.Kennung == K) return Described(object.shape);
    }
  } else {
    for (const HostSnapshot::ShapePrint& shape : in.package.shapes) {
      if (shape.Kennung == K) return Described(shape.shape);
    }
  }
  return "keine Geometrie";
}

bool IsAttribute(const std::string& name) {
  return name != ImportMerge::kGeometry && name != ImportMerge::kKennung &&
         name != ImportMerge::kPlants;
}

}  // namespace

std::string LocalText(const Inputs& in, const std::string& K, const std::string& field) {
  if (field == ImportMerge::kGeometry) return GeometryText(in, K, true);
  const std::string value = ValueIn(in.host.fields, K, field);
  return value.empty() ? "(leer)" : "\"" + value + "\"";
}

std::vector<ImportBases::ObjectBase> Settled(
    const Inputs& in, const std::vector<std::pair<std::string, int32_t>>& kennungen) {
  std::vector<std::pair<std::string, int32_t>> loaded;
  std::vector<HostSnapshot::HostObject> held;
  for (const auto& [K, TID] : kennungen) {
    for (const HostSnapshot::ShapePrint& shape : in.package.shapes) {
      if (shape.Kennung != K) continue;
      HostSnapshot::HostObject& object = held.emplace_back();
      object.Kennung = K;
      object.Klasse = shape.Klasse;
      object.geometry = shape.geometry;
      break;
    }
    loaded.emplace_back(K, TID);
  }
  return ImportBases::Capture(loaded, in.package.fields, in.package.shapes, in.package.fields, held,
                              in.host_plants);
}

std::vector<Conflict> Conflicts(const std::vector<ObjectMerge>& merges, const Inputs& in) {
  std::vector<Conflict> conflicts;
  for (const ObjectMerge& merge : merges) {
    const std::string& K = merge.versions.Kennung;
    switch (merge.result.outcome) {
      case ImportMerge::Outcome::kDeleteConflict:
        conflicts.push_back({K, "", merge.versions.deleted_locally ? "gelöscht" : "geändert",
                             merge.versions.deleted_locally ? "geändert" : "nicht mehr im Paket",
                             Side::kLocal, false});
        break;
      case ImportMerge::Outcome::kReadOnlyConflict:
        conflicts.push_back({K, "", "geändert", "nur lesend", Side::kPackage, true});
        break;
      case ImportMerge::Outcome::kConflict:
        for (const ImportMerge::FieldResult& field : merge.result.fields) {
          if (field.take != ImportMerge::Take::kConflict || field.follows_geometry) continue;
          Conflict& c = conflicts.emplace_back();
          c.Kennung = K;
          c.field = field.name;
          if (field.name == ImportMerge::kGeometry) {
            c.local = GeometryText(in, K, true);
            c.package = GeometryText(in, K, false);
          } else {
            c.local = ValueIn(in.host.fields, K, field.name);
            c.package = ValueIn(in.package.fields, K, field.name);
          }
        }
        break;
      default:
        break;
    }
  }
  return conflicts;
}

std::unordered_map<std::string, Way> Ways(const std::vector<ObjectMerge>& merges, const Inputs& in,
                                          const std::vector<Conflict>& conflicts) {
  std::map<std::pair<std::string, std::string>, Side> decided;
  for (const Conflict& c : conflicts) decided[{c.Kennung, c.field}] = c.choice;
  const auto choice = [&decided](const std::string& K, const std::string& field, Side fallback) {
    const auto found = decided.find({K, field});
    return found == decided.end() ? fallback : found->second;
  };

  std::unordered_map<std::string, Way> ways;
  for (const ObjectMerge& merge : merges) {
    const std::string& K = merge.versions.Kennung;
    Way& way = ways[K];
    switch (merge.result.outcome) {
      case ImportMerge::Outcome::kLoadPackage:
        way.kind = Way::kReload;
        continue;
      case ImportMerge::Outcome::kDelete:
        // Deleted here and untouched in the package: the deletion stands.
        way.kind = Way::kKeepLocal;
        way.local_survives = merge.versions.deleted_locally;
        continue;
      case ImportMerge::Outcome::kDeleteConflict:
      case ImportMerge::Outcome::kReadOnlyConflict: {
        const Side side =
            choice(K, "",
                   merge.result.outcome == ImportMerge::Outcome::kReadOnlyConflict ? Side::kPackage
                                                                                   : Side::kLocal);
        way.kind = side == Side::kLocal ? Way::kKeepLocal : Way::kReload;
        way.local_survives = side == Side::kLocal;
        continue;
      }
      case ImportMerge::Outcome::kMerged:
      case ImportMerge::Outcome::kConflict:
        break;
    }
    // Each field's side; a coordinate attribute goes with its geometry.
    std::optional<Side> geometry;
    std::vector<std::pair<const ImportMerge::FieldResult*, Side>> sides;
    for (const ImportMerge::FieldResult& field : merge.result.fields) {
      std::optional<Side> side;
      switch (field.take) {
        case ImportMerge::Take::kLocal:
          side = Side::kLocal;
          break;
        case ImportMerge::Take::kPackage:
          side = Side::kPackage;
          break;
        case ImportMerge::Take::kConflict:
          side =
              choice(K, field.follows_geometry ? std::string(ImportMerge::kGeometry) : field.name,
                     Side::kLocal);
          break;
        case ImportMerge::Take::kUnchanged:
        case ImportMerge::Take::kSame:
          break;
      }
      if (!side) continue;
      if (field.name == ImportMerge::kGeometry) geometry = side;
      sides.emplace_back(&field, *side);
    }
    const auto writes_for = [&](Side winner) {
      std::vector<std::pair<std::string, std::string>> writes;
      for (const auto& [field, side] : sides) {
        if (side != winner || !IsAttribute(field->name)) continue;
        // A coordinate attribute came with the geometry it follows.
        if (field->follows_geometry) continue;
        writes.emplace_back(
            field->name,
            ValueIn(winner == Side::kLocal ? in.host.fields : in.package.fields, K, field->name));
      }
      return writes;
    };
    way.kind = geometry == Side::kPackage ? Way::kReload : Way::kInPlace;
    way.writes = writes_for(way.kind == Way::kReload ? Side::kLocal : Side::kPackage);
    const auto fits = [](const auto& write) { return platform::text::FitsAnsi(write.second); };
    if (way.kind == Way::kInPlace && !std::all_of(way.writes.begin(), way.writes.end(), fits)) {
      if (geometry == Side::kLocal) {
        for (const auto& write : way.writes) {
          if (!fits(write)) way.unwritable.push_back(write.first);
        }
        std::erase_if(way.writes, [&fits](const auto& write) { return !fits(write); });
      } else {
        way.kind = Way::kReload;
        way.writes = writes_for(Side::kLocal);
      }
    }
    for (const auto& [field, side] : sides) {
      if (field->follows_geometry) continue;
      const bool stays_local =
          side == Side::kLocal || std::find(way.unwritable.begin(), way.unwritable.end(),
                                            field->name) != way.unwritable.end();
      ++(stays_local ? way.from_local : way.from_package);
    }
    way.local_survives = way.from_local > 0;
  }
  return ways;
}

std::optional<Inputs> Gather(const ImportFuncs::PackageContent& content,
                             const std::vector<std::string>& kennungen,
                             const TObjectMetadataList& rows, const std::string& scratch) {
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

  in.host = HostSnapshot::TakeSnapshot(wanted, scratch, true);
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

  in.package = ImportBases::ReadPackagePrints(content, wanted, true);
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
