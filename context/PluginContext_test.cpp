// The plug-in context: fresh flags for a started build, and flags that an
// inner holder gives back as it found them.
#include "context/PluginContext.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "context/BuildIdentity.h"

namespace {

TEST(PluginContextTest, AStartedBuildHasItsProfileAndLoadTimeFlags) {
  State().blnDoNotSetChangeFlag = true;
  State().TargetTID = 7;
  context::Start(Build::kTransactHooks);
  EXPECT_EQ(&CurrentProfile(), &ProfileOf(Build::kTransactHooks));
  EXPECT_EQ(VandraRegKey(), "Software\\Bremak\\kartul\\3.2\\VANDRA2");
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_EQ(State().TargetTID, 0);
  EXPECT_FALSE(context::Current().Store().TransactionConnectionOpen());
  context::Start(Build::kVD1TransAction2010);
  EXPECT_EQ(&CurrentProfile(), &ProfileOf(Build::kVD1TransAction2010));
  EXPECT_EQ(CurrentProfile().hook_texts, host::TextForm::kUtf16);
}

TEST(PluginContextTest, AScopedFlagPutsBackWhatItFoundAlsoOnAnError) {
  bool flag = true;
  {
    ScopedFlag inner(flag);
    EXPECT_TRUE(flag);
  }
  EXPECT_TRUE(flag) << "an outer holder keeps its flag";
  flag = false;
  try {
    ScopedFlag guard(flag);
    throw std::runtime_error("mitten in der Arbeit");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(flag);
}

TEST(ProjectStoreTest, ConnectionStringsAreTheSystemsOwn) {
  EXPECT_EQ(context::DBaseConnectionString("/projekte/moor/", "DBASE III"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/projekte/moor;"
            "Extended Properties=DBASE III;");
  EXPECT_EQ(context::DatabaseConnectionString("/verfahren/Verfahren.db"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/verfahren/Verfahren.db;"
            "Persist Security Info=False");
}

// The scopes of the plug-in's own host calls: each sets its flag for its
// life, an inner one gives back what the outer one set, an error on the
// way leaves no flag standing, and the import's flag is raised only where
// the build's profile has it.
TEST(FlagScopeTest, NoChangeMarksHoldsForItsLifeAndNestsAndSurvivesAnError) {
  context::Start(Build::kVD1TransAction2010);
  {
    const context::NoChangeMarks outer;
    EXPECT_TRUE(State().blnDoNotSetChangeFlag);
    { const context::NoChangeMarks inner; }
    EXPECT_TRUE(State().blnDoNotSetChangeFlag);  // the outer export still runs
  }
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_THROW(
      {
        const context::NoChangeMarks marks;
        throw std::runtime_error("host refused");
      },
      std::runtime_error);
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
}

TEST(FlagScopeTest, TheImportFlagIsRaisedOnlyInTheBuildsThatHaveIt) {
  for (const Build build :
       {Build::kVD1TransAction2010, Build::kVD1TransAction, Build::kTransactHooks}) {
    context::Start(build);
    {
      const context::ImportRunning running;
      EXPECT_EQ(State().ImportRunning, ProfileOf(build).import_flag) << NameOf(build);
    }
    EXPECT_FALSE(State().ImportRunning);
  }
  context::Start(Build::kVD1TransAction2010);
}

}  // namespace
