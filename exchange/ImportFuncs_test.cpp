// The import run against a real project of the host stand-in: the merge
// rules, the checks made before anything changes, the question about local
// work and its three answers, what a failed step leaves behind (the host's
// objects with their links and plant lists included), the photo rules, and
// another process writing the tables meanwhile. Taking a cut import back is
// ImportUndo_test.cpp's.
#include "exchange/ImportFuncs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include <unistd.h>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"
#include "exchange/ImportJournal.h"
#include "exchange/ImportMerge.h"
#include "exchange/ObjectFiles.h"
#include "exchange/TestImportFixture.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/Path.h"
#include "tests/support/JpegWriter.h"
#include "transaction/TransActTools.h"

namespace {

namespace fs = std::filesystem;
using importtest::ImportTest;
using platform::db::Connection;
using platform::db::Query;

TEST(ImportRules, PrefixComesFromAnyPackageFile) {
  for (const char* name : {"abcdefkl.dbf", "abcdeft.dbf", "abcdef.tid", "ABCDEF.XML",
                           "/pfad/ABCDEFPC.DBF", "abcdef.log", "abcdefdf.dbf", "abcdefT.DBT"}) {
    EXPECT_EQ(ImportFuncs::getFilenamePrefix(name), "abcdef") << name;
  }
  EXPECT_EQ(ImportFuncs::getFilenamePrefix("abcdef_rp.txt"), "");
  EXPECT_EQ(ImportFuncs::getFilenamePrefix("readme"), "");
  EXPECT_EQ(ImportFuncs::getFilenamePrefix("kl.dbf"), "");
}

TEST(ImportRules, StatusRankingAndPhotoTexts) {
  // Existing status, then the imported statuses that replace it.
  const std::map<int, std::vector<int>> takes = {
      {1, {}}, {0, {1}}, {2, {0, 1}}, {3, {0, 1, 2}}, {-1, {0, 1, 2}}};
  for (const auto& [existing, replacing] : takes) {
    for (int imported = 0; imported <= 3; ++imported) {
      const bool expected =
          std::find(replacing.begin(), replacing.end(), imported) != replacing.end();
      EXPECT_EQ(ImportFuncs::IsHigherState(imported, existing), expected)
          << imported << " over " << existing;
    }
  }
  EXPECT_EQ(ImportFuncs::ConvertOemUmlauts("Stra\u00E1e \u201E\u017D\u201D\u2122\u0081\u0161"),
            "Straße äÄöÖüÜ");
  EXPECT_EQ(ImportFuncs::ConvertOemUmlauts("\u00E1\u00E1"), "ßß");
}

TEST_F(ImportTest, FirstImportFillsTablesHostAndCatalogue) {
  WritePackage();
  PickFile("abcdefkl.dbf");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 IGNORED DE-1", "DE-2 7 0 IGNORED DE-2"}));
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()), (std::vector<std::string>{"7 DE-8", "7 DE-9"}));
  const auto ids = testsupport::ReadDbf(ProjectDir() + "TA_ID.dbf");
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids[0].at("NAME"), "Ruhr'aue");
  EXPECT_EQ(ids[0].at("OWNER"), "O'Neill");
  EXPECT_GT(host::IdOfKennung("DE-1"), 0);
  EXPECT_GT(host::IdOfKennung("DE-2"), 0);
  EXPECT_EQ(Photos(), (std::vector<std::string>{"501 Gröne Wiese KTFOTO1.JPG 2"}));
  EXPECT_EQ(Get(ProjectDir() + "KTPhotos/KTFOTO1.JPG"), Get(photos_ + "/KTFOTO1.JPG"));
  EXPECT_FALSE(State().ImportRunning);
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ImportDir", ""), pkg_);
  // The journal and the import's folder go with a run that went through.
  EXPECT_FALSE(fs::exists(ImportJournal::FileIn(ProjectDir())));
  EXPECT_FALSE(fs::exists(ImportJournal::FolderIn(ProjectDir())));

  // Again, without local work: nothing new in TA_ID, the rows back to the
  // package's values, no question.
  ASSERT_TRUE(Import("abcdef.tid"));
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ReadDbf(ProjectDir() + "TA_ID.dbf").size(), 1u);
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
  EXPECT_EQ(Photos().size(), 1u);
}

