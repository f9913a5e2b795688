// The host model driven as a mapper and through the kt* functions, with the
// test plug-in answering the hooks and calling back into the host.
#include "hostsim/HostModel.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ui/Timer.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

struct TestPlugin {
  const char* (*log)();
  void (*reset)();
  void (*answer)(const char*, int16_t);
  void (*utf16)(int);
  void (*create_kennung)(const char*);
  void (*rename_in)(const char*, const char*, int);
  void (*library)(const char*);
  int32_t (*temp_id)();
  int (*timer_runs)();
};

template <class F>
void Load(void* handle, const char* name, F& fn) {
  fn = reinterpret_cast<F>(dlsym(handle, name));
  ASSERT_NE(fn, nullptr) << name;
}

class HostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string path = std::string(VANDRA_BINARY_DIR) + "/bin/kartul_testplugin.so";
    if (!TheHost().HasPlugin()) TheHost().LoadPlugin(path, "");
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    Load(h, "testplugin_log", tp.log);
    Load(h, "testplugin_reset", tp.reset);
    Load(h, "testplugin_answer", tp.answer);
    Load(h, "testplugin_utf16", tp.utf16);
    Load(h, "testplugin_create_kennung", tp.create_kennung);
    Load(h, "testplugin_rename_in", tp.rename_in);
    Load(h, "testplugin_library", tp.library);
    Load(h, "testplugin_temp_id", tp.temp_id);
    Load(h, "testplugin_timer_runs", tp.timer_runs);
  }

  void SetUp() override {
    char pattern[] = "/tmp/hostsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    project_ = dir_ + "/Projekt";
    host_.SetHookTable(*HookTable::ForBuild("VD1TransAction2010"));
    host_.SetUtf16HookTexts(true);
    host_.UseVirtualClock(true);
    host_.SetNoteSink([this](const std::string& n) { notes_.push_back(n); });
    Host::CreateProject(project_);
    host_.OpenProject(project_);
    tp.reset();
    tp.utf16(1);
    tp.library("kartul_testplugin.dll");
    host_.ClearHookLog();
  }

  void TearDown() override {
    host_.CloseProject();
    for (uint32_t id = 1; id < 1000 && host_.TimerCount(); ++id) host_.KillTimer(id);
    host_.SetNoteSink(nullptr);
    fs::remove_all(dir_);
  }

  std::vector<std::string> Calls() const {
    std::vector<std::string> names;
    for (const auto& c : host_.HookLog()) names.push_back(c.export_name);
    return names;
  }
  std::string Log() const { return tp.log(); }
  int32_t Area(const std::string& kennung = "") {
    return host_.CreateObject(1001, ktFlaeche, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, kennung);
  }

  static TestPlugin tp;
  Host& host_ = TheHost();
  std::string dir_, project_;
  std::vector<std::string> notes_;
};

TestPlugin HostTest::tp;

TEST_F(HostTest, CreationAsksTheHookWithTheProposalAndReportsTheNewId) {
  int32_t id = Area();
  ASSERT_GT(id, 0);
  EXPECT_EQ(host_.FindObject(id)->kennung, "NSG-1");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"BeforeCreateObject", "InsertInTransActionList",
                                               "AfterKARTULCommand"}));
  EXPECT_EQ(Log(), "BeforeCreateObject 1001 NSG-1 50 3\nInsertInTransActionList 1057 " +
                       std::to_string(id) + " 0\nAfterKARTULCommand 1057 " + std::to_string(id) +
                       " 0\n");
  EXPECT_EQ(host_.ActiveObject(), id);
  EXPECT_EQ(host_.Value("linfos", "KENNUNG"), "NSG-1");
}

TEST_F(HostTest, FalseFromBeforeCreateObjectCancels) {
  tp.answer("BeforeCreateObject", 0);
  EXPECT_EQ(Area(), 0);
  EXPECT_TRUE(host_.ObjectIds().empty());
  EXPECT_EQ(Calls(), (std::vector<std::string>{"BeforeCreateObject", "AfterKARTULCommand"}));
}

TEST_F(HostTest, SettledIdentifierIsTakenAndAnUnusableOneCancels) {
  tp.create_kennung("NSG-4711");
  int32_t id = Area();
  EXPECT_EQ(host_.FindObject(id)->kennung, "NSG-4711");
  EXPECT_EQ(Area(), 0);  // the same identifier again
  EXPECT_EQ(host_.ObjectIds().size(), 1u);
  ASSERT_FALSE(notes_.empty());
  EXPECT_NE(notes_.back().find("already exists"), std::string::npos);
}

