// The import run against a real project of the host stand-in: the merge
// rules, the checks made before anything changes, what a failed step leaves
// behind, the photo rules and the package files found in any letter case.
#include "exchange/ImportFuncs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/TransActTools.h"

namespace {

namespace fs = std::filesystem;
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

class ImportTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    EnsureTableFotos();
    EnsureSubDirFotos();
    pkg_ = Root() + "/paket/";
    fs::create_directories(pkg_);
  }
  void TearDown() override {
    CloseFotoverwaltung();
    FreeControlForm();
    ProjectFixture::TearDown();
  }

  // A package of transaction 7 under prefix `p` (file names in `p`'s case):
  // the host's geodata and attributes of DE-1 and DE-2, their list rows,
  // two free identifiers and a photo.
  void WritePackage(const std::string& p = "abcdef") {
    fs::remove_all(pkg_);
    fs::create_directories(pkg_);
    const int32_t a = MakeObject("FFH", "DE-1");
    const int32_t b = MakeObject("FFH", "DE-2");
    ASSERT_TRUE(host::ExportGeodaten(pkg_ + p, 10, true, 0));
    ASSERT_TRUE(host::ExportDataXML(pkg_ + p + ".xml", true, true));
    host::DeleteObject(a);
    host::DeleteObject(b);
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    const std::string t = p + (p == "ABCDEF" ? "T" : "t");
    package->Execute("create table \"" + t +
                     "\" (KENNUNG char(50), TID integer, KARTULID integer, VGNR integer, "
                     "SCHREIBEND integer)");
    package->Execute("insert into \"" + t + "\" values ('DE-1', 7, 11, 1, 1)");
    package->Execute("insert into \"" + t + "\" values ('DE-2', 7, 12, 1, 0)");
    const std::string kl = p + (p == "ABCDEF" ? "KL" : "kl");
    package->Execute("create table \"" + kl + "\" (TID integer, Kennung char(50))");
    package->Execute("insert into \"" + kl + "\" values (7, 'DE-8')");
    package->Execute("insert into \"" + kl + "\" values (7, 'DE-9')");
    const std::string pc = p + (p == "ABCDEF" ? "PC" : "pc");
    package->Execute("create table \"" + pc +
                     "\" (PhotoID integer, Kurzname char(50),Datei char(50),RW integer,HW "
                     "integer,Richtung integer,Datum date,Quelle char(254),Beschr memo)");
    package->Execute("insert into \"" + pc +
                     "\" values (501, 'Gr\u201Dne Wiese', 'KTFOTO1.JPG', 2563000, 5700000, 90, "
                     "#5-3-2024#, 'Zentrale', 'am Bach')");
    std::ofstream(pkg_ + p + ".tid") << "[Transaktionsdaten]\r\nTransaktion=7\r\nName=Ruhr'aue\r\n"
                                     << "Owner=O'Neill\r\n";
    fs::create_directories(pkg_ + p + (p == "ABCDEF" ? "_FOTOS" : "_Fotos"));
    std::ofstream(pkg_ + p + (p == "ABCDEF" ? "_FOTOS" : "_Fotos") + "/KTFOTO1.JPG") << "JPEG 501";
  }

  void PickFile(const std::string& name) { Answer("file \"" + pkg_ + name + "\""); }

  std::vector<std::string> Photos() {
    std::vector<std::string> rows;
    Query q(EnsureFotoverwaltung().ProjectConnection(),
            "select FotoID, Kurzname, PicFileName, IsNew from Fotos order by FotoID");
    for (; !q.Eof(); q.Next())
      rows.push_back(q.AsString(0) + " " + q.AsString(1) + " " + q.AsString(2) + " " +
                     q.AsString(3));
    return rows;
  }

  // Every file of the project folder with its bytes.
  std::map<std::string, std::string> ProjectFiles() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(ProjectDir())) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      files[entry.path().string()] = bytes.str();
    }
    return files;
  }

  std::string pkg_;
};

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
  EXPECT_TRUE(fs::exists(ProjectDir() + "KTPhotos/KTFOTO1.JPG"));
  EXPECT_FALSE(State().ImportRunning);
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ImportDir", ""), pkg_);

  // Again: nothing new in TA_ID, the rows back to the package's values.
  PickFile("abcdef.tid");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  EXPECT_EQ(testsupport::ReadDbf(ProjectDir() + "TA_ID.dbf").size(), 1u);
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
  EXPECT_EQ(Photos().size(), 1u);
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

