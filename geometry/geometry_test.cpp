// Coordinate and area attributes, and the lifecycle journal table.
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "geometry/GeoAttributes.h"
#include "geometry/NewDataModule.h"
#include "platform/db/Connection.h"
#include "tests/support/ProjectFixture.h"

namespace {

using testsupport::RunCommand;

TEST(CoordinateTextTest, RoundsHalfToEvenWithoutGrouping) {
  EXPECT_EQ(GeoAttributes::CoordinateText(2500.5), "2500");
  EXPECT_EQ(GeoAttributes::CoordinateText(2501.5), "2502");
  EXPECT_EQ(GeoAttributes::CoordinateText(5800000.49), "5800000");
  EXPECT_EQ(GeoAttributes::CoordinateText(-12.5), "-12");
  EXPECT_EQ(GeoAttributes::CoordinateText(-0.4), "0");
  EXPECT_EQ(GeoAttributes::CoordinateText(32512345678.7), "32512345679");
}

class GeoAttributesTest : public testsupport::ProjectFixture {
 protected:
  void TearDown() override {
    unsetenv("LC_ALL");
    ProjectFixture::TearDown();
  }
  std::string Stored(int32_t id, const std::string& field) {
    for (auto& row : host().StoredRows("linfos")) {
      if (row["KARTULID"] == std::to_string(id)) return row[field];
    }
    return "<keine Zeile>";
  }
};

TEST_F(GeoAttributesTest, PastingWritesCoordinatesAndAreaInTheUsersLocale) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  // The area's centroid lies at easting 112.5 exactly: rounded half to even
  // it is 112, where rounding half up would give 113.
  const int32_t id = host().CreateObject(
      ClassId("BIO"), ktFlaeche,
      {{100, 5800000}, {125, 5800000}, {125, 5800049.38}, {100, 5800049.38}}, "BIO-1");
  ASSERT_EQ(host().Easting(id), 112.5);
  host().Activate(id);
  GeoAttributes::AfterPasteData();
  EXPECT_EQ(Stored(id, "GK_RW"), "112");
  EXPECT_EQ(Stored(id, "UTM_East"), "112");
  EXPECT_EQ(Stored(id, "UTM_North"), "5800025");  // 5800024.69
  EXPECT_EQ(Stored(id, "FLAECHE"), "1234,5");
}

TEST_F(GeoAttributesTest, TheCPointSeparatorOutsideGermany) {
  setenv("LC_ALL", "C.UTF-8", 1);
  const int32_t id = host().CreateObject(ClassId("BIO"), ktFlaeche,
                                         {{0, 0}, {24.69, 0}, {24.69, 50}, {0, 50}}, "BIO-2");
  host().Activate(id);
  GeoAttributes::AfterPasteData();
  EXPECT_EQ(Stored(id, "FLAECHE"), "1234.5");
}

TEST_F(GeoAttributesTest, APositionTheHostCannotGiveLeavesTheColumnsAsTheyWere) {
  setenv("LC_ALL", "C.UTF-8", 1);
  // Coordinates so large that the centroid overflows: no finite position.
  const int32_t id = host().CreateObject(
      ClassId("BIO"), ktFlaeche, {{1e308, 1e308}, {-1e308, 1e308}, {-1e308, -1e308}}, "BIO-3");
  ASSERT_FALSE(std::isfinite(host().Easting(id)));
  host().Activate(id);
  host().EnterValue("linfos", "UTM_East", "1");
  host().EnterValue("linfos", "UTM_North", "2");
  host().EnterValue("linfos", "GK_RW", "3");
  host().PostRow("linfos");
  GeoAttributes::SetETRS89();
  GeoAttributes::SetGaussKrueger();
  EXPECT_EQ(Stored(id, "UTM_East"), "1");
  EXPECT_EQ(Stored(id, "UTM_North"), "2");
  EXPECT_EQ(Stored(id, "GK_RW"), "3");
}

class JournalTest : public testsupport::ProjectFixture {
 protected:
  std::string Sql(const std::string& statement) {
    return RunCommand("sqlite3 '" + host().ProjectDB() + "' \"" + statement + "\" 2>&1");
  }
};

TEST_F(JournalTest, ANewProjectDatabaseGetsTheTableWithItsPrimaryIndex) {
  LifecycleJournal::EnsureTableLifecycle();
  // Exactly these columns, in this order: a name that merely contains
  // another ("OKL_TYPE", "OKL") counts for itself alone.
  EXPECT_EQ(Sql("select name from pragma_table_info('KT_SYS_LIFECYCLE')"),
            "ID\nKENNUNG\nOKL\nOKL_TYPE\nLC_CHANGE_TYPE\nZEITSTEMPEL\nREL_TYPE\n");
  EXPECT_EQ(Sql("select il.\\\"unique\\\", ii.name from pragma_index_list('KT_SYS_LIFECYCLE') il, "
                "pragma_index_info(il.name) ii"),
            "1|ID\n");
  Sql("insert into KT_SYS_LIFECYCLE (KENNUNG, OKL) values ('DE-1', 5)");
  LifecycleJournal::EnsureTableLifecycle();
  EXPECT_EQ(Sql("select KENNUNG, OKL from KT_SYS_LIFECYCLE"), "DE-1|5\n")
      << "an existing table keeps its rows";
}

TEST_F(JournalTest, AnUnopenableDatabaseIsAnErrorOfTheLookup) {
  TNewDataModule module;
  EXPECT_FALSE(module.OpenPrjDatabase(Root() + "/gibts/nicht/db.sqlite"));
  EXPECT_THROW(module.TableNames(), platform::db::DbError);
}

}  // namespace
