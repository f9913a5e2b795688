// The paths of the project folder: made from the folder alone, kept while
// the host reports the same folder, and made anew for another project
// opened in the same process.
#include "context/ProjectPaths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "hostsim/HostModel.h"

namespace {

namespace fs = std::filesystem;

TEST(ProjectPathsTest, TheFolderGetsItsDelimiterAndATableItsDbaseFile) {
  context::ProjectPaths paths("/projekte/moor");
  EXPECT_EQ(paths.Reported(), "/projekte/moor");
  EXPECT_EQ(paths.Dir(), "/projekte/moor/");
  const context::ProjectFile& list = paths.DbaseTable("TA_LIST");
  EXPECT_EQ(list.path, "/projekte/moor/TA_LIST.dbf");
  EXPECT_EQ(list.folder, "/projekte/moor");
  EXPECT_EQ(list.name, "TA_LIST.dbf");
  EXPECT_EQ(paths.DbaseTable("TA_KL").path, "/projekte/moor/TA_KL.dbf");
  EXPECT_EQ(&paths.DbaseTable("TA_LIST"), &list) << "a table's file is named once";
  EXPECT_EQ(list.path, "/projekte/moor/TA_LIST.dbf") << "and stays as it was named";
  EXPECT_EQ(context::ProjectPaths("/projekte/moor/").Dir(), "/projekte/moor/");
}

TEST(ProjectPathsTest, WithoutAProjectThereIsNoFolderAndNoTableFile) {
  context::ProjectPaths none("");
  EXPECT_EQ(none.Dir(), "");
  const context::ProjectFile& list = none.DbaseTable("TA_LIST");
  EXPECT_EQ(list.path, "") << "never a table in the program's working folder";
  EXPECT_EQ(list.folder, "");
  EXPECT_EQ(list.name, "");
}

// Two projects of the host stand-in in one process, as a mapper opens one
// after the other; the store's paths are looked at without a project hook
// between, as in a build that has none.
class StorePathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vandra-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    first_ = root_ + "/erstes/";
    second_ = root_ + "/zweites/";
    hostsim::Host::CreateProject(first_);
    hostsim::Host::CreateProject(second_);
    context::Current().Store().CloseAll();
  }
  void TearDown() override {
    context::Current().Store().CloseAll();
    hostsim::TheHost().CloseProject();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  context::ProjectPaths& Paths() { return context::Current().Store().Paths(); }

  std::string root_, first_, second_;
};

TEST_F(StorePathsTest, EachOpenedProjectGetsItsOwnPaths) {
  hostsim::Host& host = hostsim::TheHost();
  host.OpenProject(first_);
  EXPECT_EQ(Paths().Dir(), first_);
  EXPECT_EQ(Paths().Dir(), Tools::MyGetProjectDir());
  EXPECT_EQ(Paths().DbaseTable("TA_LIST").path, first_ + "TA_LIST.dbf");

  host.OpenProject(second_);
  EXPECT_EQ(Paths().Dir(), second_);
  EXPECT_EQ(Paths().Dir(), Tools::MyGetProjectDir());
  EXPECT_EQ(Paths().DbaseTable("TA_LIST").path, second_ + "TA_LIST.dbf")
      << "a table named in the first project is named anew in the second";
  EXPECT_EQ(Paths().DbaseTable("TA_KL").folder + "/", second_);

  host.OpenProject(first_);
  EXPECT_EQ(Paths().DbaseTable("TA_LIST").path, first_ + "TA_LIST.dbf");

  host.CloseProject();
  EXPECT_EQ(Paths().Dir(), "");
  EXPECT_EQ(Paths().DbaseTable("TA_LIST").path, "");
}

TEST_F(StorePathsTest, TheSameProjectKeepsItsPathsUntilItCloses) {
  hostsim::TheHost().OpenProject(first_);
  const context::ProjectPaths* made = &Paths();
  const context::ProjectFile* list = &Paths().DbaseTable("TA_LIST");
  EXPECT_EQ(&Paths(), made);
  EXPECT_EQ(&Paths().DbaseTable("TA_LIST"), list);
  EXPECT_EQ(list->path, first_ + "TA_LIST.dbf");

  // The project hook drops them; the next use makes them from what the
  // host reports, which is the same folder.
  context::Current().Store().CloseProject();
  EXPECT_EQ(Paths().DbaseTable("TA_LIST").path, first_ + "TA_LIST.dbf");
}

}  // namespace
