// The package check on small packages written here (tables by the codec,
// geodata by shapelib, the attribute file as text), each with one thing
// wrong, and the attribute file's reader on its own.
#include "vandrasim/PackageCheck.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/db/TestDir.h"
#include "platform/dbase/DbfFile.h"
#include "vandrasim/CheckIn.h"

namespace vandrasim {
namespace {

using platform::db::testing::TestDir;
using platform::dbase::Cell;
using platform::dbase::DbfFile;
using platform::dbase::Flavor;

platform::env::Env& Posix() {
  return platform::env::Env::Posix();
}

void WriteTable(const std::string& path, const std::vector<platform::dbase::FieldSpec>& fields,
                const std::vector<std::vector<Cell>>& rows) {
  auto t = DbfFile::Create(path, Flavor::kDBase4, fields, Posix());
  t->BeginWrite();
  for (const auto& row : rows) {
    const uint32_t rec = t->Append();
    for (size_t i = 0; i < row.size(); ++i) t->Write(rec, static_cast<int>(i), row[i]);
  }
  t->Commit();
}

void WriteLayer(const std::string& base, int type, const std::vector<std::string>& kennungen) {
  SHPHandle h = SHPCreate((base + ".shp").c_str(), type);
  DBFHandle d = DBFCreate((base + ".dbf").c_str());
  DBFAddField(d, "KENNUNG", FTString, 50, 0);
  double x[4] = {0, 10, 10, 0}, y[4] = {0, 0, 10, 0};
  for (const std::string& k : kennungen) {
    SHPObject* s = SHPCreateSimpleObject(type, type == SHPT_POINT ? 1 : 4, x, y, nullptr);
    const int rec = SHPWriteObject(h, -1, s);
    SHPDestroyObject(s);
    DBFWriteStringAttribute(d, rec, 0, k.c_str());
  }
  SHPClose(h);
  DBFClose(d);
}

std::string Xml(const std::vector<std::string>& kennungen) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KartulDaten Tabelle=\"linfos\">\n";
  for (const std::string& k : kennungen)
    text += "  <Objekt Kennung=\"" + k + "\" Klasse=\"1\"><Feld Name=\"NAME\">x</Feld></Objekt>\n";
  return text + "</KartulDaten>\n";
}

Cell T(const std::string& s) {
  return Cell::Text(s);
}

// A change list as the export writes it: Windows-1252, CR LF.
std::string ChangeList(const std::vector<std::string>& changed,
                       const std::vector<std::string>& deleted,
                       const std::vector<std::string>& created) {
  std::string text;
  auto block = [&](const std::string& title, const std::vector<std::string>& kennungen) {
    text += title + " (" + std::to_string(kennungen.size()) + ")\r\n";
    for (const std::string& k : kennungen) text += k + "\r\n";
  };
  block("Ge\xE4nderte Objekte", changed);
  text += "\r\n";
  block("Gel\xF6schte Objekte", deleted);
  text += "\r\n";
  block("Neue Objekte", created);
  return text;
}

// A package of transaction 4711: A-1 changed, A-2 new, A-3 deleted, A-4
// switched to A-5 (its old identifier deleted), and A-4 given again to a
// new object; one photo.
class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestDir::WriteAll(dir_.File("P.tid"),
                      "[Transaktionsdaten]\r\nTransaktion=4711\r\nGK-Streifen=0\r\n");
    TestDir::WriteAll(dir_.File("P.xml"), Xml({"A-1", "A-2", "A-5", "A-4"}));
    WriteLayer(dir_.File("P"), SHPT_POLYGON, {"A-1", "A-2", "A-5"});
    WriteLayer(dir_.File("P_pkt"), SHPT_POINT, {"A-4"});
    WriteActions({{T("A-1"), T("U")},
                  {T("A-2"), T("N")},
                  {T("A-3"), T("D")},
                  {T("A-4"), T("D")},
                  {T("A-5"), T("N")},
                  {T("A-4"), T("N")},
                  {T("A-6"), T("I")}});
    TestDir::WriteAll(dir_.File("P_rp.txt"), ChangeList({"A-1", "A-5"}, {"A-3"}, {"A-2", "A-4"}));
    Posix().CreateFolder(dir_.File("P_Fotos"));
    TestDir::WriteAll(dir_.File("P_Fotos/KTFoto1.jpg"), "JPEG");
    WritePhotos({{Cell::Integer(-1), T("KTFoto1.jpg")}});
  }
  void WriteActions(const std::vector<std::vector<Cell>>& rows,
                    const std::string& name = "P_aktion") {
    if (Posix().Stat(dir_.File("P_aktion.dbf"))) Posix().Remove(dir_.File("P_aktion.dbf"));
    WriteTable(dir_.File(name + ".dbf"), {{"KENNUNG", 'C', 41, 0}, {"AKTION", 'C', 1, 0}}, rows);
  }
  void WritePhotos(const std::vector<std::vector<Cell>>& rows) {
    if (Posix().Stat(dir_.File("Ppc.dbf"))) Posix().Remove(dir_.File("Ppc.dbf"));
    WriteTable(dir_.File("Ppc.dbf"), {{"PhotoID", 'N', 11, 0}, {"Datei", 'C', 50, 0}}, rows);
  }
  PackageReport Check() { return CheckPackage(Posix(), {dir_.Path(), "P"}); }
  std::vector<std::string> Texts() {
    // "G " for a geometry finding, "S " for the others.
    std::vector<std::string> out;
    for (const Finding& f : Check().findings)
      out.push_back((f.kind == FindingKind::kGrafik ? "G " : "S ") + f.text);
    return out;
  }

  TestDir dir_;
};

