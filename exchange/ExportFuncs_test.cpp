// The export run against a real project of the host stand-in: what the
// package holds (read back by dbfread and as bytes), every question and its
// way out, the checks made before anything is written, and what a failed
// step leaves behind.
#include "exchange/ExportFuncs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
#include "platform/ini/IniFile.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;
using platform::db::Connection;

constexpr const char* kAskFirst = "message Yes";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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

TEST_F(ExportTest, PackageOfAMappersDay) {
  Fill();
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  AnswerUpToFile("paket.dat");
  Answer(
      "message OK \"Der automatische Check-In ist noch nicht verfügbar. Bitte übergeben Sie "
      "die exportierten Dateien selbst an VANDRA.\"");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());

  EXPECT_EQ(ReadAll(out_ + "paket._rp.txt"),
            "Ge\xE4nderte Objekte (2)\r\nDE-1\r\nDE-6\r\n\r\nGel\xF6schte Objekte (1)\r\nDE-4\r\n"
            "\r\nNeue Objekte (1)\r\nDE-3\r\n");
  EXPECT_EQ(Column(out_ + "paket._aktion.dbf", "KENNUNG", "AKTION"),
            (std::vector<std::string>{"DE-1 U", "DE-2 I", "DE-3 N", "DE-4 D", "DE-5 D", "DE-6 N"}));
  EXPECT_FALSE(fs::exists(out_ + "paket._a.dbf"));
  // The photo of two exported objects twice, the central one and that of an
  // untouched object not at all.
  const auto photos = testsupport::ReadDbf(out_ + "paket.pc.dbf");
  ASSERT_EQ(photos.size(), 2u);
  EXPECT_EQ(photos[0].at("PHOTOID"), "-1");
  EXPECT_EQ(photos[0].at("QUELLE"), "'Quelle' eigene");
  EXPECT_EQ(photos[0].at("DATUM"), "2024-03-05");
  EXPECT_EQ(photos[0].at("RW"), "2563120");
  EXPECT_EQ(photos[0].at("HW"), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(out_ + "paket._Fotos"), fs::directory_iterator()),
            1);
  EXPECT_EQ(ReadAll(out_ + "paket._Fotos/KTFoto1.jpg"), "JPEG -1");
  EXPECT_TRUE(fs::exists(out_ + "paket..shp"));
  EXPECT_TRUE(fs::exists(out_ + "paket..xml"));
  const Package::TidData tid = Package::ReadTidFile(out_ + "paket..tid");
  EXPECT_EQ(tid.Transaktion, 7);
  EXPECT_EQ(tid.GKStreifen, 0);

  // The new and changed objects are selected, the update bracket closed, the
  // change marking back on, and the settings remembered.
  std::vector<std::string> selected;
  for (int32_t id : host().Selection()) selected.push_back(host().FindObject(id)->kennung);
  EXPECT_EQ(selected, (std::vector<std::string>{"DE-1", "DE-3", "DE-6"}));
  EXPECT_EQ(host().UpdateDepth(), 0);
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "FileNamePrefix", ""),
            "paket.");
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ExportPath", ""),
            Root() + "/out");
}

TEST_F(ExportTest, ReExportReplacesTablesAndChangedPictures) {
  Fill();
  AnswerUpToFile("ab.xml");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  platform::ini::IniFile(out_ + "ab.xml.tid").WriteString("Transaktionsdaten", "Name", "Ruhraue");
  std::ofstream(FotoDir() + "KTFoto1.jpg", std::ios::binary) << "JPEG neu";
  TransActTools::UpdateChangedFlag("DE-2", "UPDATE");

  // The dialog proposes the remembered prefix in the remembered folder.
  AnswerUpToFile("ab.xml");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_NE(Shown().find("\"" + Root() + "/out\" \"ab.xml\" -> "), std::string::npos) << Shown();
  EXPECT_EQ(Column(out_ + "ab.xml_aktion.dbf", "AKTION").size(), 6u);
  EXPECT_EQ(Column(out_ + "ab.xml_aktion.dbf", "KENNUNG", "AKTION")[1], "DE-2 U");
  EXPECT_EQ(Column(out_ + "ab.xmlpc.dbf", "PHOTOID"), (std::vector<std::string>{"-1", "-2", "-1"}));
  EXPECT_EQ(ReadAll(out_ + "ab.xml_Fotos/KTFoto1.jpg"), "JPEG neu");
  const Package::TidData tid = Package::ReadTidFile(out_ + "ab.xml.tid");
  EXPECT_EQ(tid.Transaktion, 7);
  EXPECT_EQ(tid.Name, "Ruhraue");
}

