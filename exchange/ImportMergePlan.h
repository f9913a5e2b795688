// The re-import's merge of the package's objects that carry local work and
// that the record of bases knows: each object's four versions gathered from
// what was read (its entry in the record, the host's prints now, the new
// package's prints and row) and merged field by field (ImportMerge.h).
// Objects the record does not know (imported before there was one) are
// left out: the question asks about them as it always did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"
#include "exchange/ImportCapture.h"
#include "exchange/ImportMerge.h"
#include "exchange/ImportPackage.h"

namespace ImportMergePlan {

// What the versions are made of.
struct Inputs {
  std::unordered_map<std::string, ImportBases::ObjectBase> record;  // by identifier
  // The host now: its objects, and the per-field prints of those asked for.
  HostSnapshot::Snapshot host;
  std::unordered_map<std::string, uint64_t> host_plants;  // K -> PlantsPrint
  ImportBases::PackagePrints package;
  // The package's class of each object (its attribute file's "Klasse",
  // else its geodata's) and the status its list gives it.
  std::unordered_map<std::string, int32_t> package_classes;
  std::unordered_map<std::string, int32_t> package_status;
  // Identifiers whose row reads "DELETE": the mapper deleted the object.
  std::unordered_set<std::string> deleted_rows;
};

struct ObjectMerge {
  ImportMerge::Versions versions;
  ImportMerge::Result result;
};

// The merge of each of `kennungen` the record knows, in their order.
std::vector<ObjectMerge> Plan(const std::vector<std::string>& kennungen, const Inputs& in);

// Reads the inputs for `kennungen` from the project and the package: the
// record, one export of the host, the package's prints, and `rows` (TA_LIST
// as read). Nothing when the record knows none of them or there is no
// record. Throws HostSnapshot::SnapshotError or ImportBases::BasesError
// naming the file that cannot be read.
std::optional<Inputs> Gather(const ImportFuncs::PackageContent& content,
                             const std::vector<std::string>& kennungen,
                             const TObjectMetadataList& rows);

}  // namespace ImportMergePlan
