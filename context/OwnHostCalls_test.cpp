// The scopes of the plug-in's own host calls: each sets its flag for its
// life, an inner one gives back what the outer one set, an error on the
// way leaves no flag standing, and the import's flag is raised only where
// the build's profile has it.
#include "context/OwnHostCalls.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"

namespace {

TEST(OwnHostCallsTest, NoChangeMarksHoldsForItsLifeAndNestsAndSurvivesAnError) {
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

TEST(OwnHostCallsTest, TheImportFlagIsRaisedOnlyInTheBuildsThatHaveIt) {
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