TEST_F(HostTest, IdsArePositiveAndNeverReusedAcrossReopen) {
  int32_t a = Area(), b = Area();
  host_.DeleteObject(b);
  host_.CloseProject();
  host_.OpenProject(project_);
  int32_t c = Area();
  EXPECT_GT(a, 0);
  EXPECT_GT(c, b);
  EXPECT_EQ(host_.FindObject(a)->kennung, "NSG-1");
  EXPECT_EQ(host_.FindObject(c)->kennung, "NSG-2");  // identifiers may come again, ids not
}

TEST_F(HostTest, DuplicateIdentifierFromTheMapperIsRefusedBeforeAnyHook) {
  Area("NSG-1");
  host_.ClearHookLog();
  EXPECT_THROW(Area("NSG-1"), HostError);
  EXPECT_THROW(host_.RenameObject(host_.IdOf("NSG-1"), ""), HostError);
  EXPECT_THROW(host_.RenameObject(host_.IdOf("NSG-1"), std::string(51, 'x')), HostError);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(HostTest, IdentifiersOutsideWindows1252AreRefusedAtCreateAndRename) {
  int32_t id = Area("NSG-1");
  host_.ClearHookLog();
  // A CJK character, an emoji and a lone continuation byte: none has a
  // Windows-1252 code, and none may reach a plug-in as "?".
  for (const std::string& bad :
       {std::string("NSG-\u4E2D"), std::string("NSG-\U0001F33F"), std::string("NSG-\x80")}) {
    try {
      Area(bad);
      ADD_FAILURE() << "created " << bad;
    } catch (const HostError& e) {
      EXPECT_NE(std::string(e.what()).find("cannot be used"), std::string::npos) << e.what();
    }
    EXPECT_THROW(host_.RenameObject(id, bad), HostError) << bad;
  }
  EXPECT_TRUE(Calls().empty()) << "refused before any hook";
  EXPECT_EQ(host_.ObjectIds().size(), 1u);
  EXPECT_EQ(host_.FindObject(id)->kennung, "NSG-1");
  // What the code page holds passes, umlauts and the euro sign included.
  EXPECT_TRUE(host_.RenameObject(id, "NSG-Grünau-€"));
  char buffer[64] = {};
  TKTObjectData data{};
  data.Id = id;
  data.Kennung = buffer;
  ASSERT_NE(ktGetObjectData(&data), 0);
  EXPECT_STREQ(buffer, "NSG-Gr\xFCnau-\x80");
}

TEST_F(HostTest, SetKennungFiresThePairingHookBeforeAndAfter) {
  int32_t id = Area();
  host_.ClearHookLog();
  EXPECT_NE(ktSetKennung(id, "NSG-9"), 0);
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"UpdateKennungPreCorrection", "UpdateKennungPreCorrection"}));
  EXPECT_EQ(host_.FindObject(id)->kennung, "NSG-9");
  EXPECT_EQ(ktGetIDFromKennung("NSG-9"), id);
  EXPECT_EQ(ktKennungExists("NSG-1"), 0);
}

TEST_F(HostTest, SetKennungInsideTheAfterHookReentersAndStands) {
  int32_t id = Area("X-1");
  host_.ClearHookLog();
  // The plug-in's restore: in the second pairing call it sets the old
  // identifier back, which fires the pairing hook twice more, nested.
  tp.rename_in("UpdateKennungPreCorrection", "X-1", 1);
  EXPECT_TRUE(host_.RenameObject(id, "X-2"));
  std::vector<int> depths;
  for (const auto& c : host_.HookLog()) depths.push_back(c.depth);
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"UpdateKennungPreCorrection", "UpdateKennungPreCorrection",
                                      "UpdateKennungPreCorrection", "UpdateKennungPreCorrection",
                                      "AfterKARTULCommand"}));
  EXPECT_EQ(depths, (std::vector<int>{0, 0, 1, 1, 0}));
  EXPECT_NE(Log().find("ktSetKennung -> -1"), std::string::npos);
  EXPECT_EQ(host_.FindObject(id)->kennung, "X-1");
  host_.CloseProject();
  host_.OpenProject(project_);
  EXPECT_EQ(host_.IdOf("X-1"), id);
  EXPECT_EQ(host_.IdOf("X-2"), 0);
}

TEST_F(HostTest, SetKennungInsideTheBeforeHookIsOverriddenByTheOuterChange) {
  int32_t id = Area("X-1");
  tp.rename_in("UpdateKennungPreCorrection", "X-3", 0);
  host_.RenameObject(id, "X-2");
  EXPECT_EQ(host_.FindObject(id)->kennung, "X-2");
  EXPECT_EQ(host_.IdOf("X-3"), 0);
}

