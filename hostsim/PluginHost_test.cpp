// The plug-in host before a library is loaded: events pass, nothing is
// called or logged, and loading what is not there changes nothing.
#include "hostsim/PluginHost.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

TEST(PluginHost, WithoutALibraryEveryEventPassesAndNothingIsCalled) {
  PluginHost plugin;
  plugin.SetHookTable(*HookTable::ForBuild("VD1TransAction2010"));
  EXPECT_FALSE(plugin.Binds(HookEvent::kKennungChanging));
  EXPECT_TRUE(plugin.Fire(HookEvent::kKennungChanging, 1, 0, 0));  // no veto
  EXPECT_EQ(plugin.Call("AfterEditObject", 0, 0, 0, "0, 0, 0"), std::nullopt);
  plugin.CommandDone(command::kSelect, 1);
  EXPECT_TRUE(plugin.Log().empty());
  EXPECT_FALSE(plugin.HasExport("AfterEditObject"));
  EXPECT_THROW(plugin.RunMenuCommand("SwitchKennung"), HostError);
  EXPECT_THROW(plugin.Load("NoSuchBuild", "/nowhere"), HostError);
  EXPECT_FALSE(plugin.Loaded());
  EXPECT_EQ(plugin.File(), "");
  // The table chosen before stays the one a later library must serve.
  EXPECT_EQ(plugin.Hooks().ExportFor(HookEvent::kTablePosted), "OnTablePost");
}

}  // namespace
}  // namespace hostsim
