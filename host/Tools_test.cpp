// Tools against the real host stand-in, registry file, ini files and programs.
#include "host/Tools.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "context/PluginContext.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/process/Process.h"
#include "platform/registry/MemRegistry.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Ui.h"
#include "tests/support/ProjectFixture.h"

namespace {

class ToolsTest : public testsupport::ProjectFixture {};

TEST_F(ToolsTest, FieldValuesAreTrimmedAndNumbersAreChecked) {
  const int32_t id = MakeObject("BIO", "BIO-1");
  host().Activate(id);
  host().EnterValue("linfos", "NAME", "  Erlenbruch  ");
  host().EnterValue("linfos", "BEMERKUNG", "12a");
  EXPECT_EQ(Tools::MyGetValueByName("linfos", "NAME"), "Erlenbruch");
  EXPECT_EQ(Tools::MyGetIntValueByName("linfos", "BEMERKUNG"), -1);

  int32_t value = 99;
  EXPECT_FALSE(Tools::MyGetIntValueByNameEx("linfos", "BEMERKUNG", value));
  EXPECT_EQ(value, 99) << "a text that is no number leaves the value alone";

  host().EnterValue("linfos", "BEMERKUNG", " 42");
  EXPECT_EQ(Tools::MyGetIntValueByName("linfos", "BEMERKUNG"), 42);
  EXPECT_TRUE(Tools::MyGetIntValueByNameEx("linfos", "BEMERKUNG", value));
  EXPECT_EQ(value, 42);

  EXPECT_EQ(Tools::MyGetValueByName("linfos", "GIBTSNICHT"), "");
  EXPECT_EQ(Tools::MyGetIntValueByName("keine_tabelle", "NAME"), -1);
}

TEST_F(ToolsTest, TextsCrossTheHostBoundaryAsAnsi) {
  const int32_t id = MakeObject("BIO", "BIO-Größe");
  EXPECT_EQ(Tools::MyGetKennungOfID(id), "BIO-Größe");
  host().Activate(id);
  ASSERT_TRUE(Tools::MySetValueByName("linfos", "NAME", "Quellbach Süd"));
  EXPECT_EQ(host().Value("linfos", "NAME").value_or(""), "Quellbach Süd");
  EXPECT_EQ(Tools::MyGetKennungOfID(999999), "") << "an unknown object has no identifier";
}

TEST_F(ToolsTest, FoldersEndWithOneDelimiter) {
  EXPECT_EQ(Tools::MyGetProjectDir(), ProjectDir());
  EXPECT_EQ(Tools::MyGetVerfahrenDir().back(), '/');
  EXPECT_EQ(Tools::WithBackslash("/a/b"), "/a/b/");
  EXPECT_EQ(Tools::WithBackslash("/a/b/"), "/a/b/");
  EXPECT_EQ(Tools::MyGetProjectDB(), host().ProjectDB());
}

TEST_F(ToolsTest, RegistryIntegersRoundTripAsDecimalText) {
  const std::string key = "Software\\Bremak\\kartul\\5.1\\VANDRA";
  EXPECT_EQ(Tools::GetRegIntEntry(key, "VD2Transaktionen", "SelectStatus", 7), 7);
  Tools::SetRegIntEntry(key, "VD2Transaktionen", "SelectStatus", -12);
  EXPECT_EQ(Tools::GetRegIntEntry(key, "VD2Transaktionen", "SelectStatus", 7), -12);
  platform::registry::RegIniFile raw(key, platform::registry::RegIniFile::Access::kReadOnly);
  EXPECT_EQ(raw.ReadString("VD2Transaktionen", "SelectStatus", ""), "-12");

  Tools::SetRegStringEntry(key, "VD2Transaktionen", "SelectStatus", "zwei");
  EXPECT_EQ(Tools::GetRegIntEntry(key, "VD2Transaktionen", "SelectStatus", 3), 3)
      << "a text that is no integer reads as the default";
  EXPECT_EQ(Tools::GetRegIntEntry("Software\\Gibts\\Nicht", "S", "I", 5), 5);
}

TEST_F(ToolsTest, RegistryEntriesAreThoseOfThePlatformsRegistry) {
  platform::registry::MemRegistry platform_registry;
  platform::registry::ScopedRegistry scoped(platform_registry);
  Tools::SetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "GK-Streifen", 3);
  Tools::SetRegStringEntry("Vandra", "AutoCheckIn", "UserName", "kartiererin");
  EXPECT_EQ(platform_registry.ReadValue(VandraRegKey() + "\\VD2Transaktionen", "GK-Streifen"), "3");
  EXPECT_EQ(Tools::GetRegStringEntry("Vandra", "AutoCheckIn", "UserName", ""), "kartiererin");
  EXPECT_FALSE(std::filesystem::exists(Root() + "/registry.reg")) << "the file is not the registry";
}

