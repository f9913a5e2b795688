// The hook frame as the host sees it: arguments, answers, the flags that
// steer re-entry, and errors that never cross into the host.
#include "plugin/hooks.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "host/LateBound.h"
#include "host/ktapi32.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/TempObject.h"
#include "platform/env/TestEnglish.h"
#include "plugin/HookFrame.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/TransActTools.h"

namespace {

using testsupport::ListRows;

class HookTest : public testsupport::ProjectFixture {};

intptr_t Ptr(const void* p) {
  return reinterpret_cast<intptr_t>(p);
}

TEST_F(HookTest, AnsiCopiesStayInsideTheHostsBuffer) {
  SelectBuild(Build::kVD1TransAction);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  HookFrame::CopyHookText(Ptr("abcdef"), Ptr(buffer), 4);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'x') << "nothing written past MaxLen";

  std::memset(buffer, 'x', sizeof buffer);
  HookFrame::CopyHookText(Ptr("abcdef"), Ptr(buffer), 0);
  EXPECT_EQ(buffer[0], 'x') << "MaxLen 0 leaves the buffer alone";
  HookFrame::CopyHookText(Ptr("abcdef"), Ptr(buffer), 1);
  EXPECT_STREQ(buffer, "");
  HookFrame::CopyHookText(0, Ptr(buffer), 5);
  EXPECT_STREQ(buffer, "") << "a missing value copies as empty";
}

TEST_F(HookTest, Utf16CopiesNeverSplitACharacter) {
  SelectBuild(Build::kVD1TransAction2010);
  const char16_t value[] = u"a\U0001F33Fb";  // a, a surrogate pair, b
  char16_t buffer[6];
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  HookFrame::CopyHookText(Ptr(value), Ptr(buffer), 3);
  EXPECT_EQ(std::u16string(buffer), u"a");
  HookFrame::CopyHookText(Ptr(value), Ptr(buffer), 4);
  EXPECT_EQ(std::u16string(buffer), u"a\U0001F33F");
  HookFrame::CopyHookText(Ptr(u"Wahr"), Ptr(buffer), 6);
  EXPECT_EQ(std::u16string(buffer), u"Wahr");
}

TEST_F(HookTest, HookTextsAreUtf16OnlyInTheFullBuild) {
  SelectBuild(Build::kVD1TransAction2010);
  EXPECT_EQ(HookFrame::HookText(Ptr(u"Objektphotos")), "Objektphotos");
  EXPECT_EQ(HookFrame::HookText(Ptr(u"Gr\u00F6\u00DFe")), "Größe");
  SelectBuild(Build::kTransactHooks);
  EXPECT_EQ(HookFrame::HookText(Ptr("Gr\xF6\xDF"
                                    "e")),
            "Größe");
  EXPECT_EQ(HookFrame::HookText(0), "");
}

TEST(HookFrameTest, OnlyTheExactPhotoTableWithEventZeroIsAPhotoLinkPost) {
  EXPECT_TRUE(HookFrame::IsPhotoLinkPost("Objektphotos", 0));
  EXPECT_FALSE(HookFrame::IsPhotoLinkPost("objektphotos", 0));
  EXPECT_FALSE(HookFrame::IsPhotoLinkPost("Objektphotos", 1));
  EXPECT_FALSE(HookFrame::IsPhotoLinkPost("linfos", 0));
}

TEST_F(HookTest, IdentifierChangeOfAListedObjectIsUndoneAndThePairingAlternates) {
  CreateTransactionTables();
  AddTransaction(1, "Test");
  const int32_t id = MakeObject("FFH", "DE-1");
  AddRow(1, id, 1, "DE-1");
  PluginState& state = State();

  EXPECT_EQ(UpdateKennungPreCorrection(id, 0, 0), kHookTrue);
  EXPECT_TRUE(state.blnBeforeChangeKennungDone);
  EXPECT_TRUE(state.blnDoNotSetChangeFlag);
  EXPECT_EQ(state.strOldKennung, "DE-1");

  ASSERT_TRUE(host().RenameObject(id, "DE-2"));  // no plug-in loaded: no hooks from the host
  Answer("message OK");
  EXPECT_EQ(UpdateKennungPreCorrection(id, 0, 0), kHookTrue);
  EXPECT_FALSE(state.blnBeforeChangeKennungDone);
  EXPECT_FALSE(state.blnDoNotSetChangeFlag);
  EXPECT_FALSE(state.blnChangingKennungInternal);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-1") << "the rename is undone";
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "Das Objekt DE-1 ist bereits einer Transaktion zugewiesen. Seine "
                            "Kennung darf daher nicht geändert werden."}));
}

TEST_F(HookTest, ThePluginsOwnRenamePassesAndRestartsThePairing) {
  PluginState& state = State();
  state.blnBeforeChangeKennungDone = true;
  state.blnChangingKennungInternal = true;
  EXPECT_EQ(UpdateKennungPreCorrection(1, 0, 0), kHookTrue);
  EXPECT_FALSE(state.blnBeforeChangeKennungDone);
  EXPECT_TRUE(state.strOldKennung.empty()) << "neither half ran";
}

