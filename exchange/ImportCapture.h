// What an import records of the objects it loaded, for the re-import's
// merge: the package's prints and the host's right after the load, paired
// field by field into the entries of the record of bases (ImportBases.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"
#include "exchange/ImportPackage.h"
#include "photos/tables/PhotoRows.h"

namespace ImportBases {

// The entries of the objects a load brought in (identifier and
// transaction, in the package's order): each attribute field and the
// geometry, as the package gave them and as the host held them right after
// the load; and the object's plant-list rows (`host_plants`, by
// identifier: PlantsPrint), which no package carries. A field one side lacks
// is the empty value there (the host's export leaves empty fields out), and
// a field empty on both sides is left out, as a missing field reads empty.
// The identifier is no entry's field: an entry is found by it, so it is the
// same on every side. An object the host does not hold after the load gets
// no entry. Klasse is the host's.
std::vector<ObjectBase> Capture(const std::vector<std::pair<std::string, int32_t>>& loaded,
                                const std::vector<HostSnapshot::FieldPrints>& package_fields,
                                const std::vector<HostSnapshot::ShapePrint>& package_shapes,
                                const std::vector<HostSnapshot::FieldPrints>& host_fields,
                                const std::vector<HostSnapshot::HostObject>& host_objects,
                                const std::unordered_map<std::string, uint64_t>& host_plants);

// The package's prints of the objects `wanted` takes: each field of its
// attribute file, each shape of its layers. Throws SnapshotError naming the
// file that cannot be read.
struct PackagePrints {
  std::vector<HostSnapshot::FieldPrints> fields;
  std::vector<HostSnapshot::ShapePrint> shapes;
};
PackagePrints ReadPackagePrints(const ImportFuncs::PackageContent& content,
                                const std::function<bool(const std::string&)>& wanted,
                                bool with_values = false);

// One print of an object's plant-list rows, whatever their order; the
// empty value's print when it has none, as a package gives every object.
uint64_t PlantsPrint(std::vector<const tables::ObjectRow*> rows);

}  // namespace ImportBases