TEST_F(ImportTest, RowsOfOtherTransactionsAreMergedByRank) {
  WritePackage();
  CreateTransactionTables();
  AddTransaction(3, "Alt");
  // DE-1 held for writing by transaction 3 under a new identifier: it keeps
  // its transaction, only the identifier goes back. DE-2 is new in 3 and
  // goes over to 7 with the package's status. DE-8 is pooled by 3 already.
  AddRow(3, 40, 1, "DE-1X", "UPDATE", "DE-1");
  AddRow(3, 41, 2, "DE-2", "NEW", "DE-2");
  AddFree(3, "DE-8");
  AddFree(3, "DE-1");
  PickFile("abcdeft.dbf");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 3 1 UPDATE DE-1", "DE-2 7 0 IGNORED DE-2"}));
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()), (std::vector<std::string>{"3 DE-8", "7 DE-9"}));
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

TEST_F(ImportTest, DamagedPackageLeavesTheProjectAsItWas) {
  WritePackage();
  CreateTransactionTables();
  AddTransaction(3, "Alt");
  AddRow(3, 40, 1, "DE-1", "UPDATE");
  const auto before = ProjectFiles();
  auto refused = [&](const std::string& text) {
    PickFile("abcdef.tid");
    Answer("message OK \"Das Transaktionspaket wird nicht importiert:\\r" + text + "\"");
    EXPECT_FALSE(ImportFuncs::VD1CustomImportProc()) << text;
    ExpectAllAnswered();
    EXPECT_EQ(ProjectFiles(), before) << text;
    EXPECT_FALSE(State().ImportRunning);
  };
  // A photo list of another shape.
  fs::copy_file(pkg_ + "abcdefpc.dbf", Root() + "/pc.dbf");
  fs::copy_file(pkg_ + "abcdefpc.dbt", Root() + "/pc.dbt");
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute("drop table abcdefpc");
    package->Execute("create table abcdefpc (PhotoID integer, Datei char(50))");
  }
  refused("Die Datei " + pkg_ + "abcdefpc.dbf kann nicht gelesen werden:\\rDie Fotoliste " + pkg_ +
          "abcdefpc.dbf hat nicht die erwarteten Spalten (PhotoID, Kurzname, Datei, RW, HW, "
          "Richtung, Datum, Quelle, Beschr).");
  fs::copy_file(Root() + "/pc.dbf", pkg_ + "abcdefpc.dbf", fs::copy_options::overwrite_existing);
  fs::copy_file(Root() + "/pc.dbt", pkg_ + "abcdefpc.dbt", fs::copy_options::overwrite_existing);
  // Geodata missing while the list names objects.
  fs::rename(pkg_ + "abcdef.shp", Root() + "/abcdef.shp");
  refused("Die Geodaten des Transaktionspakets fehlen:\\r" + pkg_ + "abcdef.shp");
  fs::rename(Root() + "/abcdef.shp", pkg_ + "abcdef.shp");
  // A truncated transaction list.
  fs::resize_file(pkg_ + "abcdeft.dbf", fs::file_size(pkg_ + "abcdeft.dbf") - 20);
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_EQ(ProjectFiles(), before);
  // No prefix at all.
  PickFile("abcdef_rp.txt");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_EQ(ProjectFiles(), before);
}

TEST_F(ImportTest, FailedGeodataLoadPutsTheTablesBack) {
  WritePackage();
  CreateTransactionTables();
  AddFree(3, "DE-1");
  const auto before = ProjectFiles();
  std::ofstream(pkg_ + "abcdef.shp", std::ios::trunc) << "kaputt";
  PickFile("abcdef.tid");
  Answer("message OK \"Die Geodaten konnten nicht geladen werden:\\r" + pkg_ + "abcdef\"");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_EQ(ProjectFiles(), before);
  EXPECT_FALSE(State().ImportRunning);
  // The next import on the same connections finds the tables as they are.
  WritePackage();
  PickFile("abcdef.tid");
  EXPECT_TRUE(ImportFuncs::VD1CustomImportProc());
  EXPECT_EQ(testsupport::ListRows(ProjectDir()).size(), 2u);
}