TEST_F(HostTest, FalseBeforeTheChangeVetoesIt) {
  int32_t id = Area("X-1");
  host_.ClearHookLog();
  tp.answer("UpdateKennungPreCorrection", 0);
  EXPECT_FALSE(host_.RenameObject(id, "X-2"));
  EXPECT_EQ(host_.FindObject(id)->kennung, "X-1");
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"UpdateKennungPreCorrection", "AfterKARTULCommand"}));
}

TEST_F(HostTest, IterateObjectsCallsTheExportOncePerSelectedObject) {
  int32_t a = Area("A"), b = Area("B"), c = Area("C");
  host_.Select(c);
  host_.Select(a);
  host_.ClearHookLog();
  EXPECT_TRUE(host_.RunMenuCommand("AssignToTransaction"));
  std::string log = Log();
  EXPECT_NE(log.find("CreateListToAssign " + std::to_string(c) + " C 1001\nCreateListToAssign " +
                     std::to_string(a) + " A 1001\nktIterateObjects -> -1"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("CreateListToAssign " + std::to_string(b)), std::string::npos);
}

TEST_F(HostTest, IterateObjectsStopsOnFalseAndKnowsOnlyTheLoadedLibrary) {
  host_.Select(Area("A"));
  int32_t b = Area("B");
  host_.Select(b);
  tp.answer("CreateListToAssign", 0);
  host_.RunMenuCommand("AssignToTransaction");
  EXPECT_NE(Log().find("CreateListToAssign"), std::string::npos);
  EXPECT_EQ(Log().find("CreateListToAssign " + std::to_string(b)), std::string::npos);
  EXPECT_EQ(ktIterateObjects(0, "VD1TransAction2010.dll", "CreateListToAssign"), 0);
  EXPECT_EQ(ktIterateObjects(0, "kartul_testplugin.so", "NoSuchExport"), 0);
  EXPECT_NE(
      ktIterateObjects(0, "C:\\Programme\\KARTUL\\kartul_testplugin.DLL", "CreateListToAssign"), 0);
}

TEST_F(HostTest, IterateObjectsSurvivesRenamesInsideTheCallback) {
  int32_t a = Area("A"), b = Area("B");
  host_.Select(a);
  host_.Select(b);
  tp.rename_in("CreateListToAssign", "A-neu", 0);
  EXPECT_NE(ktIterateObjects(0, "kartul_testplugin.dll", "CreateListToAssign"), 0);
  EXPECT_EQ(host_.FindObject(a)->kennung, "A-neu");
  EXPECT_NE(Log().find("CreateListToAssign " + std::to_string(b) + " B"), std::string::npos);
}

TEST_F(HostTest, PlacingCreatesThroughTheHooksAndTheTimerFinishes) {
  int32_t owner = Area("A");
  EXPECT_TRUE(host_.RunMenuCommand("ProcessFoto"));
  EXPECT_EQ(host_.CreationState(), Creation::kPlacing);
  EXPECT_EQ(host_.PlacingKennung(), "TempObj1");
  host_.ClearHookLog();
  int32_t temp = host_.Place({{3, 4}});
  ASSERT_GT(temp, 0);
  EXPECT_EQ(host_.FindObject(temp)->kennung, "TempObj1");
  EXPECT_EQ(host_.FindObject(temp)->typ, ktSinglePoint);
  EXPECT_EQ(tp.temp_id(), temp);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"BeforeCreateObject", "InsertInTransActionList",
                                               "AfterKARTULCommand"}));
  EXPECT_EQ(host_.HookLog()[1].arguments, "1058, " + std::to_string(temp) + ", 0");
  EXPECT_EQ(host_.HookLog()[2].arguments, "1058, " + std::to_string(temp) + ", 1");
  EXPECT_EQ(host_.CreationState(), Creation::kPlaced);
  host_.AdvanceClock(std::chrono::milliseconds(25));
  EXPECT_NE(Log().find("timer: placed at 3.000000 4.000000"), std::string::npos) << Log();
  EXPECT_EQ(host_.CreationState(), Creation::kIdle);
  EXPECT_EQ(host_.TimerCount(), 0u);
  (void)owner;
}