// The re-import's merge compares what the package gave with what the host
// held after the load, and a local value with a package's: both rest on
// the host holding a loaded object in the form the package gave it, so that
// fingerprints of one value agree across the two.
TEST_F(ImportTest, ThePackagesPrintsAreTheHostsAfterTheLoad) {
  WritePackage();
  ASSERT_TRUE(Import("abcdef.tid"));
  const auto loaded = [](const std::string& K) { return K == "DE-1" || K == "DE-2"; };

  std::vector<std::string> layers;
  for (const std::string& path : ObjectFiles::LayersOf(pkg_ + "abcdef")) {
    const std::string name = platform::env::NameOf(path);
    layers.push_back(name.substr(0, name.size() - 4));
  }
  std::map<std::string, std::string> package_shapes, host_shapes;
  for (const auto& shape : HostSnapshot::GeometryPrints(pkg_, layers)) {
    package_shapes[shape.Kennung] = shape.geometry;
  }
  for (const auto& object : HostSnapshot::TakeSnapshot()) {
    if (loaded(object.Kennung)) host_shapes[object.Kennung] = object.geometry;
  }
  ASSERT_EQ(package_shapes.size(), 2u);
  EXPECT_EQ(package_shapes, host_shapes);

  // The host's own export leaves empty fields out where the package lists
  // them: a field a version lacks is the empty value there.
  const auto by_kennung = [](const std::vector<HostSnapshot::FieldPrints>& objects) {
    std::map<std::string, std::map<std::string, uint64_t>> out;
    for (const auto& object : objects) {
      auto& fields = out[object.Kennung];
      for (const auto& [name, print] : object.fields) {
        if (print != HostSnapshot::PrintOf("")) fields[name] = print;
      }
    }
    return out;
  };
  const auto package_fields =
      by_kennung(HostSnapshot::XmlFieldPrints(Get(pkg_ + "abcdef.xml"), "abcdef.xml", loaded));
  const auto host_fields = by_kennung(HostSnapshot::TakeSnapshot(loaded).fields);
  ASSERT_EQ(package_fields.size(), 2u);
  EXPECT_EQ(package_fields.at("DE-1").size(), 1u);  // NAME
  EXPECT_EQ(package_fields, host_fields);
}

// Each import records the objects it loads, as the package gave them and
// as the host held them; a later one replaces the entries of its objects
// and keeps the others.
TEST_F(ImportTest, EachImportRecordsTheBasesOfTheObjectsItLoads) {
  WritePackage("abcdef", {"DE-3"});
  ASSERT_TRUE(Import("abcdef.tid"));
  const std::string path = ProjectDir() + "TA_BASIS.dat";
  const auto read = [&] {
    std::map<std::string, std::map<std::string, std::pair<uint64_t, uint64_t>>> out;
    const auto record = ImportBases::Read(platform::env::Env::Current(), path);
    EXPECT_TRUE(record) << LastMessage();
    if (!record) return out;
    for (const auto& object : *record) {
      EXPECT_EQ(object.TID, 7) << object.Kennung;
      for (const auto& field : object.fields) {
        out[object.Kennung][field.name] = {field.package, field.host};
      }
    }
    return out;
  };
  const auto first = read();
  ASSERT_EQ(first.size(), 3u);
  const uint64_t name = HostSnapshot::PrintOf("Ruhraue");
  EXPECT_EQ(first.at("DE-1").at("NAME"), std::make_pair(name, name));
  // Every field the host held as the package gave it, the geometry too.
  for (const auto& [K, fields] : first) {
    for (const auto& [field, prints] : fields) {
      EXPECT_EQ(prints.first, prints.second) << K << " " << field;
    }
    EXPECT_TRUE(fields.count(ImportMerge::kGeometry)) << K;
    // Nothing empty on both sides is kept: no plant list, no empty field.
    EXPECT_FALSE(fields.count(ImportMerge::kPlants)) << K;
    for (const auto& [field, prints] : fields) {
      EXPECT_NE(prints.first, HostSnapshot::PrintOf("")) << K << " " << field;
    }
  }

  // The next issue without DE-3 and with DE-1 renamed by the centre.
  WritePackage();
  ASSERT_TRUE(Import("abcdef.tid"));
  const auto second = read();
  EXPECT_EQ(second.size(), 3u) << "DE-3 was not in this package: its entry stays";
  EXPECT_EQ(second.at("DE-3"), first.at("DE-3"));
}