TEST_F(PackageTest, AWholePackageHasNoFindingsAndListsItsFiles) {
  WriteTable(dir_.File("dummy.dbf"), {{"X", 'C', 1, 0}}, {});
  const PackageReport r = Check();
  EXPECT_EQ(r.findings, std::vector<Finding>{});
  EXPECT_EQ(r.transaktion, 4711);
  for (const char* f : {"P.tid", "P.xml", "P.shp", "P.shx", "P_pkt.dbf", "P_aktion.dbf", "Ppc.dbf",
                        "P_rp.txt", "P_Fotos/KTFoto1.jpg"})
    EXPECT_NE(std::find(r.files.begin(), r.files.end(), dir_.File(f)), r.files.end()) << f;
  EXPECT_EQ(std::find(r.files.begin(), r.files.end(), dir_.File("dummy.dbf")), r.files.end());
}

TEST_F(PackageTest, FilesAreFoundInAnyLetterCaseButNotUnderOtherNames) {
  Posix().Rename(dir_.File("P_aktion.dbf"), dir_.File("P_AKTIO.DBF"));
  EXPECT_EQ(Texts(), std::vector<std::string>{"S Tabelle P_aktion.dbf: fehlt"});
  Posix().Rename(dir_.File("P_AKTIO.DBF"), dir_.File("p_AKTION.DBF"));
  Posix().Rename(dir_.File("P_rp.txt"), dir_.File("p_RP.TXT"));
  Posix().Rename(dir_.File("P_Fotos"), dir_.File("p_fotos"));
  Posix().Rename(dir_.File("P.tid"), dir_.File("p.TID"));
  EXPECT_EQ(Texts(), std::vector<std::string>{});
}

TEST(PackageNames, TheShortActionTableIsTheFirstEightCharacters) {
  EXPECT_EQ((PackageNames{"/d", "VANDRA"}).ActionTableShortName(), "VANDRA_a.dbf");
  EXPECT_EQ((PackageNames{"/d", "Größe1"}).ActionTableShortName(), "Größe1_a.dbf");
  EXPECT_EQ((PackageNames{"/d", "P"}).ActionTableShortName(), "P_aktion.dbf");
}

TEST_F(PackageTest, ObjectsMissingOrLeftOverAreToldByIdentifier) {
  TestDir::WriteAll(dir_.File("P.xml"), Xml({"A-1", "A-3", "A-5", "A-4"}));
  WriteLayer(dir_.File("P"), SHPT_POLYGON, {"A-2", "A-3", "A-5"});
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{
                "G Objekt A-1: neu oder geändert gemeldet, fehlt aber in den Geodaten P*.shp",
                "S Objekt A-2: neu oder geändert gemeldet, fehlt aber in der XML-Datei P.xml",
                "S Objekt A-3: als gelöscht gemeldet, steht aber noch in der XML-Datei P.xml",
                "G Objekt A-3: als gelöscht gemeldet, steht aber noch in den Geodaten P.shp"}));
}

