#include "exchange/ImportMerge.h"

#include <algorithm>
#include <optional>

#include "platform/text/Strings.h"

namespace ImportMerge {

bool FollowsGeometry(const std::string& field) {
  static constexpr const char* kCoordinates[] = {"UTM_East", "UTM_North", "GK_RW", "FLAECHE"};
  return std::any_of(std::begin(kCoordinates), std::end(kCoordinates), [&](const char* name) {
    return platform::text::EqualsIgnoreCase(field, name);
  });
}

bool ChangedLocally(const Field& field) {
  return field.local != field.base_host;
}

bool ChangedInPackage(const Field& field) {
  return field.package != field.base_package;
}

Take TakeOf(const Field& field) {
  const bool local = ChangedLocally(field);
  const bool package = ChangedInPackage(field);
  if (!local && !package) return Take::kUnchanged;
  if (!local) return Take::kPackage;
  if (!package) return Take::kLocal;
  return field.local == field.package ? Take::kSame : Take::kConflict;
}

namespace {

bool Any(const Versions& versions, bool (*changed)(const Field&)) {
  return std::any_of(versions.fields.begin(), versions.fields.end(), changed);
}

void Count(Result& result, const FieldResult& field) {
  switch (field.take) {
    case Take::kLocal:
      ++result.from_local;
      break;
    case Take::kPackage:
      ++result.from_package;
      break;
    case Take::kConflict:
      if (!field.follows_geometry) ++result.conflicts;
      break;
    case Take::kUnchanged:
    case Take::kSame:
      break;
  }
}

}  // namespace

Result Merge(const Versions& versions) {
  Result result;
  if (versions.class_changed) {
    result.outcome = Outcome::kLoadPackage;
    return result;
  }
  if (versions.deleted_locally || versions.missing_in_package) {
    // Gone on both sides, or gone on one and untouched on the other: it goes.
    // The host holds nothing to compare when the object is gone locally, so
    // only the package's side can speak against the deletion there, and
    // only the host's where the package dropped it.
    bool changed_elsewhere = false;
    if (!(versions.deleted_locally && versions.missing_in_package)) {
      changed_elsewhere = versions.deleted_locally ? Any(versions, ChangedInPackage)
                                                   : Any(versions, ChangedLocally);
    }
    result.outcome = changed_elsewhere ? Outcome::kDeleteConflict : Outcome::kDelete;
    if (changed_elsewhere) result.conflicts = 1;
    return result;
  }

  std::optional<Take> geometry;
  for (const Field& field : versions.fields) {
    if (field.name == kGeometry) geometry = TakeOf(field);
  }
  // The coordinate attributes describe the geometry: where one side's
  // geometry wins (or the two are to be decided), they go with it.
  const bool geometry_decides =
      geometry &&
      (*geometry == Take::kLocal || *geometry == Take::kPackage || *geometry == Take::kConflict);
  for (const Field& field : versions.fields) {
    FieldResult& out = result.fields.emplace_back();
    out.name = field.name;
    if (geometry_decides && FollowsGeometry(field.name)) {
      out.take = *geometry;
      out.follows_geometry = true;
    } else {
      out.take = TakeOf(field);
    }
    Count(result, out);
  }

  if (versions.read_only_in_package && Any(versions, ChangedLocally)) {
    // Nothing of the local work could travel back: one decision for the
    // whole object, the package's by default.
    result.outcome = Outcome::kReadOnlyConflict;
    result.conflicts = 1;
    return result;
  }
  result.outcome = result.conflicts > 0 ? Outcome::kConflict : Outcome::kMerged;
  return result;
}

}  // namespace ImportMerge