TEST_F(ImportTest, PackageFromWindowsIsFoundInAnyLetterCase) {
  WritePackage("ABCDEF");
  PickFile("ABCDEF.XML");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()).size(), 2u);
  EXPECT_GT(host::IdOfKennung("DE-1"), 0);
  EXPECT_TRUE(fs::exists(ProjectDir() + "KTPhotos/KTFOTO1.JPG"));
}

TEST_F(ImportTest, RowsOfOtherTransactionsAreMergedByRankAndTheirObjectsStay) {
  WritePackage();
  CreateTransactionTables();
  AddTransaction(3, "Alt");
  // DE-1 is held for writing by transaction 3: its row and its object stay
  // as the project has them (not deleted, not loaded). DE-2 is new in 3 and
  // goes over to 7 with the package's status. DE-8 is pooled by 3 already.
  const int32_t one = MakeObject("FFH", "DE-1");
  host().Activate(one);
  host().EnterValue("linfos", "NAME", "lokal");
  host().PostRow("linfos");
  AddRow(3, 40, 1, "DE-1", "IGNORED");
  AddRow(3, 41, 2, "DE-2", "NEW", "DE-2");
  AddFree(3, "DE-8");
  AddFree(3, "DE-1");
  // DE-2 is new here: local work; the package's version is taken.
  ASSERT_TRUE(Import("abcdeft.dbf", "form TFormLokaleArbeit\nclick BtnUebernehmen"));
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 3 1 IGNORED DE-1", "DE-2 7 0 IGNORED DE-2"}));
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()), (std::vector<std::string>{"3 DE-8", "7 DE-9"}));
  EXPECT_EQ(host().IdOf("DE-1"), one);
  host().Activate(one);
  EXPECT_EQ(host().Value("linfos", "NAME"), "lokal");
}

TEST_F(ImportTest, MissingTidIsToldAndTheRestComesIn) {
  WritePackage();
  fs::remove(pkg_ + "abcdef.tid");
  PickFile("abcdef.xml");
  Answer("message OK \"Die Transaktions-ID wurde nicht korrekt übermittelt!\"");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
  EXPECT_TRUE(testsupport::ReadDbf(ProjectDir() + "TA_ID.dbf").empty());
}

