// The import's decisions as pure functions over what was read: which
// objects carry local work, which are kept, deleted and loaded, how rows
// merge, which free identifiers and pictures come in.
#include "exchange/ImportPlan.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using ImportFuncs::PackageContent;
using ImportPlan::Policy;

TObjectMetadata PlanRow(int tid, const std::string& k, int status, const std::string& changed,
                        const std::string& original = "") {
  TObjectMetadata row;
  row.TID = tid;
  row.Kennung = k;
  row.Schreibend = status;
  row.Changed = changed;
  row.Originalkennung = original.empty() ? k : original;
  return row;
}

// A package of transaction 7 with rows, their objects in the geodata, and
// free identifiers.
PackageContent PlanPackage(const std::vector<std::pair<std::string, int>>& rows,
                           const std::vector<std::string>& free = {}) {
  PackageContent content;
  content.has_list = true;
  content.has_tid = true;
  content.tid.Transaktion = 7;
  ImportFuncs::GeoLayer layer;
  layer.path = "/paket/abcdef.shp";
  for (const auto& [k, status] : rows) {
    ImportFuncs::TTransaktionslistenDaten& R = content.rows.emplace_back();
    R.Kennung = k;
    R.TID = 7;
    R.Schreibend = status;
    layer.ids.push_back(k);
  }
  content.layers.push_back(layer);
  for (const std::string& k : free) content.kennungen.push_back({7, k});
  return content;
}

std::vector<std::string> PlanSorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::string> PlanDeleted(const ImportPlan::Objects& plan) {
  std::vector<std::string> out;
  for (const auto& [k, id] : plan.deleted) out.push_back(k + "#" + std::to_string(id));
  return out;
}

TEST(ImportPlanTest, LocalWorkIsFoundAndKeptOrTaken) {
  const PackageContent content = PlanPackage({{"A", 1}, {"B", 0}, {"C", 1}, {"D", 1}, {"E", 1}});
  ImportPlan::ProjectState state;
  state.rows = {PlanRow(7, "A", 1, "UPDATE"), PlanRow(7, "B", 0, "IGNORED"),
                PlanRow(7, "C", 3, "DELETE"), PlanRow(7, "D", 2, "NEW")};
  state.objects = {{"A", 1}, {"B", 2}, {"D", 4}, {"E", 5}};
  state.local_photos = {{2, 2}, {5, 1}};

  const ImportPlan::Objects kept = ImportPlan::PlanObjects(content, state, Policy::kKeepLocalWork);
  std::vector<std::string> listed;
  for (const auto& work : kept.local_work) listed.push_back(work.Kennung + ": " + work.what);
  EXPECT_EQ(listed, (std::vector<std::string>{"A: geändert", "B: 2 lokale Fotos", "C: gelöscht",
                                              "D: neu angelegt", "E: 1 lokales Foto"}));
  EXPECT_TRUE(kept.deleted.empty());
  EXPECT_TRUE(kept.loaded.empty()) << "a deleted object kept must not come back either";

  const ImportPlan::Objects taken = ImportPlan::PlanObjects(content, state, Policy::kTakePackage);
  EXPECT_EQ(PlanDeleted(taken), (std::vector<std::string>{"A#1", "B#2", "D#4", "E#5"}));
  EXPECT_EQ(taken.loaded.size(), 5u);
  EXPECT_TRUE(taken.local_kept.empty());
}

TEST(ImportPlanTest, AnotherTransactionsRowKeepsItsObjectByRank) {
  // B: 8 holds it for writing; the package's read-only row does not outrank
  // it. C: 8's read-only row is outranked by the package's writable one.
  const PackageContent content = PlanPackage({{"B", 0}, {"C", 1}});
  ImportPlan::ProjectState state;
  state.rows = {PlanRow(8, "B", 1, "UPDATE"), PlanRow(8, "C", 0, "UPDATE")};
  state.objects = {{"B", 2}, {"C", 3}};
  const ImportPlan::Objects plan = ImportPlan::PlanObjects(content, state, Policy::kTakePackage);
  // Both carry local work; the question tells that B stays whatever the
  // answer, and C only when the mapper keeps the local work.
  ASSERT_EQ(plan.local_work.size(), 2u);
  EXPECT_TRUE(plan.local_work[0].kept_anyway);
  EXPECT_FALSE(plan.local_work[1].kept_anyway);
  EXPECT_EQ(PlanDeleted(plan), (std::vector<std::string>{"C#3"}));
  EXPECT_EQ(plan.loaded, (std::unordered_set<std::string>{"C"}));

  const ImportChanges merge = ImportPlan::PlanMerge(content, state.rows, {}, plan, true);
  ASSERT_EQ(merge.list.size(), 2u);
  EXPECT_EQ(merge.list[0].kind, ListMerge::Kind::kResetKennung);
  EXPECT_EQ(merge.list[1].kind, ListMerge::Kind::kMove);
  EXPECT_FALSE(merge.transaction);
}

