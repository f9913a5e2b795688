// The export run against a real project of the host stand-in, where the
// scenario (tests/scenarios/export.kts) cannot reach: the checks made before
// anything is written, what a failed step leaves behind, and the earlier
// build's differences.
#include "exchange/ExportFuncs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "exchange/Package.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;
using platform::db::Connection;

constexpr const char* kAskFirst = "message Yes";

std::vector<std::string> Column(const std::string& path, const std::string& a,
                                const std::string& b = "") {
  std::vector<std::string> out;
  for (auto& row : testsupport::ReadDbf(path))
    out.push_back(row[a] + (b.empty() ? "" : " " + row[b]));
  return out;
}

class ExportTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    EnsureTableFotos();
    EnsureSubDirFotos();
    out_ = Root() + "/out/";
    fs::create_directories(out_);
  }
  void TearDown() override {
    CloseFotoverwaltung();
    FreeControlForm();
    ProjectFixture::TearDown();
  }

  // Transaction 7 after a mapper's day: a changed, an untouched, a read-only,
  // a new, a deleted and a switched object; photos linked to them.
  void Fill() {
    CreateTransactionTables();
    AddTransaction(7, "Ruhraue");
    const int32_t de1 = MakeObject("FFH", "DE-1");
    const int32_t de2 = MakeObject("FFH", "DE-2");
    MakeObject("NSG", "NSG-1");
    const int32_t de3 = MakeObject("FFH", "DE-3");
    MakeObject("FFH", "DE-6");
    AddRow(7, de1, 1, "DE-1", "UPDATE");
    AddRow(7, de2, 1, "DE-2", "IGNORED");
    AddRow(7, 3, 0, "NSG-1", "UPDATE");
    AddRow(7, de3, 2, "DE-3", "NEW", "DE-3");
    AddRow(7, 99, 3, "DE-4", "DELETE");
    AddRow(7, 5, 1, "DE-6", "UPDATE", "DE-5");
    AddFoto(-1, 3, "KTFoto1.jpg", "'Quelle' eigene", "45356");
    AddFoto(17, 2, "zentral17.jpg");
    AddFoto(-2, 3, "KTFoto2.jpg");
    Link(de1, -1);
    Link(de1, 17);
    Link(de3, -1);
    Link(de2, -2);
  }

  void AddFoto(int id, int is_new, const std::string& file, const std::string& quelle = "",
               const std::string& datum = "null") {
    Catalogue().Execute(
        "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName, Quelle, "
        "Aufnahmedatum, RW) values (" +
        std::to_string(id) + ", 'Foto " + std::to_string(id) + "', " + std::to_string(is_new) +
        ", '" + file + "', '" + platform::db::SqlText(quelle) + "', " + datum + ", " +
        (id == -1 ? "2563120" : "null") + ")");
    std::ofstream(FotoDir() + file, std::ios::binary) << "JPEG " << id;
  }
  void Link(int32_t object, int photo_id) {
    Catalogue().Execute("insert into Objektphotos (KARTULID, PhotoID) values (" +
                        std::to_string(object) + ", " + std::to_string(photo_id) + ")");
  }
  Connection& Catalogue() { return EnsureFotoverwaltung().ProjectConnection(); }

  // Answers the run's questions up to and with the file dialog.
  void AnswerUpToFile(const std::string& file) {
    Answer(kAskFirst);
    Answer("file \"" + out_ + file + "\"");
  }

  std::string out_;
};