TEST_F(ImportTest, FailedPictureCopyPutsRowsAndTablesBack) {
  WritePackage();
  CreateTransactionTables();
  AddFree(3, "DE-1");
  // The picture folder is a file: no picture can be copied. The host has
  // loaded the objects by then; the plug-in's tables and rows go back.
  fs::remove_all(ProjectDir() + "KTPhotos");
  std::ofstream(ProjectDir() + "KTPhotos") << "kein Ordner";
  auto tables = [&] {
    std::map<std::string, std::string> files;
    for (auto& [path, bytes] : ProjectFiles()) {
      if (path.find("TA_") != std::string::npos || path.find("KTPhotos") != std::string::npos)
        files[path] = bytes;
    }
    return files;
  };
  const auto before = tables();
  ASSERT_EQ(before.size(), 4u);
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_TRUE(Photos().empty());
  EXPECT_TRUE(tables() == before);
}

TEST_F(ImportTest, FingerprintsOnlyWhenAskedForAndBackWithAFailedImport) {
  WritePackage();
  PickFile("abcdef.tid");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_FP.dbf"));

  SetApplicatIni("VANDRA", "Vorpruefung", "1");
  PickFile("abcdef.tid");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  const auto rows = testsupport::ReadDbf(ProjectDir() + "TA_FP.dbf");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("KENNUNG"), "DE-1");
  EXPECT_EQ(rows[0].at("TID"), "7");
  EXPECT_EQ(rows[0].at("GEOMETRIE").size(), 16u);
  EXPECT_EQ(rows[1].at("KENNUNG"), "DE-2");
  // The two objects share their class and (empty) fields, not their shapes;
  // the identifier is the row's key, not part of the fingerprint.
  EXPECT_NE(rows[0].at("GEOMETRIE"), rows[1].at("GEOMETRIE"));
  EXPECT_EQ(rows[0].at("ATTRIBUTE"), rows[1].at("ATTRIBUTE"));

  // A fingerprint table that cannot be read fails the import, which puts
  // every table back as it was, the damaged one included.
  std::ofstream(ProjectDir() + "TA_FP.dbf", std::ios::trunc) << "kaputt";
  auto tables = [&] {
    std::map<std::string, std::string> files;
    for (auto& [path, bytes] : ProjectFiles()) {
      if (path.find("TA_") != std::string::npos) files[path] = bytes;
    }
    return files;
  };
  const auto before = tables();
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_NE(Shown().find("TA_FP.dbf"), std::string::npos);
  EXPECT_TRUE(tables() == before);
}

TEST_F(ImportTest, PhotosNeitherLeaveTheFolderNorTakeAnotherPhotosPicture) {
  WritePackage();
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (502, 'weg', '../boese.jpg')");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (503, 'eigen', 'eigen.jpg')");
  }
  // A local photo shows eigen.jpg; the package's picture of that name stays out.
  EnsureFotoverwaltung().ProjectConnection().Execute(
      "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'lokal', 3, "
      "'eigen.jpg')");
  std::ofstream(ProjectDir() + "KTPhotos/eigen.jpg") << "lokal";
  std::ofstream(pkg_ + "abcdef_Fotos/eigen.jpg") << "zentral";
  PickFile("abcdef.tid");
  Answer(
      "message OK \"Folgende Fotos der Fotoliste haben keinen gültigen Dateinamen (höchstens 50 "
      "Zeichen, ohne Pfad) und werden nicht importiert:\\r\\\"../boese.jpg\\\"\"");
  Answer(
      "message OK \"Folgende Fotodateien werden von anderen Fotos des Projekts verwendet und "
      "wurden nicht überschrieben:\\reigen.jpg\"");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_EQ(Photos(),
            (std::vector<std::string>{"-1 lokal eigen.jpg 3", "501 Gröne Wiese KTFOTO1.JPG 2",
                                      "503 eigen eigen.jpg 2"}));
  std::ifstream in(ProjectDir() + "KTPhotos/eigen.jpg");
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "lokal");
  EXPECT_FALSE(fs::exists(ProjectDir() + "boese.jpg"));
}

TEST_F(ImportTest, MissingPictureFolderIsMade) {
  WritePackage();
  fs::remove_all(ProjectDir() + "KTPhotos");
  PickFile("abcdef.tid");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
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
  PickFile("abcdef.tid");
  Answer("message OK");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));

  SelectBuild(Build::kVD1TransAction);
  PickFile("abcdef.tid");
  ASSERT_TRUE(ImportFuncs::VD1CustomImportProc());
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

TEST_F(ImportTest, CancelledDialogChangesNothing) {
  Answer("file cancel");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  EXPECT_FALSE(fs::exists(ProjectDir() + "TA_LIST.dbf"));
}

}  // namespace