TEST_F(ToolsTest, DamagedRegistryFileGivesDefaults) {
  const std::string file = Root() + "/registry.reg";
  std::ofstream(file, std::ios::binary) << "\x01\x02 kein Registry [HKEY";
  EXPECT_EQ(Tools::GetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "GK-Streifen", 2), 2);
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ImportDir", ""), "");
}

TEST_F(ToolsTest, SettingsOfTheIniFiles) {
  EXPECT_EQ(Tools::ReadBundesland(), "NRW");
  SetApplicatIni("Config", "Bundesland", "BRB");
  EXPECT_EQ(Tools::ReadBundesland(), "BRB");
  EXPECT_TRUE(Tools::CheckBundesland({"RLP", "BRB"}));
  EXPECT_FALSE(Tools::CheckBundesland({"brb"})) << "the comparison is exact";

  SetApplicatIni("VANDRA", "NSGPrefixFilter", "abc");
  EXPECT_EQ(Tools::ReadIntFromApplicatIni("VANDRA", "NSGPrefixFilter", 0), 0);
  SetApplicatIni("vandra", "nsgprefixfilter", "3");
  EXPECT_EQ(Tools::ReadIntFromApplicatIni("VANDRA", "NSGPrefixFilter", 0), 3)
      << "sections and keys are found without regard to case";

  Tools::WriteStringToProjectIni("BRB", "AG", "XY");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("brb", "ag", ""), "XY");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("BRB", "Nummer", "000"), "000");
}

TEST(ToolsText, TokensAndPadding) {
  EXPECT_EQ(Tools::GetTNum("a-b-c", '-'), 3);
  EXPECT_EQ(Tools::GetTNum("", '-'), 1);
  EXPECT_EQ(Tools::GetToken("a-b-c", '-', 2), "b");
  EXPECT_EQ(Tools::GetToken("a-b-c", '-', 3), "c");
  EXPECT_EQ(Tools::GetToken("a-b-c", '-', 4), "");
  EXPECT_EQ(Tools::GetToken("abc", '-', 1), "abc");
  EXPECT_EQ(Tools::GetToken("abc", '-', 2), "");
  EXPECT_EQ(Tools::GetToken("-x", '-', 1), "");
  EXPECT_EQ(Tools::FillLeft("7", 3, '0'), "007");
  EXPECT_EQ(Tools::FillLeft("1234", 3, '0'), "234");
  EXPECT_EQ(Tools::FillLeft("", 2, '0'), "00");
}

TEST(ToolsText, TruthOfATextByItsFirstLetter) {
  for (const char* yes : {"TRUE", "WAHR", "t", "wahr", "Tja"}) EXPECT_TRUE(Tools::MyStrToBool(yes));
  for (const char* no : {"FALSCH", "F", "", " TRUE", "1", "ja"})
    EXPECT_FALSE(Tools::MyStrToBool(no));
}

TEST_F(ToolsTest, DirectoryListingMatchesMasksWithoutRegardToCase) {
  for (const char* name : {"a.jpg", "B.JPG", "c.txt"}) std::ofstream(Root() + "/" + name) << "x";
  std::vector<std::string> list;
  Tools::ReadDirectroyFiles(Root(), "*.jpg", list);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::string>{"B.JPG", "a.jpg"}));
  list.clear();
  Tools::ReadDirectroyFiles(Root() + "/gibtsnicht", "*", list);
  EXPECT_TRUE(list.empty());
}

TEST_F(ToolsTest, FileExistsLikeTheHostsFileSystem) {
  std::ofstream(ProjectDir() + "TA_LIST.DBF") << "x";
  EXPECT_TRUE(
      platform::env::FileExistsNoCase(platform::env::Env::Current(), ProjectDir() + "TA_LIST.DBF"));
  EXPECT_TRUE(
      platform::env::FileExistsNoCase(platform::env::Env::Current(), ProjectDir() + "TA_LIST.dbf"))
      << "names match without case";
  EXPECT_FALSE(
      platform::env::FileExistsNoCase(platform::env::Env::Current(), ProjectDir() + "TA_ID.dbf"));
  EXPECT_FALSE(platform::env::FileExistsNoCase(platform::env::Env::Current(), ProjectDir()))
      << "a folder is no file";
}

