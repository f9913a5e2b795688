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

}  // namespace