TEST_F(ExportTest, PrefixesAndPathsAreCheckedBeforeAnythingIsWritten) {
  Fill();
  AddTransaction(8, "Eifel");
  auto refused = [&](const std::string& file, const std::string& message) {
    Answer(kAskFirst);
    Answer("form TFormGetTID\nclick BtnOK");
    Answer("file \"" + file + "\"");
    Answer("message OK \"" + message + "\"");
    EXPECT_FALSE(ExportFuncs::VD1CustomExportProc()) << file;
  };
  refused(out_ + "ab cdef", "Der Name der Exportdatei darf kein Leerzeichen enthalten!");
  refused(out_ + "ab\xE2\x9C\x93",
          "Aus dem Namen der Exportdatei \\\"ab\xE2\x9C\x93\\\" lässt sich kein gültiger "
          "Dateiname bilden!");
  // The host is given the geodata path in the staging folder,
  // "paket_Export.tmp/" longer than the package's own.
  const std::string deep = out_ + std::string(250, 'x') + "/paket";
  refused(deep,
          "Der Pfad der Exportdateien ist zu lang (höchstens 238 Zeichen):\\r" + deep + ".shp");
  const std::string folder = out_ + std::string(228 - out_.size(), 'y');
  fs::create_directories(folder);
  refused(folder + "y/paket", "Der Pfad der Exportdateien ist zu lang (höchstens 238 Zeichen):\\r" +
                                  folder + "y/paket.shp");
  EXPECT_TRUE(fs::is_empty(folder));
  Answer(kAskFirst);
  Answer("form TFormGetTID\nclick BtnOK");
  Answer("file \"" + folder + "/paket\"");
  EXPECT_TRUE(ExportFuncs::VD1CustomExportProc()) << "255 characters exactly in the staging";
  EXPECT_TRUE(fs::exists(folder + "/paket.shp"));
  fs::remove_all(folder);
  EXPECT_TRUE(fs::is_empty(out_));
  // A blank after the sixth character is never seen.
  Answer(kAskFirst);
  Answer("form TFormGetTID\nclick BtnOK");
  Answer("file \"" + out_ + "abcdef gh\"");
  EXPECT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_TRUE(fs::exists(out_ + "abcdef_aktion.dbf"));
  // The next dialog opens there with the prefix.
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ExportPath", ""),
            Root() + "/out");
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "FileNamePrefix", ""),
            "abcdef");
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ExportTest, AnExportOverAnEarlierPackageReplacesItWhole) {
  Fill();
  AnswerUpToFile("paket");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  const std::vector<std::string> whole = Listing(out_);
  EXPECT_EQ(whole, (std::vector<std::string>{"paket.dbf", "paket.shp", "paket.shx", "paket.tid",
                                             "paket.xml", "paket_Fotos/", "paket_aktion.dbf",
                                             "paket_rp.txt", "paketpc.dbf", "paketpc.dbt"}));
  // What an earlier export left that this one does not write: a layer of
  // lines, a file spelt otherwise, a picture of another photo, a key of the
  // .tid; and a file of another package that only shares the prefix's start.
  for (const char* file : {"paket_lin.shp", "paket_lin.shx", "paket_lin.dbf", "PAKET.XML",
                           "paket_Fotos/alt.jpg", "paketx.tid", "paketx.xml"}) {
    std::ofstream(out_ + file) << "alt";
  }
  std::ofstream(out_ + "paket.tid", std::ios::app) << "Name=Ruhraue\r\n";
  std::ofstream(FotoDir() + "KTFoto1.jpg", std::ios::binary) << "JPEG neu";
  AnswerUpToFile("paket");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  std::vector<std::string> expected = whole;
  expected.insert(expected.end(), {"paketx.tid", "paketx.xml"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(out_), expected);
  EXPECT_EQ(Listing(out_ + "paket_Fotos"), (std::vector<std::string>{"KTFoto1.jpg", "alt.jpg"}));
  EXPECT_EQ(Bytes(out_ + "paket_Fotos/KTFoto1.jpg"), "JPEG neu");
  const Package::TidData tid = Package::ReadTidFile(out_ + "paket.tid");
  EXPECT_EQ(tid.Transaktion, 7);
  EXPECT_EQ(tid.Name, "Ruhraue");
}

TEST_F(ExportTest, ACutExportIsNamedAndItsLeftoversRemovedByTheNextOne) {
  Fill();
  AnswerUpToFile("paket");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  const std::vector<std::string> whole = Listing(out_);
  // A cut as the staging leaves it: the staging folder with part of a
  // package, the earlier .tid gone, temporary files of package files.
  fs::create_directories(out_ + "paket_Export.tmp/paket_Fotos");
  std::ofstream(out_ + "paket_Export.tmp/paket.xml") << "<halb";
  std::ofstream(out_ + "paket_Export.tmp/paket_Fotos/KTFoto1.jpg.Ab12Cd") << "JP";
  fs::create_symlink(ProjectDir(), out_ + "paket_Export.tmp/projekt");
  fs::remove(out_ + "paket.tid");
  for (const char* file : {"paket_rp.txt.Qx7Zk2", "paket.tid.000000",
                           "paket_Fotos/KTFoto2.jpg.aB3dE4", "fremd.txt.Qx7Zk2"}) {
    std::ofstream(out_ + file) << "halb";
  }
  const std::string told =
      "Im Ordner " + Root() + "/out liegt ein unvollständiges Paket \"paket\": ";
  EXPECT_EQ(
      Package::IncompletePackage({out_, "paket"}),
      told + "ein Export dorthin wurde abgebrochen (der Ordner paket_Export.tmp ist noch da).");
  AnswerUpToFile("paket");
  Answer("message OK");

  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(Messages().back(),
            told +
                "ein Export dorthin wurde abgebrochen (der Ordner paket_Export.tmp ist noch "
                "da).\\r\\rDie Reste werden entfernt, das Paket wird neu geschrieben.");
  std::vector<std::string> expected = whole;
  expected.push_back("fremd.txt.Qx7Zk2");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(out_), expected);
  EXPECT_EQ(Listing(out_ + "paket_Fotos"), (std::vector<std::string>{"KTFoto1.jpg"}));
  EXPECT_TRUE(fs::exists(ProjectDir() + "TA_LIST.dbf")) << "the link was not followed";
  EXPECT_EQ(Package::IncompletePackage({out_, "paket"}), std::nullopt);
}