TEST_F(ExportTest, EveryQuestionHasItsWayOut) {
  // No at the first question: true, and nothing else happens.
  Answer("message No");
  EXPECT_TRUE(ExportFuncs::VD1CustomExportProc());
  Answer(kAskFirst);
  Answer(
      "message OK \"Das Projekt enthält keine Transaktionsdaten. Daher kann kein Export "
      "durchgeführt werden!\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());

  Fill();
  AddTransaction(8, "Eifel");
  Answer(kAskFirst);
  Answer("form TFormGetTID\nclick BtnCancel");
  Answer("message OK \"Es konnte keine Transaktionsnummer ermittelt werden!\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  EXPECT_NE(Shown().find("\"Abbrechen\""), std::string::npos);
  Answer(kAskFirst);
  Answer("form TFormGetTID\nselect lbTID \"7 - Ruhraue\"\nclick BtnOK\nfile cancel");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  EXPECT_TRUE(fs::is_empty(out_));
}

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
  const std::string deep = out_ + std::string(250, 'x') + "/paket";
  refused(deep,
          "Der Pfad der Exportdateien ist zu lang (höchstens 255 Zeichen):\\r" + deep + ".shp");
  EXPECT_TRUE(fs::is_empty(out_));
  // A blank after the sixth character is never seen.
  Answer(kAskFirst);
  Answer("form TFormGetTID\nclick BtnOK");
  Answer("file \"" + out_ + "abcdef gh\"");
  EXPECT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_TRUE(fs::exists(out_ + "abcdef_aktion.dbf"));
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

TEST_F(ExportTest, StripFromTheEastingOrTheMappersChoice) {
  Fill();
  SetApplicatIni("Config", "Bundesland", "SN");
  host().SetCursor({3400000, 5800000});
  AnswerUpToFile("p1");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(Package::ReadTidFile(out_ + "p1.tid").GKStreifen, 3);

  // A negative easting does not tell the strip: the dialog does, and remembers.
  host().SetCursor({-12.5, 5800000});
  AnswerUpToFile("p2");
  Answer("form TFormGetGKStreifen\nselect RadioGroup1 #1\nclick BitBtn1");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(Package::ReadTidFile(out_ + "p2.tid").GKStreifen, 3);
  EXPECT_EQ(Tools::GetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "GK-Streifen", 0), 3);

  // "BRB" writes 0 without asking.
  SetApplicatIni("Config", "Bundesland", "BRB");
  AnswerUpToFile("p3");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(Package::ReadTidFile(out_ + "p3.tid").GKStreifen, 0);
}

TEST_F(ExportTest, OnlyReadOnlyRowsGiveAnEmptyPackage) {
  CreateTransactionTables();
  AddTransaction(7, "Ruhraue");
  AddRow(7, MakeObject("NSG", "NSG-1"), 0, "NSG-1", "UPDATE");
  SetApplicatIni("Config", "Bundesland", "SN");
  AnswerUpToFile("leer");
  ASSERT_TRUE(ExportFuncs::VD1CustomExportProc());
  EXPECT_EQ(ReadAll(out_ + "leer_rp.txt"),
            "Ge\xE4nderte Objekte (0)\r\n\r\nGel\xF6schte Objekte (0)\r\n\r\nNeue Objekte (0)\r\n");
  EXPECT_TRUE(testsupport::ReadDbf(out_ + "leer_aktion.dbf").empty());
  EXPECT_TRUE(testsupport::ReadDbf(out_ + "leerpc.dbf").empty());
  EXPECT_EQ(Package::ReadTidFile(out_ + "leer.tid").GKStreifen, 0);
  EXPECT_TRUE(host().Selection().empty());
}

TEST_F(ExportTest, AFailedHostExportEndsTheRunWithoutCheckIn) {
  Fill();
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  fs::create_directories(out_ + "kaputt.shp");
  AnswerUpToFile("kaputt");
  Answer("message OK \"Die Geodaten konnten nicht exportiert werden:\\r" + out_ + "kaputt.shp\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  EXPECT_FALSE(State().blnDoNotSetChangeFlag);
  EXPECT_FALSE(fs::exists(out_ + "kaputt_aktion.dbf"));
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

TEST_F(ExportTest, PhotosThatCannotGoOutWholeAreToldAndStopTheCheckIn) {
  Fill();
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  Catalogue().Execute("update Fotos set Quelle = '" + std::string(255, 'q') +
                      "' where FotoID = -1");
  AddFoto(-5, 3, "KTFoto5.jpg");
  Link(MakeObject("FFH", "DE-9"), -5);
  AddRow(7, host().IdOf("DE-9"), 2, "DE-9", "NEW");
  fs::remove(FotoDir() + "KTFoto5.jpg");
  AnswerUpToFile("fotos");
  Answer(
      "message OK \"Die Quelle des Fotos \\\"Foto -1\\\" (FotoID -1) ist länger als 254 "
      "Zeichen. Das Foto wird nicht exportiert.\"");
  Answer("message OK \"Folgende Fotodateien konnten nicht in den Ordner " + out_ +
         "fotos_Fotos kopiert werden:\\rKTFoto5.jpg\"");
  EXPECT_FALSE(ExportFuncs::VD1CustomExportProc());
  // The source is never cut; the other photos still went.
  EXPECT_EQ(Column(out_ + "fotospc.dbf", "PHOTOID"), (std::vector<std::string>{"-5"}));
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
