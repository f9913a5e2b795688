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

// ---- Deciding ----------------------------------------------------------------------

enum class Side { kLocal, kPackage };

// One thing the mapper decides: a field changed differently on both sides
// (`field` its name), or the whole object (`field` empty: deleted on one
// side and changed on the other, or local work on an object the package now
// lists read-only). The texts show each side's value; a geometry by its
// vertices and area, a whole object by what became of it.
struct Conflict {
  std::string Kennung;
  std::string field;
  std::string local;
  std::string package;
  Side choice = Side::kLocal;  // the default: the local value, the package's where read-only
  bool read_only = false;
};

// The conflicts of the merges, in their order, each with its default.
std::vector<Conflict> Conflicts(const std::vector<ObjectMerge>& merges, const Inputs& in);

// How an object comes in, once its conflicts are decided.
struct Way {
  enum Kind {
    kKeepLocal,  // neither deleted nor loaded; its row stays as it is
    kInPlace,    // the object stays; the package's winning values are written into it
    kReload,     // the package's object is loaded; the local winning values are written into it
  } kind = kKeepLocal;
  // The attribute values to write (field, text) once the object is in.
  std::vector<std::pair<std::string, std::string>> writes;
  // A local value survives: the row keeps "UPDATE" so that the next export
  // sends the object.
  bool local_survives = false;
  int from_local = 0;    // fields that keep the local value
  int from_package = 0;  // fields that take the package's
  // Package values the host cannot take (no ANSI text) on an object that
  // keeps its local geometry, which a reload would lose: the local values
  // stay, and the mapper is told.
  std::vector<std::string> unwritable;
};

// The way of each merged object, with `conflicts` as decided (Conflicts'
// order). A value the host could not take in place (no ANSI text) makes
// the object reloaded, the local values written into the package's, unless
// the object keeps its local geometry (Way::unwritable).
std::unordered_map<std::string, Way> Ways(const std::vector<ObjectMerge>& merges, const Inputs& in,
                                          const std::vector<Conflict>& conflicts);

// The local value of a field as the mapper is told it: a geometry by its
// vertices and area.
std::string LocalText(const Inputs& in, const std::string& K, const std::string& field);

// The record's entries of objects merged in place (identifier and
// transaction): the package's prints on both sides, as a load would have
// left them, so that the next re-import takes what was decided now as the
// common base; the plant list as the host holds it.
std::vector<ImportBases::ObjectBase> Settled(
    const Inputs& in, const std::vector<std::pair<std::string, int32_t>>& kennungen);

// Reads the inputs for `kennungen` from the project and the package: the
// record, one export of the host (into `scratch`, made and removed again),
// the package's prints, and `rows` (TA_LIST as read). Nothing when the
// record knows none of them or there is no record. Throws
// HostSnapshot::SnapshotError or ImportBases::BasesError naming the file
// that cannot be read.
std::optional<Inputs> Gather(const ImportFuncs::PackageContent& content,
                             const std::vector<std::string>& kennungen,
                             const TObjectMetadataList& rows, const std::string& scratch);

}  // namespace ImportMergePlan
