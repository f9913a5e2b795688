#include "exchange/ImportMerge.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace ImportMerge;

namespace {

// ---- The model: three versions of each value, merged by hand -----------------

// What the test's own merge decides for one object.
struct Expected {
  bool load_package = false;
  bool deleted = false;
  bool whole_object_conflict = false;
  std::map<std::string, std::string> values;  // field -> merged value
  std::map<std::string, bool> conflict;       // field -> to be decided
};

struct ModelObject {
  std::vector<std::string> names;
  std::map<std::string, std::string> base, local, package;
  bool deleted_locally = false, missing_in_package = false, class_changed = false,
       read_only = false;
};

bool IsCoordinate(const std::string& name) {
  return name == "UTM_East" || name == "GK_RW" || name == "flaeche";
}

// The rule as a mapper would state it, over values rather than
// fingerprints, written without the product's helpers.
Expected MergeByHand(const ModelObject& o) {
  Expected e;
  if (o.class_changed) {
    e.load_package = true;
    return e;
  }
  bool local_changed = false, package_changed = false;
  for (const std::string& n : o.names) {
    local_changed |= o.local.at(n) != o.base.at(n);
    package_changed |= o.package.at(n) != o.base.at(n);
  }
  if (o.deleted_locally && o.missing_in_package) {
    e.deleted = true;
    return e;
  }
  if (o.deleted_locally) {
    (package_changed ? e.whole_object_conflict : e.deleted) = true;
    return e;
  }
  if (o.missing_in_package) {
    (local_changed ? e.whole_object_conflict : e.deleted) = true;
    return e;
  }
  if (o.read_only && local_changed) {
    e.whole_object_conflict = true;
    return e;
  }
  // 0 neither changed, 1 local only, 2 package only, 3 both differently,
  // 4 both alike.
  const auto side = [&](const std::string& n) -> int {
    const bool l = o.local.at(n) != o.base.at(n), p = o.package.at(n) != o.base.at(n);
    if (l && p) return o.local.at(n) == o.package.at(n) ? 4 : 3;
    return l ? 1 : p ? 2 : 0;
  };
  // Coordinates describe the geometry: where one side's geometry is taken,
  // or the two are to be decided, they go with it.
  const int geometry = side(kGeometry);
  for (const std::string& n : o.names) {
    int s = side(n);
    if (IsCoordinate(n) && geometry >= 1 && geometry <= 3) s = geometry;
    e.conflict[n] = s == 3;
    e.values[n] = s == 2 ? o.package.at(n) : o.local.at(n);
  }
  return e;
}

// ---- Random objects ---------------------------------------------------------------

ModelObject RandomObject(std::mt19937& rng) {
  ModelObject o;
  o.names = {kGeometry, kKennung, kPlants, "NAME", "BEMERKUNG", "UTM_East", "GK_RW", "flaeche"};
  std::uniform_int_distribution<int> pct(0, 99);
  std::uniform_int_distribution<int> value(0, 4);
  for (const std::string& n : o.names) {
    o.base[n] = n + "#base";
    o.local[n] = o.base[n];
    o.package[n] = o.base[n];
    const int edit = pct(rng);
    // Few values per field, so that both sides often make the same change.
    if (edit < 25) o.local[n] = n + "#" + std::to_string(value(rng));
    if (edit >= 15 && edit < 40) o.package[n] = n + "#" + std::to_string(value(rng));
  }
  // A geometry moved locally usually brings its coordinates with it.
  if (o.local[kGeometry] != o.base[kGeometry] && pct(rng) < 70) {
    o.local["UTM_East"] = "UTM_East#" + o.local[kGeometry];
    o.local["GK_RW"] = "GK_RW#" + o.local[kGeometry];
  }
  o.deleted_locally = pct(rng) < 8;
  o.missing_in_package = pct(rng) < 8;
  o.class_changed = pct(rng) < 3;
  o.read_only = pct(rng) < 8;
  return o;
}

// The product sees fingerprints only, the base in the package's form and
// in the host's (here the host writes every value with a prefix of its own,
// and the local values are in the host's form too). A side that has no
// object holds the fingerprint of the empty value.
uint64_t Fp(const std::string& value) {
  return std::hash<std::string>()("fp:" + value);
}

Versions VersionsOf(const ModelObject& o) {
  Versions v;
  v.Kennung = "K";
  v.deleted_locally = o.deleted_locally;
  v.missing_in_package = o.missing_in_package;
  v.class_changed = o.class_changed;
  v.read_only_in_package = o.read_only;
  for (const std::string& n : o.names) {
    Field& f = v.fields.emplace_back();
    f.name = n;
    f.base_package = Fp(o.base.at(n));
    f.base_host = Fp(o.base.at(n));
    f.local = o.deleted_locally ? Fp("") : Fp(o.local.at(n));
    f.package = o.missing_in_package ? Fp("") : Fp(o.package.at(n));
  }
  return v;
}

TEST(ImportMergeModelTest, EveryFieldOfEveryObjectAsTheThreeVersionsSay) {
  int merged = 0, conflicts = 0, whole = 0;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 250; ++i) {
      const ModelObject o = RandomObject(rng);
      const Expected e = MergeByHand(o);
      const Result r = Merge(VersionsOf(o));
      SCOPED_TRACE("seed " + std::to_string(seed) + ", object " + std::to_string(i));
      if (e.load_package) {
        EXPECT_EQ(r.outcome, Outcome::kLoadPackage);
        continue;
      }
      if (e.deleted) {
        EXPECT_EQ(r.outcome, Outcome::kDelete);
        continue;
      }
      if (e.whole_object_conflict) {
        ++whole;
        EXPECT_TRUE(r.outcome == Outcome::kDeleteConflict ||
                    r.outcome == Outcome::kReadOnlyConflict);
        EXPECT_EQ(r.conflicts, 1);
        continue;
      }
      ASSERT_EQ(r.fields.size(), o.names.size());
      bool any_conflict = false;
      int from_local = 0, from_package = 0;
      for (const FieldResult& f : r.fields) {
        const bool conflict = f.take == Take::kConflict;
        EXPECT_EQ(conflict, e.conflict.at(f.name)) << f.name;
        any_conflict |= conflict && !f.follows_geometry;
        if (conflict) continue;
        const std::string& got =
            f.take == Take::kPackage ? o.package.at(f.name) : o.local.at(f.name);
        EXPECT_EQ(got, e.values.at(f.name)) << f.name;
        from_local += f.take == Take::kLocal;
        from_package += f.take == Take::kPackage;
      }
      EXPECT_EQ(r.outcome, any_conflict ? Outcome::kConflict : Outcome::kMerged);
      EXPECT_EQ(r.from_local, from_local);
      EXPECT_EQ(r.from_package, from_package);
      EXPECT_EQ(r.local_survives(), from_local > 0);
      (any_conflict ? conflicts : merged) += 1;
    }
  }
  // The seeds reach every kind of outcome, not only the easy one.
  EXPECT_GT(merged, 1000);
  EXPECT_GT(conflicts, 500);
  EXPECT_GT(whole, 500);
}