TEST_F(ImportTest, DamagedPackagesLeaveEveryFileAndObjectAsItWas) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  const auto before = ProjectFiles();
  const std::string objects = HostObjects();
  const auto refused = [&](const std::string& what, const std::string& text) {
    PickFile("abcdef.tid");
    Answer("message OK \"Das Transaktionspaket wird nicht importiert:\\r" + text + "\"");
    EXPECT_FALSE(ImportFuncs::VD1CustomImportProc()) << what;
    ExpectAllAnswered();
    EXPECT_TRUE(ProjectFiles() == before) << what;
    EXPECT_EQ(HostObjects(), objects) << what;
    EXPECT_FALSE(State().ImportRunning);
    WritePackage();
  };

  const auto shp_size = fs::file_size(pkg_ + "abcdef.shp");
  fs::resize_file(pkg_ + "abcdef.shp", shp_size - 24);
  refused("a .shp cut short",
          "Die Datei " + pkg_ + "abcdef.shp ist unvollständig: ihr Kopf nennt " +
              std::to_string(shp_size) + " Bytes, sie hat " + std::to_string(shp_size - 24) + ".");

  fs::remove(pkg_ + "abcdef.shx");
  refused("no .shx", "Die Datei " + pkg_ + "abcdef.shx der Geodaten fehlt.");

  Put(pkg_ + "abcdef.xml", Get(pkg_ + "abcdef.xml").substr(0, 120));
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_NE(LastMessage().find("Die XML-Datei " + pkg_ + "abcdef.xml"), std::string::npos)
      << LastMessage();
  EXPECT_TRUE(ProjectFiles() == before);
  EXPECT_EQ(HostObjects(), objects);
  WritePackage();

  fs::remove(photos_ + "/KTFOTO1.JPG");
  fs::create_symlink(ProjectDir() + "KTProjekt.ktp", photos_ + "/KTFOTO1.JPG");
  refused("a link in _Fotos", "Im Transaktionspaket ist \\\"" + photos_ +
                                  "/KTFOTO1.JPG\\\" keine gewöhnliche Datei (eine Verknüpfung, ein "
                                  "Ordner oder ein Gerät); das Paket wird nicht importiert.");

  // A photo list of another shape.
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("drop table abcdefpc");
    package->Execute("create table abcdefpc (PhotoID integer, Datei char(50))");
  }
  refused("a photo list of another shape",
          "Die Datei " + pkg_ + "abcdefpc.dbf kann nicht gelesen werden:\\rDie Fotoliste " + pkg_ +
              "abcdefpc.dbf hat nicht die erwarteten Spalten (PhotoID, Kurzname, Datei, RW, HW, "
              "Richtung, Datum, Quelle, Beschr).");

  // The list names an object the data do not hold.
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("insert into abcdeft values ('DE-404', 7, 14, 1, 1)");
  }
  refused("an object of the list without data",
          "Die Geo- und Attributdaten des Transaktionspakets enthalten nicht jedes Objekt seiner "
          "Transaktionsliste; es fehlen:\\rDE-404");

  fs::rename(pkg_ + "abcdef.shp", Root() + "/abcdef.shp");
  refused("no geodata", "Die Geodaten des Transaktionspakets fehlen:\\r" + pkg_ + "abcdef.shp");

  fs::resize_file(pkg_ + "abcdeft.dbf", fs::file_size(pkg_ + "abcdeft.dbf") - 20);
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_TRUE(ProjectFiles() == before);
  EXPECT_EQ(HostObjects(), objects);

  PickFile("abcdef_rp.txt");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_TRUE(ProjectFiles() == before);
}

TEST_F(ImportTest, AnExportCutOffIsNoPackageToImport) {
  WritePackage();
  // The staging folder of an export that was cut.
  fs::create_directories(pkg_ + "abcdef_Export.tmp");
  EXPECT_FALSE(Import("abcdef.xml", "message OK"));
  EXPECT_NE(LastMessage().find("liegt ein unvollständiges Paket \"abcdef\": ein Export dorthin "
                               "wurde abgebrochen"),
            std::string::npos)
      << LastMessage();
  fs::remove_all(pkg_ + "abcdef_Export.tmp");
  // The export's change list there, its .tid not (yet).
  fs::remove(pkg_ + "abcdef.tid");
  Put(pkg_ + "abcdef_rp.txt", "0\r\n");
  EXPECT_FALSE(Import("abcdef.xml", "message OK"));
  EXPECT_NE(LastMessage().find("die Datei abcdef.tid fehlt"), std::string::npos) << LastMessage();
  ExpectAllAnswered();
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));
}

TEST_F(ImportTest, ADamagedPictureIsNamedAndItsPhotoComesIn) {
  WritePackage();
  Put(photos_ + "/KTFOTO1.JPG", testsupport::PngBytes());
  const std::string told =
      ("message OK \"Das Transaktionspaket " + pkg_ +
       "abcdef ist importiert.\\r\\rFolgende Bilddateien des Pakets sind keine lesbaren "
       "JPEG-Bilder; ihre Fotos wurden trotzdem übernommen:\\rDie Bilddatei \\\"KTFOTO1.JPG\\\" "
       "ist "
       "kein JPEG-Bild.\"");
  ASSERT_TRUE(Import("abcdef.tid", told));
  ExpectAllAnswered();
  EXPECT_EQ(Photos(), (std::vector<std::string>{"501 Gröne Wiese KTFOTO1.JPG 2"}));
}

