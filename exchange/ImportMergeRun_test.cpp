// A re-import that merges, as a mapper meets it: a first import, a day's
// work in the host, the centre's corrections in the next issue, and the
// answer "Zusammenführen": changes of different fields come in from both
// sides without a question, a field changed on both sides is asked and
// decided either way, a cancel leaves every file as it was, an object whose
// package geometry wins is reloaded with its photo links and plant list,
// and an import cut after its merge is taken back at the next load with the
// values it wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "exchange/ImportBases.h"
#include "exchange/ImportJournal.h"
#include "exchange/ImportUndo.h"
#include "exchange/TestImportFixture.h"
#include "platform/env/FaultEnv.h"
#include "transaction/TransActTools.h"

namespace {

namespace fs = std::filesystem;
using platform::env::Fault;
using platform::env::FaultEnv;
using platform::env::Op;
using platform::env::ScopedEnv;

class ImportMergeRunTest : public importtest::ImportTest {
 protected:
  // The first import, then the mapper moves DE-1's boundary and, when
  // asked, renames it; the change is marked as the hooks mark it.
  void MappersDay(const std::string& name = "") {
    WritePackage();
    ASSERT_TRUE(Import());
    id_ = host().IdOf("DE-1");
    host().MoveVertex(id_, 0, {3400001, 5800002});
    if (!name.empty()) {
      host().Activate(id_);
      host().EnterValue("linfos", "NAME", name);
      host().PostRow("linfos");
    }
    TransActTools::UpdateChangedFlag("DE-1", "UPDATE");
  }

  // The centre's next issue: DE-1 renamed.
  void Corrections(const std::string& name) {
    WritePackage();
    std::string xml = Get(pkg_ + "abcdef.xml");
    const size_t at = xml.find("Ruhraue");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 7, name);
    Put(pkg_ + "abcdef.xml", xml);
  }

  std::string Name(int32_t id) {
    host().Activate(id);
    return host().Value("linfos", "NAME").value_or("");
  }

  // The object's class, type and points as the fixture's reader lists them.
  std::string Geometry(const std::string& K) {
    const std::string all = "\n" + HostObjects();
    const size_t at = all.find("\n" + K + " ") + 1;
    return all.substr(at, all.find(" | ", at) - at);
  }

  int32_t id_ = 0;
};

TEST_F(ImportMergeRunTest, TheCentresNameAndTheMappersBoundaryAreBothKeptWithoutAQuestion) {
  MappersDay();
  const std::string moved = Geometry("DE-1");
  Corrections("Ruhraue Nord");
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnZusammenfuehren\nmessage OK"));
  ExpectAllAnswered();
  EXPECT_EQ(host().IdOf("DE-1"), id_) << "the object stays, with its id";
  EXPECT_EQ(Name(id_), "Ruhraue Nord");
  EXPECT_EQ(Geometry("DE-1"), moved);
  // The local boundary survived: the next export sends the object.
  EXPECT_EQ(testsupport::ListRows(ProjectDir())[0], "DE-1 7 1 UPDATE DE-1");
  EXPECT_NE(LastMessage().find("Zusammengeführt: 1 Objekt; 1 Feld aus dem Paket, 1 Feld lokal "
                               "behalten."),
            std::string::npos)
      << LastMessage();
  EXPECT_FALSE(fs::exists(ImportJournal::FileIn(ProjectDir())));

  // The same issue again: what was decided is the base now, so the local
  // boundary is the one change, and nothing is asked but the answer.
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnZusammenfuehren\nmessage OK"));
  ExpectAllAnswered();
  EXPECT_EQ(Name(host().IdOf("DE-1")), "Ruhraue Nord");
  EXPECT_EQ(Geometry("DE-1"), moved);
}

TEST_F(ImportMergeRunTest, ANameChangedOnBothSidesIsAskedAndDecidedEitherWay) {
  for (const bool take_package : {false, true}) {
    SCOPED_TRACE(take_package);
    MappersDay("Ruhraue Süd");
    Corrections("Ruhraue Nord");
    ASSERT_TRUE(Import("abcdef.tid",
                       std::string("form TFormLokaleArbeit\nclick BtnZusammenfuehren\n"
                                   "form TFormKonflikte\nclick ") +
                           (take_package ? "BtnPaket" : "BtnLokal") + "\nclick BtnOK\nmessage OK"));
    ExpectAllAnswered();
    const int32_t id = host().IdOf("DE-1");
    EXPECT_EQ(Name(id), take_package ? "Ruhraue Nord" : "Ruhraue Süd");
    EXPECT_NE(LastMessage().find(std::string("Konflikte:\rDE-1, NAME: ") +
                                 (take_package ? "aus dem Paket" : "lokal behalten")),
              std::string::npos)
        << LastMessage();
    EXPECT_EQ(testsupport::ListRows(ProjectDir())[0], "DE-1 7 1 UPDATE DE-1")
        << "the boundary is local either way";
    TearDown();
    SetUp();
  }
}

TEST_F(ImportMergeRunTest, CancellingTheConflictsLeavesEveryFileAsItWas) {
  MappersDay("Ruhraue Süd");
  Corrections("Ruhraue Nord");
  const auto before = ProjectFiles();
  EXPECT_FALSE(Import("abcdef.tid",
                      "form TFormLokaleArbeit\nclick BtnZusammenfuehren\n"
                      "form TFormKonflikte\nclick BtnAbbrechen"));
  ExpectAllAnswered();
  EXPECT_TRUE(ProjectFiles() == before);
}