TEST_F(HostTest, AbandoningReportsCommand1058WithWord7) {
  Area("A");
  host_.RunMenuCommand("ProcessFoto");
  host_.ClearHookLog();
  host_.Abandon();
  ASSERT_EQ(host_.HookLog().size(), 1u);
  EXPECT_EQ(host_.HookLog()[0].export_name, "AfterKARTULCommand");
  EXPECT_EQ(host_.HookLog()[0].arguments, "1058, 0, 7");
  EXPECT_EQ(tp.temp_id(), -1);
  host_.AdvanceClock(std::chrono::milliseconds(10));
  EXPECT_NE(Log().find("timer: placing abandoned"), std::string::npos);
  EXPECT_EQ(host_.CreationState(), Creation::kIdle);
  EXPECT_THROW(host_.Abandon(), HostError);
  EXPECT_THROW(host_.Place({{1, 1}}), HostError);
}

TEST_F(HostTest, RefusedPlacementEndsThePlacingAsAbandoned) {
  Area("A");
  host_.RunMenuCommand("ProcessFoto");
  tp.answer("BeforeCreateObject", 0);
  EXPECT_EQ(host_.Place({{1, 1}}), 0);
  EXPECT_EQ(host_.CreationState(), Creation::kIdle);
  EXPECT_EQ(host_.HookLog().back().arguments, "1058, 0, 7");
  EXPECT_THROW(host_.Place({{1, 1}, {2, 2}}), HostError);  // nothing to place any more
}

TEST_F(HostTest, TablePostsCarryTableNameAndEventCode) {
  int32_t id = Area("A");
  host_.Activate(id);
  host_.AppendRow("Objektphotos");
  host_.EnterValue("Objektphotos", "PhotoID", "17");
  host_.PostRow("Objektphotos");
  host_.EnterValue("Objektphotos", "Bemerkung", "Eiche");
  host_.PostRow("Objektphotos");
  host_.DeleteRow("Objektphotos");
  std::string log = Log();
  EXPECT_NE(log.find("OnTablePost Daten Objektphotos 2 17"), std::string::npos) << log;
  EXPECT_NE(log.find("OnTablePost Daten Objektphotos 1 17"), std::string::npos) << log;
  // Code 0 comes while the going row is still current.
  EXPECT_NE(log.find("OnTablePost Daten Objektphotos 0 17"), std::string::npos) << log;
  EXPECT_EQ(host_.RowCount("Objektphotos"), 0);
  EXPECT_TRUE(host_.RowEof("Objektphotos"));
}

TEST_F(HostTest, TablePostTextsInAnsiForTheEarlierBuilds) {
  host_.SetUtf16HookTexts(false);
  tp.utf16(0);
  host_.Activate(Area("A"));
  host_.EnterValue("linfos", "NAME", "Bruch");
  host_.PostRow("linfos");
  EXPECT_NE(Log().find("OnTablePost Daten linfos 1 -"), std::string::npos) << Log();
}

TEST_F(HostTest, FieldHooksDecideTheValueTheFieldTakes) {
  int32_t id = host_.CreateObject(7660160, ktSinglePoint, {{1, 1}});
  host_.Activate(id);
  host_.AppendRow("Pflanzenliste");
  host_.EnterValue("Pflanzenliste", "Status", "e");
  EXPECT_EQ(host_.Value("Pflanzenliste", "Status"), "e!");
  host_.AppendRow("Objektphotos");
  host_.EnterValue("Objektphotos", "Hauptphoto", "WAHR");
  EXPECT_EQ(host_.Value("Objektphotos", "Hauptphoto"), "WAHR");
  EXPECT_NE(Log().find("CorrectHauptfoto WAHR 256"), std::string::npos);
  EXPECT_NE(Log().find("DeletePflanzenStatus e 256"), std::string::npos);
  EXPECT_THROW(host_.EnterValue("Objektphotos", "PhotoID", "zwölf"), HostError);
  EXPECT_THROW(host_.EnterValue("Objektphotos", "PKEY", "1"), HostError);
  EXPECT_THROW(host_.EnterValue("linfos", "KENNUNG", "x"), HostError);
  EXPECT_THROW(host_.EnterValue("Fotos", "x", "1"), HostError);
}

TEST_F(HostTest, RowsFollowTheActiveObjectAndUnsavedEditsArePostedOnLeaving) {
  int32_t a = Area("A"), b = Area("B");
  host_.Activate(a);
  host_.EnterValue("linfos", "NAME", "erstes");
  host_.ClearHookLog();
  host_.Activate(b);  // leaves a's row: saved first
  EXPECT_EQ(Calls().front(), "OnTablePost");
  EXPECT_EQ(host_.Value("linfos", "NAME"), std::nullopt);
  host_.Activate(a);
  EXPECT_EQ(host_.Value("linfos", "NAME"), "erstes");
  EXPECT_EQ(host_.StoredRows("linfos").size(), 2u);
}

