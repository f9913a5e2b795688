// What an import records of the objects it loaded, for the re-import's
// merge: the package's prints and the host's right after the load, paired
// field by field into the entries of the record of bases (ImportBases.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"

namespace ImportBases {

// The entries of the objects a load brought in (identifier and
// transaction, in the package's order): each attribute field, the geometry
// and the identifier, as the package gave them and as the host held them
// right after the load. A field one side lacks is the empty value there (the
// host's export leaves empty fields out); an object the host does not hold
// after the load gets no entry. Klasse is the host's.
std::vector<ObjectBase> Capture(const std::vector<std::pair<std::string, int32_t>>& loaded,
                                const std::vector<HostSnapshot::FieldPrints>& package_fields,
                                const std::vector<HostSnapshot::ShapePrint>& package_shapes,
                                const std::vector<HostSnapshot::FieldPrints>& host_fields,
                                const std::vector<HostSnapshot::HostObject>& host_objects);

}  // namespace ImportBases
