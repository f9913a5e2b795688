// The re-import's merge through the product: a package drawn in the
// central system's project is imported, the mapper edits the objects in
// the host (names, remarks, boundaries, plant lists, deletions, a changed
// class), the centre edits its own (names, remarks, boundaries, objects
// dropped, objects now read-only), and the next issue's merge is gathered
// from the real files. The test knows the three versions of every field as
// values and merges them by its own rules; every field of every object
// must come from the side the product names, in each build with an import.
#include "exchange/ImportMergePlan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "context/BuildIdentity.h"
#include "exchange/TestImportFixture.h"
#include "transaction/TransActTools.h"

namespace {

namespace fs = std::filesystem;
using ImportMerge::Outcome;
using ImportMerge::Take;

constexpr int kObjects = 40;
const std::vector<std::string> kFields = {"NAME", "BEMERKUNG"};
// A field's values: an index into these, 0 the one the centre first gave.
const std::vector<std::string> kValues = {"Aue", "", "Aue am Bach", "Heide & Moor"};
// Where vertex 0 of an object's boundary may be moved, by index (0: not).
hostsim::Point Moved(int32_t object, int to) {
  return {3400000 + 100.0 * object + (to == 1 ? -7 : -13), 5800000.0 + (to == 1 ? 3 : 9)};
}

// One object's three versions as the test drew them.
struct Model {
  std::string K;
  std::map<std::string, int> base, local, package;  // field (or geometry "G") -> value
  bool plants = false;                              // the mapper wrote a plant list
  bool deleted_locally = false;                     // the mapper deleted it
  bool class_changed = false;                       // the mapper changed its class
  bool dropped = false;                             // the centre dropped it from the next issue
  bool read_only = false;                           // the next issue lists it read-only
};

Take Expected(int base, int local, int package) {
  const bool l = local != base, p = package != base;
  if (!l && !p) return Take::kUnchanged;
  if (!l) return Take::kPackage;
  if (!p) return Take::kLocal;
  return local == package ? Take::kSame : Take::kConflict;
}

class ImportMergePlanTest : public importtest::ImportTest,
                            public ::testing::WithParamInterface<std::tuple<Build, unsigned>> {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    SelectBuild(std::get<0>(GetParam()));
  }

  void SetValues(int32_t id, const std::map<std::string, int>& values) {
    host().Activate(id);
    for (const std::string& field : kFields) {
      host().EnterValue("linfos", field, kValues[static_cast<size_t>(values.at(field))]);
    }
    host().PostRow("linfos");
  }

  // The centre's objects as an issue of transaction 7 (inside InCentre).
  void ExportIssue() {
    fs::remove_all(pkg_);
    fs::create_directories(pkg_);
    host().ExportGeodata(pkg_ + "abcdef", true);
    host().ExportXml(pkg_ + "abcdef.xml", true, true, "T", "F");
    auto package =
        platform::db::Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "create table \"abcdeft\" (KENNUNG char(50), TID integer, KARTULID integer, VGNR "
        "integer, SCHREIBEND integer)");
    for (const Model& m : models_) {
      if (m.dropped && issued_) continue;
      const int status =
          issued_ && m.read_only ? TransActTools::kLesend : TransActTools::kSchreibend;
      package->Execute("insert into \"abcdeft\" values ('" + m.K + "', 7, 0, 1, " +
                       std::to_string(status) + ")");
    }
    package.reset();
    std::ofstream(pkg_ + "abcdef.tid") << "[Transaktionsdaten]\r\nTransaktion=7\r\nName=Aue\r\n";
    issued_ = true;
  }

  std::vector<Model> models_;
  bool issued_ = false;
};