TEST_F(ExportTest, IdentifiersTheActionTableCannotHoldStopTheRunBeforeItWrites) {
  Fill();
  const std::string longest(41, 'L'), too_long = "DE-" + std::string(39, 'X');
  AddRow(7, MakeObject("FFH", longest), 2, longest, "NEW");
  AddRow(7, MakeObject("FFH", too_long), 2, too_long, "NEW");
  AnswerUpToFile("lang");
  Answer(
      "message OK \"Folgende Kennungen sind länger als 41 Zeichen und können nicht "
      "exportiert werden:\\r" +
      too_long + "\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(ExportTest, APackageThatCannotBeMovedInEndsTheRunWithTheFolderAsItWas) {
  Fill();
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  fs::create_directories(out_ + "kaputt.shp");
  AnswerUpToFile("kaputt");
  Answer("message OK");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages().back(), "Das Paket konnte nicht in den Ordner " + out_ +
                                   " gebracht werden:\\rFehler beim Verschieben nach \"" + out_ +
                                   "kaputt.shp\": Das ist ein Ordner, keine Datei.\\rDer Ordner "
                                   "ist unverändert. Es wurde kein Paket geschrieben.");
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  // Nothing came in, nothing stayed behind, and no check-in was offered.
  EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_empty(out_ + "kaputt.shp"));
}

TEST_F(ExportTest, APhotoTheTableCannotTakeIsLeftOutWithItsPictureAndNamedAtTheEnd) {
  Fill();
  Catalogue().Execute("update Fotos set Quelle = '" + std::string(255, 'q') +
                      "' where FotoID = -1");
  AddFoto(-5, 3, "KTFoto5.jpg");
  Link(host().IdOf("DE-1"), -5);
  Link(host().IdOf("DE-3"), -5);
  AnswerUpToFile("fotos");
  // Told once though two exported objects show it.
  Answer(
      "message OK \"Die Quelle des Fotos \\\"Foto -1\\\" (FotoID -1) ist länger als 254 "
      "Zeichen. Das Foto wird nicht exportiert.\"");
  Answer(
      "message OK \"Das Paket ist geschrieben, ohne diese Fotos:\\r\\\"Foto -1\\\" "
      "(FotoID -1, KTFoto1.jpg)\"");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  // The source is never cut; no picture lies in the package without its row.
  EXPECT_EQ(Column(out_ + "fotospc.dbf", "PHOTOID"), (std::vector<std::string>{"-5", "-5"}));
  EXPECT_EQ(Listing(out_ + "fotos_Fotos"), std::vector<std::string>{"KTFoto5.jpg"});
  EXPECT_TRUE(fs::exists(out_ + "fotos.tid"));
}