TEST(ImportPlanTest, TheMergeFollowsTheRowsEnteredUnderTheIdentifier) {
  const PackageContent content = PlanPackage({{"A", 1}, {"N", 1}, {"N", 0}, {"K", 1}}, {"F"});
  ImportPlan::ProjectState state;
  state.rows = {PlanRow(7, "A", 1, "IGNORED"), PlanRow(7, "K", 1, "UPDATE")};
  state.pool = {{7, "N"}, {9, "N"}, {7, "F"}};
  ImportPlan::Objects plan = ImportPlan::PlanObjects(content, state, Policy::kKeepLocalWork);
  EXPECT_EQ(plan.local_kept, (std::unordered_set<std::string>{"K"}));
  const ImportChanges merge = ImportPlan::PlanMerge(content, state.rows, state.pool, plan, false);
  // A updated in place, N inserted and then updated by its second row (the
  // last row wins), K's kept row untouched; N leaves both pools once.
  ASSERT_EQ(merge.list.size(), 3u);
  EXPECT_EQ(merge.list[0].kind, ListMerge::Kind::kUpdate);
  EXPECT_EQ(merge.list[1].kind, ListMerge::Kind::kInsert);
  EXPECT_EQ(merge.list[2].kind, ListMerge::Kind::kUpdate);
  EXPECT_EQ(merge.list[2].row.Schreibend, 0);
  EXPECT_EQ(merge.leave_pools, (std::vector<std::string>{"N"}));
  ASSERT_TRUE(merge.transaction);
  EXPECT_EQ(merge.transaction->ID, 7);
}

TEST(ImportPlanTest, ASwitchedObjectFollowsItsRow) {
  // The checked-out A was switched to X (X came from 7's pool); a new
  // object drawn under the freed A carries another original identifier.
  const PackageContent content = PlanPackage({{"A", 1}});
  ImportPlan::ProjectState state;
  state.rows = {PlanRow(7, "X", 1, "UPDATE", "A"), PlanRow(7, "A", 2, "NEW", "Y")};
  state.objects = {{"X", 10}, {"A", 11}};
  const ImportPlan::Objects plan = ImportPlan::PlanObjects(content, state, Policy::kTakePackage);
  EXPECT_EQ(PlanSorted(PlanDeleted(plan)), (std::vector<std::string>{"A#11", "X#10"}));
  EXPECT_EQ(plan.comes_back_as.at("X"), "A");
  ASSERT_EQ(plan.returned.size(), 1u);
  EXPECT_EQ(plan.returned[0], (PoolRow{7, "X"}));
  const ImportChanges merge = ImportPlan::PlanMerge(content, state.rows, {}, plan, true);
  EXPECT_EQ(merge.dropped, (std::vector<std::pair<std::string, std::string>>{{"A", "Y"}}));
  EXPECT_EQ(merge.enter_pools, (std::vector<PoolRow>{{7, "X"}}));

  // Kept by another transaction's rank: the object gets the identifier back.
  ImportPlan::ProjectState other;
  other.rows = {PlanRow(8, "X", 1, "UPDATE", "A")};
  other.objects = {{"X", 10}};
  const ImportPlan::Objects kept = ImportPlan::PlanObjects(content, other, Policy::kTakePackage);
  ASSERT_EQ(kept.renamed.size(), 1u);
  EXPECT_EQ(kept.renamed[0].from, "X");
  EXPECT_EQ(kept.renamed[0].to, "A");
  EXPECT_TRUE(kept.deleted.empty());
}