TEST_P(ImportMergePlanTest, EveryFieldComesFromTheSideTheThreeVersionsName) {
  std::mt19937 rng(std::get<1>(GetParam()));
  const auto pct = [&rng] { return static_cast<int>(rng() % 100); };
  const auto value = [&rng] { return static_cast<int>(rng() % kValues.size()); };

  // The first issue: every field at value 0, every boundary as drawn.
  InCentre([&] {
    for (int i = 0; i < kObjects; ++i) {
      Model& m = models_.emplace_back();
      m.K = "DE-" + std::to_string(100 + i);
      const int32_t id = MakeObject("FFH", m.K);
      for (const std::string& f : kFields) m.base[f] = 0;
      m.base["G"] = 0;
      SetValues(id, m.base);
    }
    ExportIssue();
  });
  ASSERT_TRUE(Import("abcdef.tid"));

  // The mapper's day: each side edits about half of what it may.
  for (size_t i = 0; i < models_.size(); ++i) {
    Model& m = models_[i];
    m.local = m.base;
    m.package = m.base;
    const int whole = pct();
    m.deleted_locally = whole < 8;
    m.class_changed = whole >= 8 && whole < 12;
    m.dropped = whole >= 12 && whole < 18;
    m.read_only = pct() < 12;
    const int32_t id = host().IdOf(m.K);
    ASSERT_GT(id, 0) << m.K;
    if (m.deleted_locally) {
      host().DeleteObject(id);
      continue;
    }
    for (const std::string& f : kFields) {
      if (pct() < 45) m.local[f] = value();
    }
    SetValues(id, m.local);
    if (pct() < 35) {
      m.local["G"] = 1 + static_cast<int>(rng() % 2);
      ASSERT_TRUE(host().MoveVertex(id, 0, Moved(static_cast<int32_t>(i), m.local["G"])));
    }
    if (pct() < 15) {
      m.plants = true;
      host().Activate(id);
      host().AppendRow("Pflanzenliste");
      host().EnterValue("Pflanzenliste", "Art", "Quercus robur");
      host().PostRow("Pflanzenliste");
    }
    if (m.class_changed) host().ChangeClass(id, ClassId("NSG"));
  }
  // The centre's corrections, and its next issue.
  InCentre([&] {
    for (size_t i = 0; i < models_.size(); ++i) {
      Model& m = models_[i];
      const int32_t id = host().IdOf(m.K);
      if (m.dropped) {
        host().DeleteObject(id);
        continue;
      }
      for (const std::string& f : kFields) {
        if (pct() < 45) m.package[f] = value();
      }
      SetValues(id, m.package);
      if (pct() < 35) {
        m.package["G"] = 1 + static_cast<int>(rng() % 2);
        ASSERT_TRUE(host().MoveVertex(id, 0, Moved(static_cast<int32_t>(i), m.package["G"])));
      }
    }
    ExportIssue();
  });

  std::string error;
  const std::optional<ImportFuncs::PackageContent> content =
      ImportFuncs::ReadPackage({pkg_, "abcdef"}, error);
  ASSERT_TRUE(content) << error;
  std::vector<std::string> kennungen;
  for (const Model& m : models_) kennungen.push_back(m.K);
  const std::optional<ImportMergePlan::Inputs> inputs =
      ImportMergePlan::Gather(*content, kennungen, TransActTools::AllRows(), Root() + "/export");
  ASSERT_TRUE(inputs);
  const std::vector<ImportMergePlan::ObjectMerge> merges =
      ImportMergePlan::Plan(kennungen, *inputs);
  ASSERT_EQ(merges.size(), models_.size()) << "the record knows every object it loaded";

  std::map<Outcome, int> outcomes;
  std::map<Take, int> takes;
  for (size_t i = 0; i < models_.size(); ++i) {
    const Model& m = models_[i];
    const ImportMerge::Result& r = merges[i].result;
    ASSERT_EQ(merges[i].versions.Kennung, m.K);
    ++outcomes[r.outcome];
    std::map<std::string, Take> expected;
    for (const auto& [f, base] : m.base) {
      expected[f == "G" ? ImportMerge::kGeometry : f] =
          Expected(base, m.local.at(f), m.package.at(f));
    }
    expected[ImportMerge::kPlants] = m.plants ? Take::kLocal : Take::kUnchanged;
    expected[ImportMerge::kKennung] = Take::kUnchanged;
    bool local_changed = false, package_changed = false;
    for (const auto& [f, base] : m.base) {
      local_changed |= m.local.at(f) != base;
      package_changed |= m.package.at(f) != base;
    }
    local_changed |= m.plants;

    Outcome outcome = Outcome::kMerged;
    if (m.class_changed) {
      outcome = Outcome::kLoadPackage;
    } else if (m.deleted_locally) {
      outcome = package_changed ? Outcome::kDeleteConflict : Outcome::kDelete;
    } else if (m.dropped) {
      outcome = local_changed ? Outcome::kDeleteConflict : Outcome::kDelete;
    } else if (m.read_only && local_changed) {
      outcome = Outcome::kReadOnlyConflict;
    } else {
      for (const auto& [f, take] : expected) {
        if (take == Take::kConflict) outcome = Outcome::kConflict;
      }
    }
    EXPECT_EQ(r.outcome, outcome) << m.K;
    if (outcome != Outcome::kMerged && outcome != Outcome::kConflict &&
        outcome != Outcome::kReadOnlyConflict) {
      continue;
    }
    const Take geometry = expected.at(ImportMerge::kGeometry);
    const bool geometry_decides =
        geometry == Take::kLocal || geometry == Take::kPackage || geometry == Take::kConflict;
    for (const ImportMerge::FieldResult& field : r.fields) {
      const auto known = expected.find(field.name);
      if (known != expected.end()) {
        EXPECT_EQ(field.take, known->second) << m.K << " " << field.name;
        ++takes[field.take];
      } else if (ImportMerge::FollowsGeometry(field.name) && geometry_decides) {
        EXPECT_EQ(field.take, geometry) << m.K << " " << field.name;
      } else if (!ImportMerge::FollowsGeometry(field.name)) {
        // A field neither side touched, in whatever form the host keeps it.
        EXPECT_EQ(field.take, Take::kUnchanged) << m.K << " " << field.name;
      }
    }
    for (const auto& [name, take] : expected) {
      EXPECT_TRUE(std::any_of(r.fields.begin(), r.fields.end(),
                              [&](const ImportMerge::FieldResult& f) { return f.name == name; }))
          << m.K << " lacks " << name;
    }
  }
  // Each seed merges most objects, and meets every way a field can go and
  // most whole-object outcomes.
  EXPECT_GT(outcomes[Outcome::kMerged] + outcomes[Outcome::kConflict], kObjects / 2);
  for (const Take take : {Take::kPackage, Take::kLocal, Take::kSame, Take::kConflict}) {
    EXPECT_GT(takes[take], 0) << static_cast<int>(take);
  }
  EXPECT_GE(outcomes.size(), 4u);
}

