// The plug-in linked into the program itself: the host takes the program's
// own exports as the hooks (this test is built with ENABLE_EXPORTS and
// defines a few), fires them as it fires those of a loaded build, and knows
// the plug-in under the program's file name, so that ktIterateObjects finds
// it by the name the plug-in code learns from the system.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/ktapi32.h"
#include "hostsim/HostModel.h"

namespace {

std::vector<std::string> g_calls;
const std::string kProgram = "hostsim_linked_test";
std::string g_library = kProgram;

}  // namespace

extern "C" {

int16_t InsertInTransActionList(intptr_t command, intptr_t id, uint16_t) {
  g_calls.push_back("InsertInTransActionList " + std::to_string(command) + " " +
                    std::to_string(id));
  return -1;
}

int16_t DeleteFromTransActionList(intptr_t id, intptr_t, uint16_t) {
  g_calls.push_back("DeleteFromTransActionList " + std::to_string(id));
  return -1;
}

int16_t CreateListToAssign(intptr_t data, intptr_t, uint16_t) {
  g_calls.push_back(std::string("CreateListToAssign ") +
                    reinterpret_cast<TKTObjectData*>(data)->Kennung);
  return -1;
}

int16_t AssignToTransaction(intptr_t, intptr_t, uint16_t) {
  g_calls.push_back("AssignToTransaction " +
                    std::to_string(ktIterateObjects(0, g_library.c_str(), "CreateListToAssign")));
  return -1;
}

}  // extern "C"

namespace hostsim {
namespace {

class LinkedPluginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Host& host = TheHost();
    // The full build's table binds hooks this program does not define.
    try {
      host.LoadLinkedPlugin("VD1TransAction2010");
    } catch (const HostError& e) {
      refusal_ = e.what();
    }
    host.SetHookTable(HookTable());
    host.Bind(HookEvent::kObjectCreated, "InsertInTransActionList");
    host.Bind(HookEvent::kObjectDeleting, "DeleteFromTransActionList");
    host.BindMenu("AssignToTransaction", "AssignToTransaction");
    host.LoadLinkedPlugin("VD1TransAction2010");
  }

  void SetUp() override {
    char pattern[] = "/tmp/hostsim-linked-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    Host::CreateProject(dir_ + "/p");
    host_.OpenProject(dir_ + "/p");
    g_calls.clear();
    g_library = kProgram;
  }
  void TearDown() override {
    host_.CloseProject();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  int32_t Point(const std::string& kennung) {
    return host_.CreateObject(1004, ktSinglePoint, {{1, 1}}, kennung);
  }

  static std::string refusal_;
  Host& host_ = TheHost();
  std::string dir_;
};

std::string LinkedPluginTest::refusal_;

TEST_F(LinkedPluginTest, AMissingExportIsRefusedAsForALoadedBuild) {
  EXPECT_NE(refusal_.find("the plug-in " + kProgram +
                          " lacks exports the hook table binds: BeforeLoadProject"),
            std::string::npos)
      << refusal_;
  EXPECT_EQ(refusal_.find("InsertInTransActionList"), std::string::npos) << refusal_;
  EXPECT_THROW(host_.Bind(HookEvent::kObjectEdited, "AfterEditObject"), HostError);
  EXPECT_THROW(host_.LoadLinkedPlugin("VD1TransAction2010"), HostError);
  EXPECT_THROW(host_.LoadPlugin("TransactHooks", dir_), HostError);
}

TEST_F(LinkedPluginTest, TheProgramsOwnExportsAreCalledAtTheHostsEvents) {
  EXPECT_TRUE(host_.HasPlugin());
  EXPECT_EQ(host_.PluginFile(), kProgram);
  EXPECT_TRUE(host_.Utf16HookTexts()) << "the full build's texts";
  int32_t a = Point("ND-1");
  int32_t b = Point("ND-2");
  host_.DeleteObject(a);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"InsertInTransActionList 1057 " + std::to_string(a),
                                               "InsertInTransActionList 1057 " + std::to_string(b),
                                               "DeleteFromTransActionList " + std::to_string(a)}));
  // The log and its answers as for a loaded build.
  ASSERT_EQ(host_.HookLog().size(), 3u);
  EXPECT_EQ(host_.HookLog()[2].export_name, "DeleteFromTransActionList");
  EXPECT_EQ(host_.HookLog()[2].answer, -1);
}

TEST_F(LinkedPluginTest, IterationFindsTheLinkedPlugInByItsLibraryName) {
  Point("ND-1");
  int32_t b = Point("ND-2");
  Point("ND-3");
  host_.Select(b);
  g_calls.clear();
  EXPECT_TRUE(host_.RunMenuCommand("AssignToTransaction"));
  EXPECT_EQ(g_calls,
            (std::vector<std::string>{"CreateListToAssign ND-2", "AssignToTransaction -1"}));
  g_library = "VD1TransAction2010.dll";
  g_calls.clear();
  host_.RunMenuCommand("AssignToTransaction");
  EXPECT_EQ(g_calls, (std::vector<std::string>{"AssignToTransaction 0"}));
}

}  // namespace
}  // namespace hostsim