TEST_F(HostTest, RowWalkThroughTheApiKeepsTheLastRowAtEof) {
  host_.Activate(Area("A"));
  for (const char* id : {"1", "2", "3"}) {
    ASSERT_NE(ktAppendRecord("Objektphotos"), 0);
    ASSERT_NE(ktSetValueByName("Objektphotos", "PhotoID", id), 0);
  }
  ASSERT_NE(ktPostRecord("Objektphotos"), 0);
  EXPECT_EQ(ktPostRecord("Objektphotos"), 0);  // nothing pending
  std::string seen;
  char buf[16];
  for (ktTableFirst("Objektphotos"); !ktTableEOF("Objektphotos"); ktTableNext("Objektphotos")) {
    ASSERT_NE(ktGetValueByName("Objektphotos", "PhotoID", buf, sizeof buf), 0);
    seen += buf;
  }
  EXPECT_EQ(seen, "123");
  ASSERT_NE(ktGetValueByName("Objektphotos", "PhotoID", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "3");
  // Setting a field and moving on saves the row, as leaving a record does.
  ktTableFirst("Objektphotos");
  ktSetValueByName("Objektphotos", "Hauptphoto", "FALSCH");
  ktTableNext("Objektphotos");
  EXPECT_EQ(host_.StoredRows("Objektphotos")[0]["Hauptphoto"], "FALSCH");
  EXPECT_EQ(ktGetValueByName("Objektphotos", "Hauptphoto", buf, sizeof buf), 0);  // null
  EXPECT_EQ(ktSetValueByName("Objektphotos", "PhotoID", "x"), 0);
  EXPECT_EQ(ktSetValueByName("Objektphotos", "Nix", "1"), 0);
  EXPECT_EQ(ktAppendRecord("linfos"), 0);
}

TEST_F(HostTest, ValueBuffersAndPathsRespectTheirSizes) {
  host_.Activate(Area("A"));
  ktSetValueByName("linfos", "NAME",
                   "Gro\xDF"
                   "es Moor");  // ANSI at the boundary
  EXPECT_EQ(host_.Value("linfos", "NAME"), "Großes Moor");
  char small[5];
  ASSERT_NE(ktGetValueByName("linfos", "NAME", small, sizeof small), 0);
  EXPECT_STREQ(small, "Gro\xDF");
  char path[255];
  ASSERT_NE(ktGetProjectDir(path, sizeof path), 0);
  EXPECT_EQ(std::string(path), host_.ProjectDir());
  EXPECT_EQ(ktGetProjectDir(path, 3), 0);
  ASSERT_NE(ktGetVerfahrenDB(path, sizeof path), 0);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(ktGetValueByName("linfos", "NAME", small, 0), 0);
}

TEST_F(HostTest, TableRefreshReadsWhatOthersWroteAndStaysOnItsRow) {
  int32_t id = Area("A");
  host_.Activate(id);
  for (const char* photo : {"1", "2"}) {
    ASSERT_NE(ktAppendRecord("Objektphotos"), 0);
    ASSERT_NE(ktSetValueByName("Objektphotos", "PhotoID", photo), 0);
  }
  ASSERT_NE(ktPostRecord("Objektphotos"), 0);
  ktTableFirst("Objektphotos");
  ktTableNext("Objektphotos");
  ASSERT_EQ(host_.Value("Objektphotos", "PhotoID"), "2");
  // The plug-in's own connection takes the first row away and adds one.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(host_.ProjectDB().c_str(), &db), SQLITE_OK);
  std::string sql =
      "DELETE FROM Objektphotos WHERE PhotoID=1; INSERT INTO Objektphotos "
      "(KARTULID, PhotoID) VALUES (" +
      std::to_string(id) + ", 3)";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  ASSERT_NE(ktTableRefresh("Objektphotos"), 0);
  EXPECT_EQ(host_.RowCount("Objektphotos"), 2);
  EXPECT_EQ(host_.Value("Objektphotos", "PhotoID"), "2");
  ktTableNext("Objektphotos");
  EXPECT_EQ(host_.Value("Objektphotos", "PhotoID"), "3");
  EXPECT_EQ(ktTableRefresh("Fotos"), 0);
}

TEST_F(HostTest, RefusedApiCallsAnswerFalseWithANoteNamingTheCall) {
  host_.Activate(Area("A"));
  notes_.clear();
  EXPECT_EQ(ktCreateObjectStart(4242, ktFlaeche, "X"), 0);
  EXPECT_EQ(ktCreateObjectStart(1001, ktGrid, "X"), 0);
  EXPECT_EQ(host_.CreationState(), Creation::kIdle);
  EXPECT_EQ(ktCreateObjectFinish(), 0);  // nothing is being placed
  EXPECT_EQ(ktSetValueByName("linfos", "Nix", "1"), 0);
  EXPECT_EQ(ktSetValueByName("linfos", "GESCHUETZT", "vielleicht"), 0);
  EXPECT_EQ(ktExportGeodaten((dir_ + "/x").c_str(), 7, -1, 0), 0);
  const std::string long_path = dir_ + "/" + std::string(256 - dir_.size(), 'x') + ".shp";
  EXPECT_EQ(ktExportGeodaten(long_path.c_str(), 10, -1, 0), 0);
  EXPECT_FALSE(fs::exists(long_path));
  EXPECT_EQ(notes_, (std::vector<std::string>{
                        "ktCreateObjectStart: no object class 4242",
                        "ktCreateObjectStart: draw type 7 creates no object",
                        "ktSetValueByName: table linfos has no field Nix",
                        "ktSetValueByName: \"vielleicht\" is no truth value for GESCHUETZT",
                        "ktExportGeodaten: only mode 10 (shapefile) is known",
                        "ktExportGeodaten: the path is longer than 255 characters"}));
  // Without a project there is nothing to refuse: no notes.
  host_.CloseProject();
  notes_.clear();
  EXPECT_EQ(ktCreateObjectStart(1001, ktFlaeche, "X"), 0);
  EXPECT_NE(ktDeselectAll(), 0);
  EXPECT_EQ(ktSetValueByName("linfos", "NAME", "x"), 0);
  EXPECT_TRUE(notes_.empty()) << notes_.front();
}

TEST_F(HostTest, FileNamesAndTextsOfTheExchangeCallsAreConverted) {
  host_.Activate(Area("A"));
  host_.EnterValue("linfos", "GESCHUETZT", "WAHR");
  host_.PostRow("linfos");
  std::u16string file(dir_.begin(), dir_.end());
  file += u"/daten-\u00E4.xml";
  ASSERT_NE(ktExportDataXMLEx(file.c_str(), -1, 0, u"j\u00E4", u"nein"), 0);
  std::ifstream in(dir_ + "/daten-ä.xml");
  std::stringstream xml;
  xml << in.rdbuf();
  EXPECT_NE(xml.str().find("Wahr=\"jä\" Falsch=\"nein\""), std::string::npos) << xml.str();
  EXPECT_NE(xml.str().find("<Feld Name=\"GESCHUETZT\">jä</Feld>"), std::string::npos);
  std::string ansi = dir_ + "/geo-\xE4";
  ASSERT_NE(ktExportGeodaten(ansi.c_str(), 10, -1, 0), 0);
  EXPECT_TRUE(fs::exists(dir_ + "/geo-ä.shp"));
  host_.DeleteObject(host_.IdOf("A"));
  ASSERT_NE(ktImportDataXML((dir_ + "/daten-\xE4.xml").c_str(), -1), 0);
  EXPECT_GT(host_.IdOf("A"), 0);
}

TEST_F(HostTest, ObjectAndClassData) {
  int32_t id = Area("NSG-Groß");
  char kennung[129];
  TKTObjectData data{};
  data.Id = id;
  data.Kennung = kennung;
  ASSERT_NE(ktGetObjectData(&data), 0);
  EXPECT_STREQ(kennung, "NSG-Gro\xDF");
  EXPECT_EQ(data.Klasse, 1001);
  EXPECT_EQ(data.Typ, ktFlaeche);
  data.Id = 999;
  EXPECT_EQ(ktGetObjectData(&data), 0);
  char short_name[255], long_name[256];
  TObjectClassData cd{1006, short_name, long_name, 0};
  ASSERT_NE(ktGetObjectClassData(&cd), 0);
  EXPECT_STREQ(short_name, "OEK");
  EXPECT_STREQ(long_name,
               "\xD6kokontofl\xE4"
               "che");
  EXPECT_EQ(ktGetClassOf(id), 1001);
  EXPECT_EQ(ktSetObjectClass(4242), 0);
  EXPECT_NE(ktSetObjectClass(1004), 0);
  EXPECT_EQ(ktGetObjectClass(), 1004);
  EXPECT_DOUBLE_EQ(ktGetObjectArea(id), 100);
  EXPECT_DOUBLE_EQ(ktGetObjectRWert(id), 5);
}

TEST_F(HostTest, GeometryChangeCanBeVetoed) {
  int32_t id = Area("A");
  tp.answer("CheckStatus", 0);
  EXPECT_FALSE(host_.MoveVertex(id, 0, {-5, -5}));
  EXPECT_EQ(host_.FindObject(id)->geometry[0], (Point{0, 0}));
  tp.answer("CheckStatus", -1);
  host_.ClearHookLog();
  EXPECT_TRUE(host_.MoveVertex(id, 0, {-5, -5}));
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"CheckStatus", "GeometryChanged", "AfterKARTULCommand"}));
  EXPECT_EQ(host_.HookLog()[0].arguments, "0, " + std::to_string(id) + ", 0");
  EXPECT_THROW(host_.MoveVertex(id, 9, {0, 0}), HostError);
}