// A package value the host cannot take as ANSI text: an object that keeps
// its local boundary keeps the local value too (a reload would lose the
// boundary), and it is named; an object whose boundary nobody moved is
// reloaded with the local values written into it.
TEST(ImportMergeWays, AValueTheHostCannotTakeNeverCostsTheLocalBoundary) {
  using HostSnapshot::PrintOf;
  for (const bool moved : {true, false}) {
    SCOPED_TRACE(moved);
    ImportMergePlan::Inputs in;
    in.record["DE-1"] = {"DE-1",
                         7,
                         3,
                         {{ImportMerge::kGeometry, 1, 1},
                          {"NAME", PrintOf("Aue"), PrintOf("Aue")},
                          {"BEM", PrintOf("alt"), PrintOf("alt")}}};
    HostSnapshot::HostObject& object = in.host.objects.emplace_back();
    object.Kennung = "DE-1";
    object.Klasse = 3;
    object.geometry = moved ? "0000000000000002" : "0000000000000001";
    in.host.fields.push_back(
        {"DE-1", 3, {{"NAME", PrintOf("Aue")}, {"BEM", PrintOf("neu")}}, {"Aue", "neu"}});
    in.package.shapes.push_back({0, "DE-1", 3, 3, "0000000000000001", {}});
    in.package.fields.push_back(
        {"DE-1", 3, {{"NAME", PrintOf("Łódź")}, {"BEM", PrintOf("alt")}}, {"Łódź", "alt"}});
    in.package_status["DE-1"] = TransActTools::kSchreibend;

    const auto merges = ImportMergePlan::Plan({"DE-1"}, in);
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_EQ(merges[0].result.outcome, Outcome::kMerged);
    const ImportMergePlan::Way way =
        ImportMergePlan::Ways(merges, in, ImportMergePlan::Conflicts(merges, in)).at("DE-1");
    EXPECT_TRUE(way.local_survives);
    if (moved) {
      EXPECT_EQ(way.kind, ImportMergePlan::Way::kInPlace);
      EXPECT_TRUE(way.writes.empty());
      EXPECT_EQ(way.unwritable, std::vector<std::string>{"NAME"});
      EXPECT_EQ(way.from_local, 3);  // boundary, remark, and the name kept
      EXPECT_EQ(way.from_package, 0);
    } else {
      EXPECT_EQ(way.kind, ImportMergePlan::Way::kReload);
      EXPECT_EQ(way.writes, (std::vector<std::pair<std::string, std::string>>{{"BEM", "neu"}}));
      EXPECT_TRUE(way.unwritable.empty());
      EXPECT_EQ(way.from_local, 1);
      EXPECT_EQ(way.from_package, 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, ImportMergePlanTest,
                         ::testing::Combine(::testing::Values(Build::kVD1TransAction2010,
                                                              Build::kVD1TransAction),
                                            ::testing::Values(1u, 2u, 3u)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == Build::kVD1TransAction2010
                                                  ? "VD1TransAction2010"
                                                  : "VD1TransAction") +
                                  "_" + std::to_string(std::get<1>(info.param));
                         });

}  // namespace