TEST_F(PackageTest, BadActionRowsAreToldWithRecordAndField) {
  WriteActions({{T("A-1"), T("u")},
                {T(""), T("N")},
                {T("A-2"), T("N")},
                {T("A-5"), T("N")},
                {T("A-4"), T("N")}});
  EXPECT_EQ(
      Texts(),
      (std::vector<std::string>{
          "S Objekt A-1: unbekannter Aktionscode \"u\" (Tabelle P_aktion.dbf, Satz 1, Feld AKTION)",
          "S Tabelle P_aktion.dbf, Satz 2, Feld KENNUNG: keine Kennung",
          // Told once, the identifier of the unknown code is compared no further.
          "S Tabelle P_aktion.dbf: 0 Zeilen mit D, in der Änderungsliste P_rp.txt stehen 1 "
          "gelöschte und 1 umbenannte Objekte"}));
}

TEST_F(PackageTest, TheFilesMustBeOfOneExport) {
  // The change list of another export: a new object the table does not
  // have, one the list does not have, a deletion without its row.
  TestDir::WriteAll(dir_.File("P_rp.txt"),
                    ChangeList({"A-1", "A-5"}, {"A-3", "A-7"}, {"A-9", "A-4"}));
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{
                "S Objekt A-9: in der Änderungsliste P_rp.txt neu, in der Aktionstabelle aber "
                "nicht mit N",
                "S Objekt A-2: in der Aktionstabelle mit N, fehlt aber in der Änderungsliste "
                "P_rp.txt",
                "S Tabelle P_aktion.dbf: 2 Zeilen mit D, in der Änderungsliste P_rp.txt stehen 2 "
                "gelöschte und 1 umbenannte Objekte"}));

  // A list cut short, or going on after its last block.
  const std::string whole = ChangeList({"A-1", "A-5"}, {"A-3"}, {"A-2", "A-4"});
  TestDir::WriteAll(dir_.File("P_rp.txt"), whole.substr(0, whole.size() - 6));
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "S Datei P_rp.txt: \"Neue Objekte (2)\", aber nur 1 Zeilen folgen; die "
                         "Liste ist unvollständig"});
  TestDir::WriteAll(dir_.File("P_rp.txt"), whole.substr(0, whole.find("\r\n\r\n")));
  EXPECT_EQ(Texts(),
            std::vector<std::string>{"S Datei P_rp.txt, Zeile 4: keine Leerzeile vor "
                                     "\"Gelöschte Objekte\"; die Liste ist unvollständig"});
  TestDir::WriteAll(dir_.File("P_rp.txt"), "");
  EXPECT_EQ(Texts(), std::vector<std::string>{"S Datei P_rp.txt, Zeile 1: \"Geänderte Objekte "
                                              "(Anzahl)\" erwartet; die Liste ist unvollständig"});
  TestDir::WriteAll(dir_.File("P_rp.txt"), whole + "A-8\r\n");
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "S Datei P_rp.txt, Zeile 11: mehr Zeilen, als \"Neue Objekte\" zählt"});
  Posix().Remove(dir_.File("P_rp.txt"));
  EXPECT_EQ(Texts(), std::vector<std::string>{"S Datei P_rp.txt: fehlt"});
  TestDir::WriteAll(dir_.File("P_rp.txt"), whole);

  // Attributes and geodata of an object the table does not report.
  TestDir::WriteAll(dir_.File("P.xml"), Xml({"A-1", "A-2", "A-5", "A-4", "A-6", "B-1"}));
  WriteLayer(dir_.File("P"), SHPT_POLYGON, {"A-1", "A-2", "A-5", "B-1"});
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         "S Objekt A-6: steht in der XML-Datei P.xml, ist in der Aktionstabelle "
                         "aber nicht als neu oder geändert gemeldet",
                         "S Objekt B-1: steht in der XML-Datei P.xml, ist in der Aktionstabelle "
                         "aber nicht als neu oder geändert gemeldet",
                         "G Objekt B-1: steht in den Geodaten P.shp, ist in der Aktionstabelle "
                         "aber nicht als neu oder geändert gemeldet"}));
}

