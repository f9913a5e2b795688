// The re-import's three-way merge of one object, field by field, as pure
// functions over fingerprints: what the package held at the last import
// (the base as the package gave it), what the host held right after that
// load (the base as the host holds it), what the host holds now (local) and
// what the new package holds. A value unchanged in the host since the load
// takes the package's; one unchanged in the package since the last import
// keeps the local one; one changed on both sides to the same value is no
// conflict; one changed differently is. Fingerprints of the same value
// must be equal on both sides: the caller takes them in one form (the
// host's attribute export's text, the shape record as written).
//
// The fields: each attribute field of the object's "linfos" row, the
// geometry as one field (the coordinate attributes following it: they
// describe the geometry, so they come from whichever side's geometry is
// taken), the identifier, and the object's plant-list rows as one field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ImportMerge {

// The names of the fields that are no attribute field.
inline constexpr const char* kGeometry = "(Geometrie)";
inline constexpr const char* kKennung = "(Kennung)";
inline constexpr const char* kPlants = "(Pflanzenliste)";

// Whether an attribute field is one of the coordinate attributes, which
// follow the geometry ("UTM_East", "UTM_North", "GK_RW", "FLAECHE", without
// regard to case).
bool FollowsGeometry(const std::string& field);

// One field of one object in its four versions, each a fingerprint
// (HostSnapshot::Print). A version that lacks the field holds the
// fingerprint of the empty value, as the host shows a field it has no value
// for.
struct Field {
  std::string name;
  uint64_t base_package = 0;
  uint64_t base_host = 0;
  uint64_t local = 0;
  uint64_t package = 0;
};

struct Versions {
  std::string Kennung;  // the checked-out identifier
  // The host object is gone (a local "DELETE"), or the new package lacks
  // the object.
  bool deleted_locally = false;
  bool missing_in_package = false;
  // The class differs between the versions: the package's object is loaded
  // as it is, as the import did before it merged.
  bool class_changed = false;
  // The new package lists the object read-only (status 0): local changes
  // could never travel back.
  bool read_only_in_package = false;
  std::vector<Field> fields;
};

// Where a field's merged value comes from.
enum class Take {
  kUnchanged,  // neither side changed it: both hold the base
  kPackage,    // changed in the package only
  kLocal,      // changed in the host only
  kSame,       // changed on both sides to the same value
  kConflict,   // changed on both sides differently
};

struct FieldResult {
  std::string name;
  Take take = Take::kUnchanged;
  // A coordinate attribute that took the geometry's side instead of its own.
  bool follows_geometry = false;
};

enum class Outcome {
  kMerged,       // the fields below, each from its side
  kLoadPackage,  // the package's object is loaded whole (class changed)
  kDelete,       // deleted on one side, unchanged on the other
  kConflict,     // the fields below hold conflicts to decide
  // Deleted on one side and changed on the other: one conflict of the whole
  // object (keep the local state, or take the package's).
  kDeleteConflict,
  // Local changes on an object the package now lists read-only: one
  // conflict of its own, defaulting to the package's version.
  kReadOnlyConflict,
};

struct Result {
  Outcome outcome = Outcome::kMerged;
  std::vector<FieldResult> fields;  // for kMerged and kConflict, in the input's order
  int from_local = 0;               // fields that keep the local value
  int from_package = 0;             // fields that take the package's value
  int conflicts = 0;                // fields to decide; a coordinate attribute follows its geometry
  // Whether any local value survives: the row's change mark stays "UPDATE"
  // so that the next export sends the object.
  bool local_survives() const { return from_local > 0; }
};

// How one field changed on each side.
bool ChangedLocally(const Field& field);
bool ChangedInPackage(const Field& field);
Take TakeOf(const Field& field);

Result Merge(const Versions& versions);

}  // namespace ImportMerge
