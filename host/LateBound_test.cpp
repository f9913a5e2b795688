// The host functions bound at run time, against the host stand-in's
// library as the plug-in finds it loaded: a function the host has is found
// and called; one it lacks stops the call with the German message naming
// it, and nothing reaches the host.
#include "host/LateBound.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/HostApi.h"
#include "host/ktapi32.h"
#include "platform/module/Module.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMissingText =
    " nicht bereit; diese Version des Plug-ins passt nicht zur installierten KARTUL-Version. "
    "Der Vorgang wurde abgebrochen.";

class LateBoundTest : public testsupport::ProjectFixture {};

TEST_F(LateBoundTest, AFunctionTheHostHasIsFoundOnceAndCalled) {
  host::late::Binding binding{"ktGetProjectDB"};
  EXPECT_TRUE(host::late::Has(binding));
  void* first = host::late::Require(binding);
  EXPECT_EQ(first, platform::module::LoadedLibraryFunction("ktapi32", "ktGetProjectDB"));
  EXPECT_EQ(host::late::Require(binding), first) << "kept, not looked up again";

  // Through the façade, as the plug-in calls it.
  EXPECT_EQ(host::ProjectDB(), host().ProjectDB());
  const std::string file = Root() + "/objekte.xml";
  EXPECT_TRUE(host::ExportDataXMLEx(file, true, false, "ja", "nein"));
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(LateBoundTest, AFunctionTheHostLacksThrowsTheGermanMessageNamingIt) {
  host::late::Binding binding{"ktGibtEsNicht"};
  EXPECT_FALSE(host::late::Has(binding));
  try {
    host::late::Require(binding);
    FAIL() << "no exception";
  } catch (const host::MissingHostFunction& e) {
    EXPECT_EQ(e.Function(), "ktGibtEsNicht");
    EXPECT_EQ(std::string(e.what()),
              std::string("KARTUL stellt die Funktion ktGibtEsNicht") + kMissingText);
  }
  EXPECT_FALSE(host::late::Has(binding)) << "the answer is kept";
}

TEST_F(LateBoundTest, OnAHostWithoutTheNewerExportTheCallStopsBeforeTheHost) {
  const std::string file = Root() + "/objekte.xml";
  {
    const host::testing::HostWithout earlier_host({"ktExportDataXMLEx"});
    try {
      host::ExportDataXMLEx(file, true, false, "ja", "nein");
      FAIL() << "no exception";
    } catch (const host::MissingHostFunction& e) {
      EXPECT_EQ(e.Function(), "ktExportDataXMLEx");
      EXPECT_EQ(std::string(e.what()),
                std::string("KARTUL stellt die Funktion ktExportDataXMLEx") + kMissingText);
    }
    EXPECT_FALSE(fs::exists(file)) << "the host was not called";
    // What that host has still works, bound at run time or at load time.
    EXPECT_TRUE(host::ExportDataXML(file, true, false));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(host::ProjectDB(), host().ProjectDB());
  }
  // The host's own library again: the function is looked up anew.
  fs::remove(file);
  EXPECT_TRUE(host::ExportDataXMLEx(file, true, false, "ja", "nein"));
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(LateBoundTest, ControlsAreNeverLeftOffForWantOfTheFunctionThatTurnsThemOn) {
  {
    const host::testing::HostWithout host_without({"ktEnableControls"});
    try {
      host::DisableControls("Objektphotos");
      FAIL() << "no exception";
    } catch (const host::MissingHostFunction& e) {
      EXPECT_EQ(e.Function(), "ktEnableControls") << "refused before anything is disabled";
    }
    // What runs at the end of the work, from a destructor at times.
    EXPECT_NO_THROW(host::EnableControls("Objektphotos"));
  }
  EXPECT_NO_THROW(host::DisableControls("Objektphotos"));
  EXPECT_NO_THROW(host::EnableControls("Objektphotos"));
}

TEST(HostLibraryLookupTest, OnlyTheLoadedHostLibraryIsAsked) {
  EXPECT_NE(platform::module::LoadedLibraryFunction("ktapi32", "ktExportDataXMLEx"), nullptr);
  EXPECT_EQ(platform::module::LoadedLibraryFunction("ktapi32", "ktGibtEsNicht"), nullptr);
  EXPECT_EQ(platform::module::LoadedLibraryFunction("gibtesnicht", "ktExportDataXMLEx"), nullptr)
      << "a library that is not loaded is not loaded for the lookup either";
}

}  // namespace