TEST_F(PackageTest, PhotosMustBeInThePhotoFolderUnderAPlainName) {
  WritePhotos({{Cell::Integer(-1), T("KTFOTO1.JPG")},
               {Cell::Integer(-2), T("KTFoto2.jpg")},
               {Cell::Integer(-3), T("../P.tid")},
               {Cell::Integer(-4), T("")}});
  EXPECT_EQ(
      Texts(),
      (std::vector<std::string>{
          "S Foto -2: Datei KTFoto2.jpg fehlt im Fotoordner P_Fotos (Tabelle Ppc.dbf, Satz 2)",
          "S Foto -3: Dateiname \"../P.tid\" ist kein einfacher Dateiname (Tabelle Ppc.dbf, "
          "Satz 3, Feld DATEI)",
          "S Foto -4: keine Datei angegeben (Tabelle Ppc.dbf, Satz 4, Feld DATEI)"}));
}

TEST_F(PackageTest, TheTransactionFileMustNameATransaction) {
  for (const char* bad : {"-1", "4711.0", "abc", "99999999999", " "}) {
    TestDir::WriteAll(dir_.File("P.tid"), std::string("[Transaktionsdaten]\r\nTransaktion=") + bad);
    const PackageReport r = Check();
    EXPECT_FALSE(r.transaktion) << bad;
    ASSERT_EQ(r.findings.size(), 1u) << bad;
    EXPECT_EQ(r.findings[0].text.substr(0, 11), "Datei P.tid") << bad;
  }
  TestDir::WriteAll(dir_.File("P.tid"), "[Transaktionsdaten]\r\nTransaktion=0\r\n");
  EXPECT_EQ(Check().transaktion, 0);
}

TEST_F(PackageTest, DamagedTablesNameFileAndWhereTheyFail) {
  // A numeric field holding letters: the codec names record and field.
  std::string bytes = TestDir::ReadAll(dir_.File("Ppc.dbf"));
  const size_t at = bytes.find("         -1");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 11, "        abc");
  TestDir::WriteAll(dir_.File("Ppc.dbf"), bytes);
  std::vector<std::string> t = Texts();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].rfind("S Tabelle Ppc.dbf: nicht lesbar: ", 0), 0u) << t[0];
  EXPECT_NE(t[0].find("Datensatz 1"), std::string::npos) << t[0];
  EXPECT_NE(t[0].find("PHOTOID"), std::string::npos) << t[0];

  // Geodata whose shapes and rows do not match are a geometry finding.
  WritePhotos({{Cell::Integer(-1), T("KTFoto1.jpg")}});
  WriteLayer(dir_.File("P_pkt"), SHPT_POINT, {"A-4"});
  bytes = TestDir::ReadAll(dir_.File("P_pkt.dbf"));
  TestDir::WriteAll(dir_.File("P_pkt.dbf"), bytes.substr(0, bytes.size() - 20));
  t = Texts();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].rfind("G Geodaten P_pkt.dbf: nicht lesbar: ", 0), 0u) << t[0];

  Posix().Remove(dir_.File("P.shx"));
  t = Texts();
  EXPECT_NE(std::find(t.begin(), t.end(), "G Geodaten P.shp: P.shx fehlt"), t.end());
}

// An Env that stops the program at its n-th step that changes or syncs the
// file system, as a kill would: nothing after it runs (a thrown Killed is
// caught by no handler of the program's).
struct Killed {};
class KillingEnv : public platform::env::Env {
 public:
  KillingEnv(platform::env::Env& target, int steps) : target_(target), left_(steps) {}
  bool Fired() const { return fired_; }