TEST_F(ImportTest, TwiceNamedIdentifiersAreToldAndTheLastRowHolds) {
  WritePackage();
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("insert into abcdeft values ('DE-2', 7, 99, 1, 1)");
    package->Execute("insert into abcdefkl values (7, 'DE-8')");
  }
  ASSERT_TRUE(Import("abcdef.tid", "message OK"));
  ExpectAllAnswered();
  const std::string told = LastMessage();
  EXPECT_NE(told.find("abcdeft.dbf nennt folgende Kennungen mehrfach; es gilt jeweils die letzte "
                      "Zeile:\rDE-2"),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("nennt folgende Kennungen mehrfach; sie werden einmal übernommen:\rDE-8"),
            std::string::npos);
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 IGNORED DE-1", "DE-2 7 1 IGNORED DE-2"}));
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()), (std::vector<std::string>{"7 DE-8", "7 DE-9"}));
}

TEST_F(ImportTest, LocalWorkIsAskedAboutAndCancelChangesNothing) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  const auto before = ProjectFiles();
  const std::string objects = HostObjects();
  EXPECT_FALSE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnAbbrechen"));
  ExpectAllAnswered();
  EXPECT_NE(Shown().find("DE-1 (Transaktion 7): geändert; bei Behalten unverändert, bei "
                         "Übernahme ersetzt"),
            std::string::npos)
      << Shown();
  EXPECT_NE(Shown().find("DE-2 (Transaktion 7): 1 lokales Foto"), std::string::npos);
  EXPECT_TRUE(ProjectFiles() == before);
  EXPECT_EQ(HostObjects(), objects);
}

TEST_F(ImportTest, KeptLocalWorkStaysWhileTheRestOfThePackageComesIn) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  const int32_t one = host().IdOf("DE-1");
  const int32_t two = host().IdOf("DE-2");
  const std::string objects = HostObjects();
  // The package brings DE-3 besides; the mapper keeps the work on DE-1 and DE-2.
  WritePackage("abcdef", {"DE-3"});
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnBehalten"));
  ExpectAllAnswered();
  EXPECT_EQ(host().IdOf("DE-1"), one);
  EXPECT_EQ(host().IdOf("DE-2"), two);
  EXPECT_GT(host().IdOf("DE-3"), 0);
  // DE-1 and DE-2 exactly as the mapper left them, links and plant list too.
  std::string without_three;
  std::istringstream lines(HostObjects());
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("DE-3 ", 0) != 0) without_three += line + "\n";
  }
  EXPECT_EQ(without_three, objects);
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", "DE-2 7 0 IGNORED DE-2",
                                      "DE-3 7 1 IGNORED DE-3"}));
}

// Runs `during` when a form comes up, then lets the scripted presenter
// answer it: what another program does while the mapper reads the
// question.
class WhileAsked : public platform::ui::Presenter {
 public:
  WhileAsked(std::unique_ptr<platform::ui::Presenter> inner, std::function<void()> during)
      : inner_(std::move(inner)), during_(std::move(during)) {}
  platform::ui::MsgAnswer ShowMessage(platform::ui::MsgKind kind, std::string_view text,
                                      platform::ui::MsgButtons buttons) override {
    return inner_->ShowMessage(kind, text, buttons);
  }
  void RunModal(platform::ui::Form& form) override {
    if (during_) std::exchange(during_, nullptr)();
    inner_->RunModal(form);
  }
  void ShowModeless(platform::ui::Form& form) override { inner_->ShowModeless(form); }
  void CloseModeless(platform::ui::Form& form) override { inner_->CloseModeless(form); }
  std::optional<std::string> ShowFileDialog(
      const platform::ui::FileDialogRequest& request) override {
    return inner_->ShowFileDialog(request);
  }

 private:
  std::unique_ptr<platform::ui::Presenter> inner_;
  std::function<void()> during_;
};

TEST_F(ImportTest, WorkMarkedByAnotherProgramDuringTheQuestionIsKeptToo) {
  WritePackage("abcdef", {"DE-3"});
  ASSERT_TRUE(Import());
  MappersDay();
  const int32_t three = host().IdOf("DE-3");
  // While the question lists DE-1 and DE-2, another program marks DE-3.
  const std::string dbsql = std::string(VANDRA_BINARY_DIR) + "/bin/dbsql";
  const std::string dir = ProjectDir();
  platform::ui::SetPresenter(
      std::make_unique<WhileAsked>(platform::ui::SetPresenter(nullptr), [&dbsql, &dir] {
        ASSERT_EQ(std::system(("'" + dbsql + "' 'Data Source=" + dir +
                               ";Extended Properties=DBASE III;' \"update TA_LIST set "
                               "CHANGED='UPDATE' where KENNUNG='DE-3'\" >/dev/null")
                                  .c_str()),
                  0);
      }));
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnBehalten"));
  ExpectAllAnswered();
  EXPECT_EQ(Shown().find("DE-3 ("), std::string::npos) << Shown();
  // Its work is kept as the answer says, though the question never named it.
  EXPECT_EQ(host().IdOf("DE-3"), three);
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", "DE-2 7 0 IGNORED DE-2",
                                      "DE-3 7 1 UPDATE DE-3"}));
}