// ---- Cases a mapper meets -----------------------------------------------------------

Field F(const std::string& name, const std::string& base, const std::string& local,
        const std::string& package) {
  const std::hash<std::string> print;
  return {name, print(base), print(base), print(local), print(package)};
}

TEST(ImportMergeTest, TheCentresNameAndTheMappersBoundaryAreBothKept) {
  Versions v;
  v.fields = {F(kGeometry, "g0", "g1", "g0"), F("NAME", "Heide", "Heide", "Heide am Bach"),
              F("FLAECHE", "12", "13", "12")};
  const Result r = Merge(v);
  EXPECT_EQ(r.outcome, Outcome::kMerged);
  EXPECT_EQ(r.fields[0].take, Take::kLocal);
  EXPECT_EQ(r.fields[1].take, Take::kPackage);
  EXPECT_EQ(r.fields[2].take, Take::kLocal);
  EXPECT_EQ(r.from_local, 2);
  EXPECT_EQ(r.from_package, 1);
  EXPECT_TRUE(r.local_survives());
}

TEST(ImportMergeTest, TheAreaGoesWithThePackagesGeometryEvenWhereTheMapperWroteIt) {
  // The mapper recomputed the area without moving the boundary; the centre
  // moved it: the area must describe the geometry that is taken.
  Versions v;
  v.fields = {F(kGeometry, "g0", "g0", "g2"), F("flaeche", "12", "12,5", "20")};
  const Result r = Merge(v);
  EXPECT_EQ(r.outcome, Outcome::kMerged);
  EXPECT_EQ(r.fields[1].take, Take::kPackage);
  EXPECT_TRUE(r.fields[1].follows_geometry);
}