  std::unique_ptr<platform::env::File> Open(const std::string& path, platform::env::OpenMode mode,
                                            uint32_t create_mode) override {
    if (mode != platform::env::OpenMode::kRead) Step();
    return target_.Open(path, mode, create_mode);
  }
  std::optional<platform::env::FileStatus> Stat(const std::string& path) override {
    return target_.Stat(path);
  }
  std::optional<platform::env::FileStatus> LinkStatus(const std::string& path) override {
    return target_.LinkStatus(path);
  }
  std::vector<std::string> ListFolder(const std::string& folder) override {
    return target_.ListFolder(folder);
  }
  void CreateFolder(const std::string& folder, uint32_t mode) override {
    Step();
    target_.CreateFolder(folder, mode);
  }
  void RemoveFolder(const std::string& folder) override {
    Step();
    target_.RemoveFolder(folder);
  }
  void Rename(const std::string& from, const std::string& to) override {
    Step();
    target_.Rename(from, to);
  }
  void Remove(const std::string& path) override {
    Step();
    target_.Remove(path);
  }
  void SyncFolder(const std::string& folder) override {
    Step();
    target_.SyncFolder(folder);
  }
  void SyncFileSystem(const std::string& folder) override {
    Step();
    target_.SyncFileSystem(folder);
  }
  std::unique_ptr<platform::env::File> CreateTemporary(const std::string& folder,
                                                       const std::string& prefix) override {
    Step();
    return target_.CreateTemporary(folder, prefix);
  }
  std::string ResolveLinks(const std::string& path) override { return target_.ResolveLinks(path); }
  uint32_t DefaultFileMode() override { return target_.DefaultFileMode(); }
  int64_t WallNs() override { return target_.WallNs(); }
  int64_t SteadyNs() override { return target_.SteadyNs(); }
  std::tm LocalTime(int64_t seconds) override { return target_.LocalTime(seconds); }
  void SleepFor(std::chrono::microseconds duration) override { target_.SleepFor(duration); }

 private:
  void Step() {
    if (left_-- == 0) {
      fired_ = true;
      throw Killed{};
    }
  }
  platform::env::Env& target_;
  int left_;
  bool fired_ = false;
};

TEST_F(PackageTest, ACheckInCutAtAnyStepIsRecordedOnlyWithItsLogAndGoesThroughWhenRepeated) {
  TestDir store;
  TestDir::WriteAll(store.File("checkin.ini"), "[Nutzer]\r\nanna=x\r\n[Datenbanken]\r\nDB=1\r\n");
  const std::vector<std::string> args = {"-s", store.Path(), "-u", "anna",      "-p", "x",
                                         "-D", "DB",         "-d", dir_.Path(), "-n", "P"};
  const std::string db = store.File("eingecheckt/DB");
  const std::string clean_end = "Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n";
  auto records = [&] {
    const std::string text = TestDir::ReadAll(db + "/transaktionen.txt");
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  };
  auto log_is_clean = [&] {
    const std::string log = TestDir::ReadAll(dir_.File("P.log"));
    return log.size() >= clean_end.size() &&
           log.compare(log.size() - clean_end.size(), clean_end.size(), clean_end) == 0;
  };
  int cut = 0, logged_only = 0;
  for (int steps = 0;; ++steps) {
    std::filesystem::remove_all(store.File("eingecheckt"));
    std::filesystem::remove(dir_.File("P.log"));
    std::ostringstream err;
    KillingEnv killing(Posix(), steps);
    try {
      platform::env::ScopedEnv scoped(killing);
      RunCheckIn(killing, args, err);
    } catch (const Killed&) {
    }
    if (!killing.Fired()) break;  // the whole run took fewer steps
    ++cut;
    const std::string at = "cut before step " + std::to_string(steps);
    if (records() > 0) {
      EXPECT_TRUE(log_is_clean()) << at << ": recorded without its log";
      EXPECT_EQ(TestDir::ReadAll(db + "/4711/P.xml"), TestDir::ReadAll(dir_.File("P.xml"))) << at;
    } else if (log_is_clean()) {
      ++logged_only;
    }
    // The hand-over repeated goes through, and nothing of the cut is left.
    EXPECT_EQ(RunCheckIn(Posix(), args, err), 0) << at << ": " << err.str();
    EXPECT_TRUE(log_is_clean()) << at;
    EXPECT_EQ(records(), 1) << at;
    std::vector<std::string> left = Posix().ListFolder(db);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"4711", "transaktionen.txt"})) << at;
    for (const std::string& name : Posix().ListFolder(dir_.Path())) {
      EXPECT_EQ(name.find("P.log."), std::string::npos) << at << ": " << name;
    }
  }
  EXPECT_GT(cut, 10);
  EXPECT_GT(logged_only, 0) << "no cut fell between the log and the record";
}