TEST_F(ImportTest, TakenPackageReplacesTheObjectsAndKeepsTheirLocalPhotoLinks) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen"));
  ExpectAllAnswered();
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 IGNORED DE-1", "DE-2 7 0 IGNORED DE-2"}));
  const std::string objects = HostObjects();
  // DE-1 is the package's again; DE-2 the package's, with its link to the
  // local photo (not the one to the central photo, nor the plant list).
  EXPECT_NE(objects.find("DE-1 "), std::string::npos);
  EXPECT_EQ(objects.find("erweitert"), std::string::npos) << objects;
  EXPECT_NE(objects.find("Bemerkung=alte Eiche;Hauptphoto=;PhotoID=-1;"), std::string::npos)
      << objects;
  EXPECT_EQ(objects.find("PhotoID=501"), std::string::npos) << objects;
  EXPECT_EQ(objects.find("Quercus"), std::string::npos) << objects;
}

TEST_F(ImportTest, ObjectsOfAClassTheHostDoesNotKnowRefuseThePackage) {
  WritePackage("abcdef", {"DE-3"});
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("update abcdef set KLASSE = 999999 where KENNUNG = 'DE-3'");
  }
  EXPECT_FALSE(Import("abcdef.tid",
                      "message OK \"Das Transaktionspaket wird nicht importiert:\\r"
                      "Das Transaktionspaket enthält Objekte von Objektklassen, die "
                      "dieses Projekt nicht kennt; KARTUL würde sie nicht laden:\\r"
                      "999999: DE-3\""));
  ExpectAllAnswered();
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));
}

TEST_F(ImportTest, AFailedHostLoadPutsObjectsLinksTablesAndPicturesBack) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  const std::string before = Project();
  // The host refuses the package's attribute file (another table's data)
  // after it loaded the geodata: the import must not stand half done.
  WritePackage("abcdef", {"DE-3"});
  {
    std::string xml = Get(pkg_ + "abcdef.xml");
    const size_t at = xml.find("Tabelle=\"linfos\"");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 16, "Tabelle=\"andere\"");
    Put(pkg_ + "abcdef.xml", xml);
  }
  Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(20, 20, 7));
  EXPECT_FALSE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen\nmessage OK"));
  ExpectAllAnswered();
  EXPECT_NE(LastMessage().find("Die Attributdaten konnten nicht geladen werden:\r" + pkg_),
            std::string::npos)
      << LastMessage();
  EXPECT_EQ(Project(), before);
  EXPECT_FALSE(fs::exists(ImportJournal::FileIn(ProjectDir())));
  EXPECT_FALSE(fs::exists(ImportJournal::FolderIn(ProjectDir())));
}

TEST_F(ImportTest, AFailedStepUndoesEverything) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  const std::string before = Project();
  // The picture folder refuses the package's new picture: the host has
  // loaded the objects and the tables are merged by then.
  Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(20, 20, 7));
  platform::env::FaultEnv faults(platform::env::Env::Posix());
  faults.Inject(
      platform::env::Fault(platform::env::Op::kCreateTemporary, ENOSPC).On("KTPhotos").Times(1));
  {
    platform::env::ScopedEnv scoped(faults);
    EXPECT_FALSE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen\nmessage OK"));
  }
  ExpectAllAnswered();
  const std::string told = LastMessage();
  EXPECT_NE(told.find("Der Import ist fehlgeschlagen:\rDie Fotos konnten nicht kopiert werden:"),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("Das Projekt ist wie vor dem Import"), std::string::npos) << told;
  EXPECT_EQ(Project(), before);
  EXPECT_FALSE(fs::exists(ImportJournal::FileIn(ProjectDir())));
}

