// The export run against a real project of the host stand-in, where the
// scenario (tests/scenarios/export.kts) cannot reach: the checks made before
// anything is written, what a failed step leaves behind, and the earlier
// build's differences.
#include "exchange/ExportFuncs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
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
  // The next dialog opens there with the prefix.
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "ExportPath", ""),
            Root() + "/out");
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "FileNamePrefix", ""),
            "abcdef");
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