TEST_F(PackageTest, UnderMinusEinsARunEndsWithMinusOneAndOnlyItsLogTellsHowItWent) {
  TestDir store;
  TestDir::WriteAll(store.File("checkin.ini"),
                    "[Nutzer]\r\nanna=x\r\n[Datenbanken]\r\nDB=1\r\n[Test]\r\nVerhalten=minuseins\r\n");
  // The folder given with a separator at its end, as a caller may.
  const std::vector<std::string> args = {"-s", store.Path(), "-u", "anna", "-p", "x", "-D", "DB",
                                         "-d", dir_.Path() + "/", "-n", "P"};
  std::ostringstream err;
  EXPECT_EQ(RunCheckIn(Posix(), args, err), -1) << err.str();
  const std::string clean_end = "Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n";
  std::string log = TestDir::ReadAll(dir_.File("P.log"));
  ASSERT_GE(log.size(), clean_end.size());
  EXPECT_EQ(log.substr(log.size() - clean_end.size()), clean_end);
  // Recorded with the package's files as they lie below its folder.
  const std::string kept = store.File("eingecheckt/DB/4711");
  EXPECT_EQ(TestDir::ReadAll(kept + "/P_Fotos/KTFoto1.jpg"), "JPEG");
  EXPECT_EQ(TestDir::ReadAll(kept + "/P.xml"), TestDir::ReadAll(dir_.File("P.xml")));

  // With findings, too, the exit code is -1: the log has them.
  Posix().Remove(dir_.File("P_Fotos/KTFoto1.jpg"));
  EXPECT_EQ(RunCheckIn(Posix(), args, err), -1);
  log = TestDir::ReadAll(dir_.File("P.log"));
  EXPECT_NE(log.find("Sachdatenfehler: 2\r\n"), std::string::npos) << log;
}

TEST(XmlObjects, TakesEveryObjectsIdentifierWithEntitiesDecoded) {
  EXPECT_EQ(XmlObjectKennungen("<?xml version=\"1.0\"?><!-- <Objekt Kennung=\"X\"/> --><K>"
                               "<Objekt Kennung='A&amp;B'/><Objekt Klasse=\"1\" "
                               "Kennung=\"&#x00C4;-1\"><![CDATA[<Objekt Kennung=\"Y\"/>]]>"
                               "</Objekt></K>",
                               "P.xml"),
            (std::vector<std::string>{"A&B", "\xC3\x84-1"}));
  EXPECT_EQ(XmlObjectKennungen("<K/>", "P.xml"), std::vector<std::string>{});
  // The encoding the file declares.
  EXPECT_EQ(XmlObjectKennungen("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                               "<K><Objekt Kennung=\"\xC4hre\"/></K>",
                               "P.xml"),
            std::vector<std::string>{"\xC3\x84hre"});
}

TEST(XmlObjects, DamagedFilesAreToldWithTheirLine) {
  for (const char* bad :
       {"", "<K>", "<K>\n<Objekt Kennung=\"A\"></K>", "<K a=1/>",
        "<K><Objekt Kennung=\"&bogus;\"/></K>", "<K/><L/>", "<K>\n<Objekt Klasse=\"1\"/></K>",
        "<K><Objekt Kennung=\"&#0;\"/></K>", "<K>\xFF</K>",
        "<K><Objekt Kennung=\"a\" Kennung=\"b\"/></K>", "<K>a < b</K>",
        "<!DOCTYPE K [<!ENTITY e \"x\">]><K><Objekt Kennung=\"&e;\"/></K>"}) {
    EXPECT_THROW(XmlObjectKennungen(bad, "P.xml"), std::runtime_error) << bad;
  }
  try {
    XmlObjectKennungen("<K>\n\n<Objekt Kennung=\"A\"></K>", "P.xml");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(
        e.what(),
        "Die XML-Datei P.xml hat ein Element, das nicht richtig geschlossen ist (Zeile 3).");
  }
  try {
    XmlObjectKennungen("<K><Objekt Kennung=\"A\"/>\n<Objekt Klasse=\"1\"/></K>", "P.xml");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "das Objekt 2 hat keine Kennung");
  }
}

}  // namespace
}  // namespace vandrasim