TEST_F(HookTest, WithoutTransactionListARenameStands) {
  const int32_t id = MakeObject("FFH", "DE-1");
  UpdateKennungPreCorrection(id, 0, 0);
  ASSERT_TRUE(host().RenameObject(id, "DE-9"));
  UpdateKennungPreCorrection(id, 0, 0);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-9");
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(context::Current().Store().TransactionConnectionOpen());
}

TEST_F(HookTest, TemporaryPointCreationAsksNothingAndStaysOutOfTheList) {
  CreateTransactionTables();
  AddTransaction(1, "Test");
  State().TargetTID = 1;
  TempObject& point = TempObject::Current();
  point.BeginPlacing();
  char buffer[51] = "TempObj1";
  TGetNewKennung request{buffer, 50, 9};
  request.UseDialog = 1;
  EXPECT_EQ(BeforeCreateObject(ClassId("FFH"), Ptr(&request), 6), kHookTrue);
  EXPECT_EQ(request.UseDialog, 0) << "no chooser, no identifier of a pool";
  EXPECT_STREQ(buffer, "TempObj1");
  EXPECT_TRUE(Messages().empty());

  const int redraws = host().RedrawCount();
  EXPECT_EQ(InsertInTransActionList(1058, 77, 0), kHookTrue);
  EXPECT_EQ(point.Placed(), 77);
  EXPECT_FALSE(point.Placing());
  EXPECT_EQ(host().RedrawCount(), redraws + 1);
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
  point.Remove();
}

TEST_F(HookTest, AbandonedPlacingOnlyCountsDuringATemporaryCreation) {
  TempObject& point = TempObject::Current();
  point.BeginPlacing();
  point.ObjectCreated(MakeObject("NSG", "TempObj1"));
  const int32_t placed = point.Placed();
  AfterKARTULCommand(1058, 0, 7);
  EXPECT_EQ(point.Placed(), placed) << "outside a temporary creation nothing changes";
  point.Remove();

  point.BeginPlacing();
  AfterKARTULCommand(1057, 0, 7);
  AfterKARTULCommand(1058, 0, 1);
  EXPECT_TRUE(point.Placing());
  AfterKARTULCommand(1058, 0, 7);
  EXPECT_FALSE(point.Placing());
  EXPECT_EQ(point.Placed(), -1);

  point.BeginPlacing();
  BeforeLoadProject(0, 0, 0);
  EXPECT_FALSE(point.Placing());
}

TEST_F(HookTest, TablePostsMarkTheActiveObjectUnlessAChangeIsRunning) {
  CreateTransactionTables();
  AddTransaction(1, "Test");
  const int32_t id = MakeObject("FFH", "DE-1");
  AddRow(1, id, 0, "DE-1");
  host().Activate(id);

  State().blnDoNotSetChangeFlag = true;
  OnTablePost(0, Ptr(u"linfos"), 1);
  EXPECT_EQ(ListRows(ProjectDir()), (std::vector<std::string>{"DE-1 1 0 IGNORED DE-1"}));

  State().blnDoNotSetChangeFlag = false;
  OnTablePost(0, Ptr(u"objektphotos"), 0);
  EXPECT_EQ(ListRows(ProjectDir()), (std::vector<std::string>{"DE-1 1 0 UPDATE DE-1"}))
      << "a read-only object's attributes may change; its status stays";
}

TEST_F(HookTest, ErrorsBecomeAMessageAndTheHooksAnswer) {
  // A transaction list that no driver can read makes every query fail.
  std::ofstream(ProjectDir() + "TA_LIST.dbf", std::ios::binary) << "kein dBase";
  const int32_t id = MakeObject("FFH", "DE-1");
  host().Activate(id);
  Answer("message OK\nmessage OK\nmessage OK");
  EXPECT_EQ(CheckStatus(0, id, 0), kHookFalse) << "a hook that can veto vetoes on error";
  EXPECT_EQ(AfterEditObject(0, 0, 0), kHookTrue);
  EXPECT_EQ(DeleteFromTransActionList(id, 0, 0), kHookTrue);
  const std::vector<std::string> shown = Messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[0].find("TA_LIST"), std::string::npos) << shown[0];
  EXPECT_NE(Shown().find("message plain"), std::string::npos)
      << "a table error shows as the driver's text in the plain box";
}