TEST_F(HostTest, SelectionAndUpdateStateAsTheApiLeavesIt) {
  int32_t a = Area("A");
  EXPECT_NE(ktAddToSelection(a), 0);
  EXPECT_NE(ktAddToSelection(a), 0);
  EXPECT_EQ(ktAddToSelection(12345), 0);
  EXPECT_EQ(ktGetNrOfSelectedGeoObjects(), 1);
  ktBeginUpdate();
  ktDeselectAll();
  EXPECT_EQ(host_.UpdateDepth(), 1);
  ktEndUpdate();
  EXPECT_EQ(ktEndUpdate(), 0);
  const int redraws = host_.RedrawCount();
  ktRedraw();
  EXPECT_EQ(host_.RedrawCount(), redraws + 1);
  ktActivateData();
  EXPECT_EQ(host_.CurrentView(), View::kData);
  ktDisableControls("Objektphotos");
  EXPECT_EQ(host_.ControlsDisabled("Objektphotos"), 1);
  EXPECT_NE(ktEnableControls("Objektphotos"), 0);
  EXPECT_EQ(ktEnableControls("Objektphotos"), 0);
}

TEST_F(HostTest, DeletingThroughTheApiFiresTheHookAndDropsState) {
  int32_t a = Area("A");
  host_.Select(a);
  host_.ClearHookLog();
  EXPECT_NE(ktDeleteObject(a), 0);
  EXPECT_EQ(Calls(), std::vector<std::string>{"DeleteFromTransActionList"});
  EXPECT_EQ(host_.ActiveObject(), 0);
  EXPECT_TRUE(host_.Selection().empty());
  EXPECT_EQ(ktDeleteObject(a), 0);
}