TEST(ImportMergeTest, AGeometryChangedOnBothSidesIsOneConflictItsCoordinatesFollow) {
  Versions v;
  v.fields = {F(kGeometry, "g0", "g1", "g2"), F("GK_RW", "1", "2", "3"),
              F("UTM_North", "5", "6", "7")};
  const Result r = Merge(v);
  EXPECT_EQ(r.outcome, Outcome::kConflict);
  EXPECT_EQ(r.conflicts, 1);
  EXPECT_TRUE(r.fields[1].follows_geometry);
  EXPECT_EQ(r.fields[1].take, Take::kConflict);
}

TEST(ImportMergeTest, TheSameChangeOnBothSidesIsNoConflictAndNoLocalWork) {
  Versions v;
  v.fields = {F("NAME", "a", "b", "b"), F(kKennung, "K1", "K1", "K1")};
  const Result r = Merge(v);
  EXPECT_EQ(r.outcome, Outcome::kMerged);
  EXPECT_EQ(r.fields[0].take, Take::kSame);
  EXPECT_FALSE(r.local_survives());
}

TEST(ImportMergeTest, TheHostsFormOfTheBaseJudgesTheLocalSide) {
  // The host keeps a value in another form than the package gave it (a
  // number's trailing zeros): unchanged locally all the same.
  Versions v;
  const std::hash<std::string> print;
  v.fields = {{"WERT", print("1.50"), print("1.5"), print("1.5"), print("2.00")}};
  const Result r = Merge(v);
  EXPECT_EQ(r.fields[0].take, Take::kPackage);
}

TEST(ImportMergeTest, DeletionsAgainstChangesAreConflictsOfTheWholeObject) {
  Versions deleted_here;
  deleted_here.deleted_locally = true;
  deleted_here.fields = {F("NAME", "a", "", "a")};
  EXPECT_EQ(Merge(deleted_here).outcome, Outcome::kDelete);
  deleted_here.fields = {F("NAME", "a", "", "b")};
  EXPECT_EQ(Merge(deleted_here).outcome, Outcome::kDeleteConflict);

  Versions dropped_there;
  dropped_there.missing_in_package = true;
  dropped_there.fields = {F("NAME", "a", "a", "")};
  EXPECT_EQ(Merge(dropped_there).outcome, Outcome::kDelete);
  dropped_there.fields = {F("NAME", "a", "c", "")};
  EXPECT_EQ(Merge(dropped_there).outcome, Outcome::kDeleteConflict);
}

TEST(ImportMergeTest, LocalWorkOnAnObjectNowReadOnlyIsOneConflictWithItsFieldsListed) {
  Versions v;
  v.read_only_in_package = true;
  v.fields = {F("NAME", "a", "b", "a"), F("BEM", "x", "x", "y")};
  const Result r = Merge(v);
  EXPECT_EQ(r.outcome, Outcome::kReadOnlyConflict);
  EXPECT_EQ(r.conflicts, 1);
  ASSERT_EQ(r.fields.size(), 2u);
  EXPECT_EQ(r.fields[0].take, Take::kLocal);  // the value the package's version drops

  v.fields = {F("NAME", "a", "a", "b")};  // no local work: merged as any other
  EXPECT_EQ(Merge(v).outcome, Outcome::kMerged);
}

TEST(ImportMergeTest, AChangedClassLoadsThePackagesObject) {
  Versions v;
  v.class_changed = true;
  v.fields = {F("NAME", "a", "b", "c")};
  EXPECT_EQ(Merge(v).outcome, Outcome::kLoadPackage);
}

}  // namespace