TEST_F(ImportTest, FingerprintsOnlyWhenAskedForAndAnUnreadableTableRefusesTheImport) {
  WritePackage();
  ASSERT_TRUE(Import());
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_FP.dbf"));

  SetApplicatIni("VANDRA", "Vorpruefung", "1");
  ASSERT_TRUE(Import());
  ExpectAllAnswered();
  const auto rows = testsupport::ReadDbf(ProjectDir() + "TA_FP.dbf");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("KENNUNG"), "DE-1");
  EXPECT_EQ(rows[0].at("TID"), "7");
  EXPECT_EQ(rows[0].at("GEOMETRIE").size(), 16u);
  EXPECT_EQ(rows[1].at("KENNUNG"), "DE-2");
  EXPECT_NE(rows[0].at("GEOMETRIE"), rows[1].at("GEOMETRIE"));

  // A fingerprint table that cannot be read: nothing changes at all.
  std::ofstream(ProjectDir() + "TA_FP.dbf", std::ios::trunc) << "kaputt";
  const auto before = ProjectFiles();
  EXPECT_FALSE(Import("abcdef.tid", "message OK"));
  ExpectAllAnswered();
  EXPECT_NE(Shown().find("TA_FP.dbf"), std::string::npos);
  EXPECT_TRUE(ProjectFiles() == before);
}

TEST_F(ImportTest, APackagePictureNeverTakesAnotherPhotosPlace) {
  WritePackage();
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (502, 'weg', '../boese.jpg')");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (503, 'eigen', 'eigen.jpg')");
  }
  // A local photo shows eigen.jpg: the package's picture of that name goes
  // under a name of its own, and its row names that.
  EnsureFotoverwaltung().ProjectConnection().Execute(
      "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'lokal', 3, "
      "'eigen.jpg')");
  const std::string local = testsupport::EncodeJpeg(8, 8, 1);
  const std::string central = testsupport::EncodeJpeg(8, 8, 9);
  Put(ProjectDir() + "KTPhotos/eigen.jpg", local);
  Put(photos_ + "/EIGEN.JPG", central);
  ASSERT_TRUE(Import("abcdef.tid", "message OK"));
  ExpectAllAnswered();
  const std::string told = LastMessage();
  EXPECT_NE(told.find("Folgende Fotos der Fotoliste haben keinen gültigen Dateinamen (höchstens 50 "
                      "Zeichen, ohne Pfad) und wurden nicht importiert:\r\"../boese.jpg\""),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("unter einem eigenen Namen abgelegt:\r503: eigen.jpg -> eigen_1.jpg"),
            std::string::npos)
      << told;
  EXPECT_EQ(Photos(),
            (std::vector<std::string>{"-1 lokal eigen.jpg 3", "501 Gröne Wiese KTFOTO1.JPG 2",
                                      "503 eigen eigen_1.jpg 2"}));
  EXPECT_EQ(Get(ProjectDir() + "KTPhotos/eigen.jpg"), local);
  EXPECT_EQ(Get(ProjectDir() + "KTPhotos/eigen_1.jpg"), central);
  EXPECT_FALSE(fs::exists(ProjectDir() + "boese.jpg"));
}

TEST_F(ImportTest, TheNoteNamesAPhotoListedTwiceAsTheImportResolvedIt) {
  WritePackage();
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (503, 'erste', 'P503.jpg')");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (503, 'zweite', 'P503b.jpg')");
  }
  Put(photos_ + "/P503.jpg", testsupport::EncodeJpeg(8, 8, 3));
  Put(photos_ + "/P503b.jpg", testsupport::EncodeJpeg(8, 8, 4));
  ASSERT_TRUE(Import("abcdef.tid", "message OK"));
  ExpectAllAnswered();
  const std::string told = LastMessage();
  EXPECT_NE(told.find("nennt folgende Foto-IDs mehrfach; es gilt jeweils die erste Zeile:\r503"),
            std::string::npos)
      << told;
  // The first row came in under its own name: nothing was renamed.
  EXPECT_EQ(told.find("eigenen Namen"), std::string::npos) << told;
  EXPECT_EQ(Photos(), (std::vector<std::string>{"501 Gröne Wiese KTFOTO1.JPG 2",
                                                "503 erste P503.jpg 2"}));
}