TEST_F(HostTest, AHookThatThrowsIsAnsweredFalseAndKeptAsAFailureNotANote) {
  EXPECT_FALSE(host_.RunMenuCommand("Throw"));
  EXPECT_TRUE(notes_.empty()) << notes_.front();
  ASSERT_FALSE(host_.HookLog().empty());
  EXPECT_EQ(host_.HookLog()[0].export_name, "Throw");
  EXPECT_TRUE(host_.HookLog()[0].done);
  EXPECT_FALSE(host_.HookLog()[0].answer.has_value());
  EXPECT_EQ(host_.TakeHookFailure(), "the hook Throw raised an error: thrown by the test plug-in");
  EXPECT_EQ(host_.TakeHookFailure(), std::nullopt) << "taken once";
  // The host goes on; a hook that throws at an event vetoes it.
  EXPECT_GT(Area("A"), 0);
  host_.Bind(HookEvent::kBeforeCreateObject, "Throw");
  EXPECT_EQ(Area("B"), 0);
  EXPECT_FALSE(host_.RunMenuCommand("Throw"));
  EXPECT_EQ(host_.TakeHookFailure(),
            "the hook Throw raised an error: thrown by the test plug-in (and 1 more hook error "
            "after it)");
  EXPECT_EQ(host_.IdOf("B"), 0);
  host_.Bind(HookEvent::kBeforeCreateObject, "BeforeCreateObject");
}

TEST_F(HostTest, NoErrorLeavesAKtFunctionEvenWhenItsNoteCannotBeMade) {
  host_.SetNoteSink([](const std::string&) { throw std::runtime_error("no room for notes"); });
  // Each of these leaves a note on the way to its failure answer.
  EXPECT_EQ(ktEndUpdate(), 0);
  EXPECT_EQ(ktSetKennung(4711, "X"), 0);
  EXPECT_EQ(ktIterateObjects(0, "Anderes.dll", "CreateListToAssign"), 0);
  EXPECT_EQ(ktImportGeodaten("x", 3, 0), 0);
  host_.SetNoteSink([this](const std::string& n) { notes_.push_back(n); });
  EXPECT_EQ(ktEndUpdate(), 0);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], "ktEndUpdate without ktBeginUpdate");
}

