#include "hostsim/HookTable.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace hostsim {
namespace {

TEST(HookTable, IdentifierChangeRunsThePairingHookBeforeAndAfter) {
  for (auto build : kBuildNames) {
    auto t = HookTable::ForBuild(build);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ExportFor(HookEvent::kKennungChanging), "UpdateKennungPreCorrection");
    EXPECT_EQ(t->ExportFor(HookEvent::kKennungChanged), "UpdateKennungPreCorrection");
    EXPECT_EQ(t->ExportFor(HookEvent::kBeforeCreateObject), "BeforeCreateObject");
    EXPECT_EQ(t->ExportFor(HookEvent::kGeometryChanging), "CheckStatus");
  }
}

TEST(HookTable, EachBuildBindsOnlyWhatItExports) {
  auto full = HookTable::ForBuild("VD1TransAction2010");
  auto earlier = HookTable::ForBuild("VD1TransAction");
  auto reduced = HookTable::ForBuild("TransactHooks");
  // The host calls all hooks but the two halves of the pairing and the
  // ktIterateObjects callback, which the plug-in reaches itself. The full
  // build has the preflight's menu command besides the system's 29 hooks.
  EXPECT_EQ(full->BoundExports().size(), 30u - 3u);
  EXPECT_EQ(earlier->BoundExports().size(), 25u - 3u);
  EXPECT_EQ(reduced->BoundExports().size(), 14u - 3u);
  EXPECT_EQ(earlier->ExportFor(HookEvent::kPflanzenlisteEntered), "");
  EXPECT_EQ(earlier->ExportFor(HookEvent::kCommandDone), "AfterKARTULCommand");
  EXPECT_EQ(reduced->ExportFor(HookEvent::kTablePosted), "");
  EXPECT_EQ(reduced->ExportFor(HookEvent::kBeforeLoadProject), "");
  EXPECT_TRUE(reduced->Menu().count("SwitchKennung"));
  EXPECT_FALSE(reduced->Menu().count("ProcessFoto"));
  EXPECT_TRUE(full->Menu().count("SetETRS89"));
  EXPECT_FALSE(earlier->Menu().count("SetETRS89"));
  EXPECT_TRUE(full->Menu().count("VD1Vorpruefung"));
  EXPECT_FALSE(earlier->Menu().count("VD1Vorpruefung"));
}

TEST(HookTable, UnknownBuildsAndEventNames) {
  EXPECT_FALSE(HookTable::ForBuild("vd1transaction2010"));
  EXPECT_EQ(EventByName("table-posted"), HookEvent::kTablePosted);
  EXPECT_FALSE(EventByName("TablePosted"));
  for (size_t i = 0; i < kHookEventCount; ++i)
    EXPECT_EQ(EventByName(EventName(static_cast<HookEvent>(i))), static_cast<HookEvent>(i));
}

TEST(HookTable, RebindingAndUnbinding) {
  HookTable t;
  EXPECT_TRUE(t.BoundExports().empty());
  t.Bind(HookEvent::kObjectEdited, "AfterEditObject");
  t.BindMenu("Bericht", "MakeTransActionReport");
  t.BindMenu("Bericht2", "MakeTransActionReport");
  EXPECT_EQ(t.BoundExports().size(), 2u);
  t.Bind(HookEvent::kObjectEdited, "");
  t.UnbindMenu("Bericht");
  EXPECT_EQ(t.BoundExports(), std::vector<std::string>{"MakeTransActionReport"});
}

}  // namespace
}  // namespace hostsim
