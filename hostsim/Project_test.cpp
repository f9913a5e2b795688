// The project and the table cursors together, without a plug-in: objects
// stored in a batch join the project only with its commit, and the rows the
// tables show follow the project's objects through renames, deletions and
// closing.
#include "hostsim/Project.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hostsim/PluginHost.h"
#include "hostsim/TableCursors.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

class ProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hostsim-project-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/Projekt";
    Project::Create(dir_, "");
    project_.Open(dir_);
  }
  void TearDown() override {
    project_.Close();
    fs::remove_all(fs::path(dir_).parent_path());
  }
  int32_t Store(const std::string& kennung) {
    Project::Batch batch(project_);
    int32_t id = batch.Insert(1001, ktFlaeche, {{0, 0}, {1, 0}, {1, 1}}, kennung);
    batch.Commit();
    return id;
  }
  size_t StoredLinfos() { return tables_.StoredRows("linfos").size(); }

  PluginHost plugin_;
  TableCursors tables_{plugin_};
  Project project_{plugin_, tables_};
  std::string dir_;
};

TEST_F(ProjectTest, BatchObjectsJoinTheProjectOnlyWithTheCommit) {
  {
    Project::Batch batch(project_);
    int32_t id = batch.Insert(1001, ktFlaeche, {{0, 0}, {1, 0}, {1, 1}}, "A");
    EXPECT_GT(id, 0);
    EXPECT_EQ(project_.IdOf("A"), 0);
    EXPECT_EQ(project_.Find(id), nullptr);
    batch.Commit();
    EXPECT_EQ(project_.IdOf("A"), id);
    EXPECT_EQ(project_.Find(id)->geometry.size(), 3u);
  }
  {
    Project::Batch abandoned(project_);
    abandoned.Insert(1001, ktFlaeche, {{0, 0}, {1, 0}, {1, 1}}, "B");
  }
  {
    Project::Batch failing(project_);
    failing.Insert(1009, ktFlaeche, {{0, 0}, {1, 0}, {1, 1}}, "C");
    EXPECT_THROW(failing.Insert(1001, ktFlaeche, {{5, 5}}, "A"), HostError);  // taken
  }
  EXPECT_EQ(project_.ObjectIds().size(), 1u);
  EXPECT_EQ(StoredLinfos(), 1u);  // the object rows went with the rolled back objects
  project_.Close();
  project_.Open(dir_);
  EXPECT_EQ(project_.ObjectIds().size(), 1u);
  EXPECT_EQ(project_.IdOf("B"), 0);
  EXPECT_EQ(project_.IdOf("C"), 0);
}

TEST_F(ProjectTest, WithoutAPlugInCreationTakesTheHostsProposal) {
  int32_t id = project_.Create(1004, ktSinglePoint, {{3, 4}}, "");
  ASSERT_GT(id, 0);
  EXPECT_EQ(project_.Find(id)->kennung, "ND-1");
  EXPECT_EQ(project_.ActiveObject(), id);
  EXPECT_EQ(tables_.DataObject(), id);
  EXPECT_EQ(tables_.Value("linfos", "KENNUNG"), "ND-1");
  EXPECT_EQ(project_.Cursor(), (Point{3, 4}));
  EXPECT_EQ(project_.ProposeKennung(1004), "ND-2");
  EXPECT_THROW(project_.Create(1004, ktSinglePoint, {{1, 1}}, "ND-1"), HostError);
}

TEST_F(ProjectTest, ARenameReachesTheRowShownAndTheStoredOne) {
  int32_t a = Store("A");
  project_.Activate(a);
  tables_.SetField(tables_.Table("linfos"), "NAME", "Moor");
  EXPECT_TRUE(project_.SetKennung(a, "A-2"));
  EXPECT_EQ(tables_.Value("linfos", "KENNUNG"), "A-2");
  EXPECT_EQ(tables_.Value("linfos", "NAME"), "Moor");  // the pending edit survives
  EXPECT_TRUE(tables_.Modified("linfos"));
  tables_.PostAll();
  EXPECT_EQ(tables_.StoredRows("linfos")[0]["KENNUNG"], "A-2");
  EXPECT_EQ(tables_.StoredRows("linfos")[0]["NAME"], "Moor");
}

TEST_F(ProjectTest, DeletingTheDataObjectShowsTheActiveObjectsRows) {
  int32_t a = Store("A"), b = Store("B");
  project_.Activate(a);
  tables_.ShowRowsOf(b);  // as ktEnsureData does
  tables_.SetField(tables_.Table("linfos"), "NAME", "weg damit");
  project_.Delete(b);
  EXPECT_EQ(tables_.DataObject(), a);
  EXPECT_EQ(tables_.Value("linfos", "KENNUNG"), "A");
  EXPECT_EQ(StoredLinfos(), 1u);
  // Deleting the active object leaves no data object at all.
  project_.Delete(a);
  EXPECT_EQ(project_.ActiveObject(), 0);
  EXPECT_EQ(tables_.DataObject(), 0);
  EXPECT_EQ(tables_.RowCount("linfos"), 0);
}

TEST_F(ProjectTest, ClosingSavesPendingRowsAndClosesTheTables) {
  int32_t a = Store("A");
  project_.Activate(a);
  tables_.SetField(tables_.Table("linfos"), "NAME", "gesichert");
  project_.Close();
  EXPECT_FALSE(tables_.IsOpen());
  EXPECT_EQ(tables_.DataObject(), 0);
  EXPECT_EQ(tables_.Value("linfos", "NAME"), std::nullopt);
  EXPECT_TRUE(tables_.Eof("linfos"));
  EXPECT_THROW(tables_.Table("linfos"), HostError);
  project_.Open(dir_);
  project_.Activate(a);
  EXPECT_EQ(tables_.Value("linfos", "NAME"), "gesichert");
}

}  // namespace
}  // namespace hostsim