TEST_F(HostTest, TimerEntryPointsAnswerZeroForATimerThatCannotBeSet) {
  using SetFn = uint32_t (*)(uint32_t, KartulSimTimerProc, void*);
  using KillFn = void (*)(uint32_t);
  auto set = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "kartulsim_set_timer"));
  auto kill = reinterpret_cast<KillFn>(dlsym(RTLD_DEFAULT, "kartulsim_kill_timer"));
  ASSERT_NE(set, nullptr);
  ASSERT_NE(kill, nullptr);
  EXPECT_EQ(set(10, nullptr, nullptr), 0u);
  uint32_t id = set(
      10, [](void*) {}, nullptr);
  EXPECT_GT(id, 0u);
  EXPECT_EQ(host_.TimerCount(), 1u);
  kill(id);
  kill(id);  // twice, and an id never given, change nothing
  kill(987654);
  EXPECT_EQ(host_.TimerCount(), 0u);
}

TEST_F(HostTest, MissingExportsAreRefusedWithoutChangingTheTable) {
  EXPECT_THROW(host_.Bind(HookEvent::kObjectEdited, "NoSuchHook"), HostError);
  EXPECT_EQ(host_.Hooks().ExportFor(HookEvent::kObjectEdited), "AfterEditObject");
  EXPECT_THROW(host_.RunMenuCommand("NoSuchCommand"), HostError);
  EXPECT_THROW(host_.LoadPlugin("TransactHooks", dir_), HostError);  // one plug-in per host
  host_.Bind(HookEvent::kObjectEdited, "");
  int32_t id = Area("A");
  host_.ClearHookLog();
  host_.ChangeClass(id, 1009);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"AfterKARTULCommand"}));
}

TEST_F(HostTest, ProjectLoadAndCloseFireTheirHooksInOrder) {
  host_.CloseProject();
  EXPECT_EQ(Calls(), (std::vector<std::string>{"BeforeCloseProject", "AfterCloseProject",
                                               "AfterKARTULCommand"}));
  char buf[255];
  EXPECT_EQ(ktGetProjectDir(buf, sizeof buf), 0);
  host_.ClearHookLog();
  host_.OpenProject(project_);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"BeforeLoadProject", "AfterLoadProject",
                                               "AfterKARTULCommand"}));
  EXPECT_THROW(host_.OpenProject(dir_ + "/nowhere"), HostError);
  EXPECT_TRUE(host_.HasProject());  // a failed load leaves the open project alone
  EXPECT_THROW(Host::CreateProject(project_), HostError);
}

TEST_F(HostTest, ACrashingHookLeavesTheProjectDatabaseWhole) {
  int32_t before = Area("A");
  host_.Activate(before);
  host_.EnterValue("linfos", "NAME", "gesichert");
  host_.PostRow("linfos");
  host_.Bind(HookEvent::kObjectCreated, "Crash");
  EXPECT_DEATH(Area("B"), "");
  host_.Bind(HookEvent::kObjectCreated, "InsertInTransActionList");
  host_.CloseProject();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((project_ + "/KTProjekt.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok");
  sqlite3_finalize(s);
  sqlite3_close(db);
  host_.OpenProject(project_);
  // The object stored before the crashing hook was called stands, with its row.
  EXPECT_GT(host_.IdOf("B"), 0);
  host_.Activate(before);
  EXPECT_EQ(host_.Value("linfos", "NAME"), "gesichert");
}

TEST_F(HostTest, TimersRunWhenDueAndStopWhenKilled) {
  static int runs;
  runs = 0;
  uint32_t id = kartulsim_set_timer(
      30, [](void*) { ++runs; }, nullptr);
  ASSERT_GT(id, 0u);
  host_.AdvanceClock(std::chrono::milliseconds(29));
  EXPECT_EQ(runs, 0);
  host_.AdvanceClock(std::chrono::milliseconds(100));
  EXPECT_EQ(runs, 4);
  kartulsim_kill_timer(id);
  host_.AdvanceClock(std::chrono::milliseconds(100));
  EXPECT_EQ(runs, 4);
  EXPECT_EQ(kartulsim_set_timer(10, nullptr, nullptr), 0u);
  // A timer that kills itself runs once.
  static uint32_t self;
  self = kartulsim_set_timer(
      5,
      [](void*) {
        kartulsim_kill_timer(self);
        ++runs;
      },
      nullptr);
  host_.AdvanceClock(std::chrono::milliseconds(50));
  EXPECT_EQ(runs, 5);
}

}  // namespace
}  // namespace hostsim