TEST_F(ImportTest, MissingPictureFolderIsMade) {
  WritePackage();
  fs::remove_all(ProjectDir() + "KTPhotos");
  ASSERT_TRUE(Import());
  EXPECT_TRUE(fs::exists(ProjectDir() + "KTPhotos/KTFOTO1.JPG"));
}

TEST_F(ImportTest, EarlierBuildReadsThePhotoListByNameAndKeepsItsTexts) {
  WritePackage();
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("drop table abcdefpc");
    package->Execute(
        "create table abcdefpc (Datei char(50), Quelle char(254), PhotoID integer, Kurzname "
        "char(50), RW integer, HW integer, Richtung integer, Datum date, Beschr memo, Extra "
        "integer)");
    package->Execute(
        "insert into abcdefpc (Datei, PhotoID, Kurzname, Quelle) values ('KTFOTO1.JPG', 501, "
        "'Gr”ne Wiese', 'Zentrale')");
  }
  // The full build takes the columns by position: another order is refused.
  EXPECT_FALSE(Import("abcdef.tid", "message OK"));
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));

  SelectBuild(Build::kVD1TransAction);
  ASSERT_TRUE(Import());
  ExpectAllAnswered();
  EXPECT_EQ(Photos(), (std::vector<std::string>{"501 Gr”ne Wiese KTFOTO1.JPG 2"}));
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
  // The earlier build makes its tables from field definitions, under their
  // capital names, and finds the imported rows by key.
  EXPECT_TRUE(fs::exists(ProjectDir() + "TA_LIST.DBF"));
  EXPECT_TRUE(fs::exists(ProjectDir() + "TA_KL.DBF"));
  for (const auto& row : testsupport::ReadDbf(ProjectDir() + "TA_LIST.DBF")) {
    EXPECT_TRUE(TransActTools::KennungInTransactionList(row.at("KENNUNG"))) << row.at("KENNUNG");
  }
}

TEST_F(ImportTest, AnotherProcessWritingTheListDuringAFailedImportLosesNothing) {
  WritePackage();
  ASSERT_TRUE(Import());
  MappersDay();
  Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(20, 20, 7));
  // Another program inserts rows, one statement a process, all the while.
  const std::string dbsql = std::string(VANDRA_BINARY_DIR) + "/bin/dbsql";
  std::atomic<bool> stop{false};
  std::atomic<int> done{0};
  std::vector<std::string> acknowledged;
  std::thread writer([&] {
    // Until the import is over, then three writes more.
    for (int i = 0, after = 0; !stop || after++ < 3; ++i) {
      const std::string K = "FREMD-" + std::to_string(i);
      const int rc = std::system(("'" + dbsql + "' 'Data Source=" + ProjectDir() +
                                  ";Extended Properties=DBASE III;' \"insert into TA_LIST "
                                  "(TID,KENNUNG,KENNUNGO,CHANGED) values (9,'" +
                                  K + "','" + K + "','NEW')\" >/dev/null 2>&1")
                                     .c_str());
      if (rc == 0) acknowledged.push_back(K);
      ++done;
    }
  });
  while (done < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  platform::env::FaultEnv faults(platform::env::Env::Posix());
  faults.Inject(
      platform::env::Fault(platform::env::Op::kCreateTemporary, ENOSPC).On("KTPhotos").Times(1));
  {
    platform::env::ScopedEnv scoped(faults);
    EXPECT_FALSE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen\nmessage OK"));
  }
  stop = true;
  writer.join();
  ExpectAllAnswered();
  std::set<std::string> listed;
  for (const auto& row : testsupport::ReadDbf(ProjectDir() + "TA_LIST.dbf")) {
    listed.insert(row.at("KENNUNG"));
  }
  ASSERT_GE(acknowledged.size(), 5u);
  for (const std::string& K : acknowledged) EXPECT_TRUE(listed.count(K)) << K << " was lost";
  EXPECT_TRUE(listed.count("DE-1") && listed.count("DE-2"));
}

TEST_F(ImportTest, CancelledDialogChangesNothing) {
  Answer("file cancel");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));
}

}  // namespace