TEST_F(ToolsTest, FileExistsInAFolderAnswersAsForTheWholePath) {
  std::ofstream(ProjectDir() + "TA_LIST.DBF") << "x";
  std::filesystem::create_directories(ProjectDir() + "KTPhotos");
  const std::string folder = platform::env::FolderOf(ProjectDir() + "TA_LIST.dbf");
  for (const char* name : {"TA_LIST.DBF", "TA_LIST.dbf", "ta_list.dbf", "TA_ID.dbf", "KTPhotos"}) {
    EXPECT_EQ(platform::env::FileExistsNoCase(platform::env::Env::Current(), folder, name),
              platform::env::FileExistsNoCase(platform::env::Env::Current(), ProjectDir() + name))
        << name;
  }
  EXPECT_TRUE(
      platform::env::FileExistsNoCase(platform::env::Env::Current(), folder, "ta_list.dbf"));
  EXPECT_FALSE(platform::env::FileExistsNoCase(platform::env::Env::Current(), folder, "TA_ID.dbf"));
  EXPECT_FALSE(platform::env::FileExistsNoCase(platform::env::Env::Current(), folder, "KTPhotos"))
      << "a folder is no file";
  EXPECT_FALSE(platform::env::FileExistsNoCase(platform::env::Env::Current(),
                                               Root() + "/gibts/nicht", "TA_LIST.DBF"));
}

TEST_F(ToolsTest, ProgramsGetTheirArgumentsWhole) {
  const std::string script = Root() + "/prog dir/echo args.sh";
  std::filesystem::create_directories(Root() + "/prog dir");
  std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > \"" << Root()
                        << "/out.txt\"\npwd >> \"" << Root() << "/out.txt\"\n";
  chmod(script.c_str(), 0755);
  ASSERT_TRUE(Tools::ExecAndWait(script, {"-d", "C:/Mein Ordner", "-p", "pass wort", ""}));
  std::ifstream in(Root() + "/out.txt");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "-d|C:/Mein Ordner|-p|pass wort||" + Root() + "/prog dir");
  EXPECT_FALSE(Tools::ExecAndWait(Root() + "/gibts/nicht.exe", {"-l"}));
}

TEST(ToolsUser, TheLogonName) {
  EXPECT_FALSE(Tools::GetCurrentUserName().empty());
}

// Programs on a platform that starts them itself: what it is asked, and the
// cursor the mapper sees meanwhile.
class PlatformProcesses : public platform::process::Processes {
 public:
  bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) override {
    return Record("wait", program, args);
  }
  std::unique_ptr<platform::process::RunningProgram> Start(
      const std::string& program, const std::vector<std::string>& args) override {
    Record("watch", program, args);
    return nullptr;
  }
  bool Exec(const std::string& program, const std::vector<std::string>& args) override {
    return Record("show", program, args);
  }
  std::string CurrentUserName() override { return "kartiererin"; }
  std::string HomeFolder() override { return "/home/kartiererin"; }

  std::vector<std::string> calls;

 private:
  bool Record(const std::string& how, const std::string& program,
              const std::vector<std::string>& args) {
    const bool hourglass = platform::ui::CurrentCursor() == platform::ui::Cursor::kHourglass;
    std::string call = how + (hourglass ? " (hourglass) " : " ") + program;
    for (const std::string& arg : args) call += "|" + arg;
    calls.push_back(call);
    return true;
  }
};

TEST(ToolsUser, ProgramsStartAndTheLogonNameComeFromThePlatformUnderTheHourglass) {
  PlatformProcesses platform;
  platform::process::ScopedProcesses scoped(platform);
  EXPECT_TRUE(Tools::ExecAndWait("C:/Programme/Checkin.exe", {"-l", "pass wort"}));
  Tools::Exec("notepad.exe", {"C:/Export/VANDRA.log"});
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"wait (hourglass) C:/Programme/Checkin.exe|-l|pass wort",
                                      "show (hourglass) notepad.exe|C:/Export/VANDRA.log"}));
  EXPECT_EQ(platform::ui::CurrentCursor(), platform::ui::Cursor::kDefault);
  EXPECT_EQ(Tools::GetCurrentUserName(), "kartiererin");
}

}  // namespace