TEST(ImportPlanTest, TangledIdentifiersStayUntouched) {
  // A's checked-out object now carries B, another identifier of the package.
  const PackageContent content = PlanPackage({{"A", 1}, {"B", 1}});
  ImportPlan::ProjectState state;
  state.rows = {PlanRow(7, "B", 1, "UPDATE", "A"), PlanRow(7, "Z", 1, "UPDATE", "B")};
  state.objects = {{"B", 1}, {"Z", 2}};
  const ImportPlan::Objects plan = ImportPlan::PlanObjects(content, state, Policy::kTakePackage);
  EXPECT_EQ(PlanSorted(plan.untouched), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(plan.deleted.empty());
  EXPECT_TRUE(plan.loaded.empty());
  EXPECT_TRUE(ImportPlan::PlanMerge(content, state.rows, {}, plan, true).list.empty());
}

TEST(ImportPlanTest, FreeIdentifiersComeInOnceAndNeverBesideALiveRow) {
  const PackageContent content = PlanPackage({}, {"F1", "F2", "F3", "F4", "F5", "F1"});
  const std::unordered_map<std::string, bool> listed = {{"F3", false}, {"F4", true}};
  const std::vector<PoolRow> rows = ImportPlan::PlanFreeKennungen(
      content, {{9, "F2"}}, listed, [](const std::string& k) { return k == "F5"; });
  // F2 pooled already, F3 held by a live row, F5 carried by an object; F4
  // only by a "DELETE" row.
  EXPECT_EQ(rows, (std::vector<PoolRow>{{7, "F1"}, {7, "F4"}}));
}

TEST(ImportPlanTest, APictureNeverTakesAnotherPhotosPlace) {
  PackageContent content;
  content.has_photos = true;
  auto foto = [&](int id, const std::string& name) {
    tables::TFotoMetadaten& f = content.fotos.emplace_back();
    f.FotoID = id;
    f.Dateiname = name;
    f.Status = 2;
  };
  foto(501, "eigen.jpg");
  foto(502, "zentral.jpg");
  foto(503, "../weg.jpg");
  foto(504, std::string(46, 'x') + ".jpg");
  for (const char* name : {"EIGEN.JPG", "zentral.jpg", "lose.jpg", "fremd.jpg"}) {
    ImportFuncs::PackagePicture& p = content.pictures.emplace_back();
    p.name = name;
    p.path = std::string("/paket/abcdef_Fotos/") + name;
  }
  const std::vector<CatalogueEntry> catalogue = {{-1, "eigen.jpg", 3, ""},
                                                 {502, "zentral.jpg", 2, ""},
                                                 {-2, "fremd.jpg", 3, ""},
                                                 {-3, "eigen_1.jpg", 3, ""}};
  const ImportPlan::PhotoPlan plan = ImportPlan::PlanPhotos(
      content, catalogue, {"eigen.jpg", "zentral.jpg", "fremd.jpg", "eigen_1.jpg"});
  // 501 goes under a free name; 502 is catalogued already (its own picture
  // is replaced); 503 has no usable name; a name of 50 characters is taken.
  std::vector<std::string> rows;
  for (const tables::TFotoMetadaten& f : plan.rows)
    rows.push_back(std::to_string(f.FotoID) + " " + f.Dateiname);
  EXPECT_EQ(rows,
            (std::vector<std::string>{"501 eigen_2.jpg", "504 " + std::string(46, 'x') + ".jpg"}));
  std::vector<std::string> copies;
  for (const auto& c : plan.copies) {
    copies.push_back(c.picture->name + " -> " + c.to + (c.replaces ? " (" + c.present + ")" : ""));
  }
  EXPECT_EQ(copies, (std::vector<std::string>{"EIGEN.JPG -> eigen_2.jpg",
                                              "zentral.jpg -> zentral.jpg (zentral.jpg)",
                                              "lose.jpg -> lose.jpg"}));
  EXPECT_EQ(plan.kept, (std::vector<std::string>{"fremd.jpg"}));
  EXPECT_EQ(plan.unusable, (std::vector<std::string>{"../weg.jpg"}));
}

}  // namespace