class ImportMergeReloadTest : public ImportMergeRunTest {
 protected:
  // The mapper renames K and links a photo and a plant to it; the centre
  // moves its boundary in the next issue.
  void EditBothSides(const std::string& K) {
    WritePackage();
    ASSERT_TRUE(Import());
    id_ = host().IdOf(K);
    host().Activate(id_);
    host().EnterValue("linfos", "NAME", "Bachaue");
    host().PostRow("linfos");
    host().AppendRow("Objektphotos");
    host().EnterValue("Objektphotos", "PhotoID", "501");
    host().PostRow("Objektphotos");
    host().AppendRow("Pflanzenliste");
    host().EnterValue("Pflanzenliste", "Art", "Quercus robur");
    host().PostRow("Pflanzenliste");
    TransActTools::UpdateChangedFlag(K, "UPDATE");
    WritePackage();
    InCentre([&] {
      host().MoveVertex(host().IdOf(K), 0, {3400020, 5800001});
      host().ExportGeodata(pkg_ + "abcdef", true);
    });
  }

  // The object's line as the fixture's reader lists it, rows included.
  std::string Line(const std::string& K) {
    const std::string all = "\n" + HostObjects();
    const size_t at = all.find("\n" + K + " ") + 1;
    return all.substr(at, all.find('\n', at) - at);
  }
};

TEST_F(ImportMergeReloadTest, AnObjectWhosePackageBoundaryWinsKeepsItsLinksPlantListAndName) {
  EditBothSides("DE-1");
  ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnZusammenfuehren\nmessage OK"));
  ExpectAllAnswered();
  const int32_t now = host().IdOf("DE-1");
  EXPECT_NE(now, id_) << "reloaded";
  EXPECT_EQ(Name(now), "Bachaue");
  const std::string line = Line("DE-1");
  EXPECT_NE(line.find("DE-1 1002 3 (3400020.000000,5800001.000000)"), std::string::npos) << line;
  EXPECT_NE(line.find("Objektphotos: Bemerkung=;Hauptphoto=;PhotoID=501;"), std::string::npos)
      << line;
  EXPECT_NE(line.find("Pflanzenliste: Art=Quercus robur;"), std::string::npos) << line;
  EXPECT_EQ(testsupport::ListRows(ProjectDir())[0], "DE-1 7 1 UPDATE DE-1");
  EXPECT_NE(LastMessage().find("Zusammengeführt: 1 Objekt; 1 Feld aus dem Paket, 2 Felder lokal "
                               "behalten."),
            std::string::npos)
      << LastMessage();
}

// The package now lists DE-2 read-only: the local name can never travel
// back. The package's version comes in by default, with the photo link and
// plant list, and the dropped name is named.
TEST_F(ImportMergeReloadTest, LocalWorkOnAnObjectNowReadOnlyIsAConflictOfItsOwn) {
  EditBothSides("DE-2");
  ASSERT_TRUE(Import("abcdef.tid",
                     "form TFormLokaleArbeit\nclick BtnZusammenfuehren\nform TFormKonflikte\n"
                     "click BtnOK\nmessage OK"));
  ExpectAllAnswered();
  EXPECT_EQ(Name(host().IdOf("DE-2")), "");
  const std::string line = Line("DE-2");
  EXPECT_NE(line.find("Objektphotos: Bemerkung=;Hauptphoto=;PhotoID=501;"), std::string::npos)
      << line;
  EXPECT_NE(line.find("Pflanzenliste: Art=Quercus robur;"), std::string::npos) << line;
  EXPECT_EQ(testsupport::ListRows(ProjectDir())[1], "DE-2 7 0 IGNORED DE-2");
  EXPECT_NE(LastMessage().find("DE-2, das Objekt: aus dem Paket"), std::string::npos)
      << LastMessage();
  EXPECT_NE(LastMessage().find("ihre lokalen Änderungen wurden verworfen:\rDE-2, NAME: "
                               "\"Bachaue\""),
            std::string::npos)
      << LastMessage();
}

TEST_F(ImportMergeRunTest, AMergeCutBeforeItsEndIsTakenBackAtTheNextLoadWithItsValues) {
  MappersDay();
  Corrections("Ruhraue Nord");
  const std::string before = Project();
  FaultEnv faults(platform::env::Env::Posix());
  faults.Inject(Fault(Op::kWrite, EIO).On("TA_IMPORT.jnl").After(3));
  faults.Inject(Fault(Op::kRemove, EACCES).On("TA_IMPORT.jnl"));
  {
    ScopedEnv scoped(faults);
    ASSERT_TRUE(Import("abcdef.tid",
                       "form TFormLokaleArbeit\nclick BtnZusammenfuehren\nmessage OK\nmessage OK"));
  }
  faults.Clear();
  ASSERT_TRUE(fs::exists(ImportJournal::FileIn(ProjectDir())));
  ASSERT_EQ(Name(id_), "Ruhraue Nord");
  ClearShown();
  Answer("message OK");
  ImportUndo::RecoverAtLoad();
  ExpectAllAnswered();
  EXPECT_NE(LastMessage().find("Das Projekt ist wieder wie vor dem Import"), std::string::npos)
      << LastMessage();
  // Loaded back from the snapshot, as the objects an import deletes are: a
  // field the host held no value in holds none again.
  EXPECT_EQ(Name(host().IdOf("DE-1")), "Ruhraue");
  EXPECT_EQ(Project(), before);
}

}  // namespace