TEST_F(ExportTest, ARefusalAfterWritingBeganSaysThatNoPackageWasWritten) {
  Fill();
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  AddFoto(-5, 3, "KTFoto5.jpg");
  Link(host().IdOf("DE-1"), -5);
  fs::remove(FotoDir() + "KTFoto5.jpg");
  AnswerUpToFile("fotos");
  Answer("message OK \"Folgende Fotodateien konnten nicht in den Ordner " + out_ +
         "fotos_Fotos kopiert werden:\\rKTFoto5.jpg\\rOhne sie wäre das Paket "
         "unvollständig.\\rEs wurde kein Paket geschrieben.\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  EXPECT_TRUE(fs::is_empty(out_)) << "and no check-in offered";

  // A table that cannot be written: its error, and the same word.
  std::ofstream(FotoDir() + "KTFoto5.jpg") << "JPEG -5";
  {
    platform::env::FaultEnv full(platform::env::Env::Posix());
    full.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("vollpc.dbf"));
    platform::env::ScopedEnv scoped(full);
    AnswerUpToFile("voll");
    Answer("message OK");
    EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  }
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages().back().rfind("Beim Schreiben des Pakets ist ein Fehler aufgetreten:", 0),
            0u)
      << Messages().back();
  EXPECT_TRUE(Messages().back().ends_with("\\rEs wurde kein Paket geschrieben."))
      << Messages().back();
  EXPECT_NE(Messages().back().find("vollpc"), std::string::npos) << Messages().back();
  EXPECT_EQ(host().UpdateDepth(), 0);
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(ExportTest, AnErrorWhileSelectingClosesTheHostsUpdate) {
  Fill();
  fs::resize_file(ProjectDir() + "TA_LIST.dbf", 40);
  AnswerUpToFile("bruch");
  EXPECT_THROW(ExportFuncs::VD1CustomExportProc(), std::exception);
  EXPECT_EQ(host().UpdateDepth(), 0);
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(ExportTest, EarlierBuildsDifferences) {
  SelectBuild(Build::kVD1TransAction);
  CreateTransactionTables();
  AddTransaction(7, "Ruhraue");
  AddRow(7, 99, 3, "DE-4", "DELETE");
  AddFoto(-1, 3, "KTFoto1.jpg", std::string(255, 'q'));
  AnswerUpToFile("alt");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  // Nothing selected: strip 17; the action table made under its full name.
  EXPECT_EQ(Package::ReadTidFile(out_ + "alt.tid").GKStreifen, 17);
  EXPECT_EQ(Column(out_ + "alt_aktion.dbf", "KENNUNG", "AKTION"),
            (std::vector<std::string>{"DE-4 D"}));
  EXPECT_EQ(Tools::GetRegStringEntry("Software\\Bremak\\kartul\\3.2\\VANDRA2", "VD2Transaktionen",
                                     "FileNamePrefix", ""),
            "alt");

  // A selection asks for the strip whatever the state; the source column
  // takes 255 characters.
  AddRow(7, MakeObject("FFH", "DE-3"), 2, "DE-3", "NEW");
  Link(host().IdOf("DE-3"), -1);
  host().SetCursor({2500000, 5800000});
  AnswerUpToFile("alt2");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(Package::ReadTidFile(out_ + "alt2.tid").GKStreifen, 2);
  EXPECT_EQ(Column(out_ + "alt2pc.dbf", "QUELLE"),
            (std::vector<std::string>{std::string(255, 'q')}));
}

}  // namespace