// Settings the export cannot keep, the registry file damaged or no file at
// all: the mapper is told in German with the file named, and nothing is
// written. (Reading them falls back to the defaults, as the host's own
// settings do.)
TEST_F(HookTest, SettingsThatCannotBeKeptAreToldInGermanWithTheFileNamed) {
  CreateTransactionTables();
  EnsureTableFotos();
  EnsureSubDirFotos();
  AddTransaction(7, "Ruhraue");
  AddRow(7, MakeObject("FFH", "DE-1"), 1, "DE-1", "UPDATE");
  const std::string registry = Root() + "/registry.reg";
  std::filesystem::create_directories(Root() + "/aus");
  const auto export_told = [&](const std::string& why) {
    Answer("message Yes\nfile \"" + Root() + "/aus/paket\"\nmessage OK");
    EXPECT_EQ(VD1CustomExport(0, 0, 0), kHookFalse) << why;
    const std::vector<std::string> shown = Messages();
    ASSERT_FALSE(shown.empty()) << why;
    for (const std::string& text : shown) {
      EXPECT_EQ(platform::env::testing::EnglishWords(text), std::vector<std::string>{})
          << why << ": " << text;
    }
    EXPECT_NE(shown.back().find(registry), std::string::npos) << why << ": " << shown.back();
    EXPECT_NE(shown.back().find(why), std::string::npos) << shown.back();
    EXPECT_TRUE(std::filesystem::is_empty(Root() + "/aus")) << why;
    ExpectAllAnswered();
    ClearShown();
  };
  std::ofstream(registry) << "kaputt\n";
  export_told("Zeile 1");
  std::filesystem::remove(registry);
  std::filesystem::create_directory(registry);
  export_told("Ordner");
}

TEST_F(HookTest, CorrectHauptfotoCopiesAndAlwaysAnswersFalse) {
  SelectBuild(Build::kVD1TransAction);
  char buffer[16] = {};
  EXPECT_EQ(CorrectHauptfoto(Ptr("FALSCH"), Ptr(buffer), sizeof buffer), kHookFalse);
  EXPECT_STREQ(buffer, "FALSCH");
}

TEST_F(HookTest, PlantListStatusMarkIsClearedOnlyForPlantLists) {
  SelectBuild(Build::kVD1TransAction2010);
  const int32_t plant = MakeObject("PFL", "PFL-1");
  const int32_t other = MakeObject("BIO", "BIO-1");
  char16_t buffer[8] = {};
  for (int32_t id : {other, plant}) {
    host().Activate(id);
    host().AppendRow("Pflanzenliste");
    host().EnterValue("Pflanzenliste", "Status", " e ");
    host().PostRow("Pflanzenliste");
    EXPECT_EQ(DeletePflanzenStatus(Ptr(u"x"), Ptr(buffer), 8), kHookTrue);
    EXPECT_EQ(std::u16string(buffer), u"x");
  }
  host().Activate(other);
  EXPECT_EQ(host().Value("Pflanzenliste", "Status").value_or(""), " e ");
  host().Activate(plant);
  EXPECT_EQ(host().Value("Pflanzenliste", "Status").value_or("<null>"), "");

  host().EnterValue("Pflanzenliste", "Status", "E");
  DeletePflanzenStatus(Ptr(u"x"), Ptr(buffer), 8);
  EXPECT_EQ(host().Value("Pflanzenliste", "Status").value_or(""), "E") << "upper case stays";
}

// A build run by a KARTUL that lacks a host function it calls: the work
// that needs the function stops with the message naming it, the hook
// answers, and the other builds' work on that host goes on.
TEST_F(HookTest, AnExportOnAHostWithoutTheNewerXmlExportStopsWithTheFunctionNamed) {
  namespace fs = std::filesystem;
  EnsureTableFotos();
  EnsureSubDirFotos();
  CreateTransactionTables();
  AddTransaction(7, "Ruhraue");
  AddRow(7, MakeObject("FFH", "DE-1"), 1, "DE-1", "UPDATE");
  const std::string out = Root() + "/out/";
  fs::create_directories(out);
  const host::testing::HostWithout earlier_host({"ktExportDataXMLEx"});

  SelectBuild(Build::kVD1TransAction2010);
  Answer("message Yes\nfile \"" + out + "paket\"\nmessage OK");
  EXPECT_EQ(VD1CustomExport(0, 0, 0), kHookFalse);
  std::vector<std::string> shown = Messages();
  ASSERT_FALSE(shown.empty());
  EXPECT_NE(shown.back().find("KARTUL stellt die Funktion ktExportDataXMLEx nicht bereit"),
            std::string::npos)
      << shown.back();
  EXPECT_FALSE(fs::exists(out + "paket.tid")) << "no package told complete";
  EXPECT_FALSE(fs::exists(out + "paket_Export.tmp")) << "the staging folder is gone";

  // The earlier build exports with the older function, which that host has.
  SelectBuild(Build::kVD1TransAction);
  ClearShown();
  Answer("message Yes\nfile \"" + out + "paket\"");
  EXPECT_EQ(VD1CustomExport(0, 0, 0), kHookTrue);
  EXPECT_TRUE(fs::exists(out + "paket.tid"));
  EXPECT_TRUE(fs::exists(out + "paket.xml"));
  CloseFotoverwaltung();
  FreeControlForm();
  ExpectAllAnswered();
}

}  // namespace
