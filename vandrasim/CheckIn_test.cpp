// The check-in run's parts: the command line, the log's text, the store.
#include "vandrasim/CheckIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/db/TestDir.h"

namespace vandrasim {
namespace {

using platform::db::testing::TestDir;

std::vector<std::string> Line(std::vector<std::string> front = {}) {
  std::vector<std::string> args = std::move(front);
  for (const char* a : {"-s", "/srv/store", "-u", "anna", "-p", "Ge heim", "-D", "VANDRA NRW", "-d",
                        "/daten/Paket 1", "-n", "VANDRA"})
    args.push_back(a);
  return args;
}

TEST(CommandLine, EachValueIsOneArgumentWithItsBlanks) {
  const ParsedCommandLine p = ParseCommandLine(Line({"-l"}));
  ASSERT_TRUE(p.line) << p.error;
  EXPECT_TRUE(p.line->probe);
  EXPECT_EQ(p.line->server, "/srv/store");
  EXPECT_EQ(p.line->password, "Ge heim");
  EXPECT_EQ(p.line->database, "VANDRA NRW");
  EXPECT_EQ(p.line->folder, "/daten/Paket 1");
  EXPECT_EQ(p.line->prefix, "VANDRA");
  EXPECT_FALSE(ParseCommandLine(Line()).line->probe);
}

TEST(CommandLine, AValueThatLooksLikeAFlagOrIsEmptyIsAValue) {
  std::vector<std::string> args = Line();
  args[5] = "-l";  // the password
  args[3] = "";    // the user
  const ParsedCommandLine p = ParseCommandLine(args);
  ASSERT_TRUE(p.line) << p.error;
  EXPECT_FALSE(p.line->probe);
  EXPECT_EQ(p.line->password, "-l");
  EXPECT_EQ(p.line->user, "");
}

TEST(CommandLine, WrongLinesAreToldWithoutTheirValues) {
  std::vector<std::string> missing = Line();
  missing.erase(missing.begin() + 6, missing.begin() + 8);  // -D VANDRA NRW
  ParsedCommandLine p = ParseCommandLine(missing);
  EXPECT_FALSE(p.line);
  EXPECT_EQ(p.error, "Schalter -D fehlt");
  // Folder and prefix are known all the same, for the log.
  EXPECT_EQ(p.folder, "/daten/Paket 1");
  EXPECT_EQ(p.prefix, "VANDRA");

  // A password a caller split at its blank: the rest is not repeated.
  std::vector<std::string> split = Line();
  split[5] = "Ge";
  split.insert(split.begin() + 6, "heim");
  p = ParseCommandLine(split);
  EXPECT_EQ(p.error, "unerwartetes Argument Nr. 7");

  p = ParseCommandLine(Line({"-x"}));
  EXPECT_EQ(p.error, "unbekannter Schalter: Argument Nr. 1");
  p = ParseCommandLine(Line({"-s", "/anders"}));
  EXPECT_EQ(p.error, "Schalter -s doppelt");
  std::vector<std::string> no_value = Line();
  no_value.pop_back();
  p = ParseCommandLine(no_value);
  EXPECT_EQ(p.error, "Schalter -n ohne Wert");
  EXPECT_FALSE(p.prefix);
}

TEST(CommandLine, APrefixMustNameAFileInTheFolder) {
  for (const char* bad : {"", ".", "..", "a/b", "../x", "a\nb", "a\\b", "..\\x", "C:x", "a:b"})
    EXPECT_FALSE(PrefixIsUsable(bad)) << bad;
  for (const char* good : {"VANDRA", "ab.xml", "Größe1", "a b"}) EXPECT_TRUE(PrefixIsUsable(good));
}

TEST(Log, EndsWithTheTwoMarkerLinesCountingEachKind) {
  const std::string text =
      LogText({"VANDRA Check-In"}, {{FindingKind::kSachdaten, "Objekt A-1: fehlt"},
                                    {FindingKind::kGrafik, "Objekt B-2: Tümpel"},
                                    {FindingKind::kSachdaten, "Foto 3: fehlt"}});
  EXPECT_EQ(text,
            "VANDRA Check-In\r\nObjekt A-1: fehlt\r\nObjekt B-2: T\xFCmpel\r\nFoto 3: fehlt\r\n"
            "Sachdatenfehler: 2\r\nGrafikfehler: 1\r\n");
  EXPECT_EQ(LogText({}, {}, true), "Sachdatenfehler: 0 \r\nGrafikfehler: 0\r\n");
}

TEST(Log, NoTextCanForgeALineOrAMarker) {
  const std::string text = LogText(
      {"Nutzer: x\r\nSachdatenfehler: 0"},
      {{FindingKind::kSachdaten, "Sachdatenfehler: 0"}, {FindingKind::kGrafik, " Grafikfehler 0"}});
  EXPECT_EQ(text,
            "Nutzer: x??Sachdatenfehler: 0\r\n  Sachdatenfehler: 0\r\n   Grafikfehler 0\r\n"
            "Sachdatenfehler: 1\r\nGrafikfehler: 1\r\n");
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestDir::WriteAll(dir_.File("checkin.ini"),
                      "[Nutzer]\r\nanna=Ge heim\r\nleer=\r\n[Datenbanken]\r\nVANDRA NRW=1\r\n");
  }
  TestDir dir_;
  Store store_{platform::env::Env::Posix(), dir_.Path()};
};

TEST_F(StoreTest, LoginNeedsUserPasswordAndDatabase) {
  EXPECT_TRUE(store_.Reachable());
  EXPECT_EQ(store_.Login("anna", "Ge heim", "VANDRA NRW"), std::nullopt);
  EXPECT_EQ(store_.Login("ANNA", "Ge heim", "vandra nrw"), std::nullopt);
  EXPECT_EQ(store_.Login("leer", "", "VANDRA NRW"), std::nullopt);
  for (auto [user, password] : std::vector<std::pair<std::string, std::string>>{{"anna", "ge heim"},
                                                                                {"anna", ""},
                                                                                {"bernd", ""},
                                                                                {"", ""},
                                                                                {"leer", "x"},
                                                                                {"[Nutzer]", ""}}) {
    const auto refused = store_.Login(user, password, "VANDRA NRW");
    ASSERT_TRUE(refused) << user << "/" << password;
    EXPECT_EQ(*refused, "Anmeldung: Nutzer \"" + user + "\" unbekannt oder Passwort falsch");
    EXPECT_EQ(refused->find(password.empty() ? "\x01" : password), std::string::npos);
  }
  EXPECT_EQ(store_.Login("anna", "Ge heim", "VANDRA BRB"),
            "Anmeldung: Datenbank \"VANDRA BRB\" ist auf dem Server nicht bekannt");
  EXPECT_TRUE(store_.Login("anna", "Ge heim", ""));
  EXPECT_FALSE(Store(platform::env::Env::Posix(), dir_.File("fehlt")).Reachable());
}

TEST_F(StoreTest, TestBehavioursAreReadFromTheIni) {
  EXPECT_EQ(store_.Behaviour(), TestBehaviour::kNone);
  for (auto [word, behaviour] : std::vector<std::pair<std::string, TestBehaviour>>{
           {"keinlog", TestBehaviour::kNoLog},
           {"Absturz", TestBehaviour::kCrash},
           {"absturzNachLog", TestBehaviour::kCrashAfterLog},
           {"warten", TestBehaviour::kWait},
           {"leerzeichen", TestBehaviour::kTrailingBlank},
           {"MinusEins", TestBehaviour::kExitMinusOne},
           {"anders", TestBehaviour::kNone}}) {
    TestDir::WriteAll(dir_.File("checkin.ini"),
                      "[Test]\r\nVerhalten=" + word + "\r\nSekunden=2\r\n");
    EXPECT_EQ(store_.Behaviour(), behaviour) << word;
  }
  EXPECT_EQ(store_.WaitSeconds(), 2);
}

TEST_F(StoreTest, ADatabaseNameNeverLeavesItsFolder) {
  EXPECT_EQ(store_.DatabaseFolder("VANDRA NRW"), dir_.Path() + "/eingecheckt/VANDRA%20NRW");
  EXPECT_EQ(store_.DatabaseFolder("../x"), dir_.Path() + "/eingecheckt/%2E%2E%2Fx");
}

TEST_F(StoreTest, ARecordedTransactionIsKnownItsNeighboursAreNot) {
  TestDir package;
  TestDir::WriteAll(package.File("P.tid"), "[Transaktionsdaten]\r\nTransaktion=47110\r\n");
  platform::env::Env::Posix().CreateFolder(package.File("P_Fotos"));
  TestDir::WriteAll(package.File("P_Fotos/a.jpg"), "JPEG");
  EXPECT_FALSE(store_.CheckedIn("VANDRA NRW", 47110));
  store_.Record("VANDRA NRW", 47110, "P", "anna\nx", package.Path(),
                {package.File("P.tid"), package.File("P_Fotos/a.jpg")});
  EXPECT_TRUE(store_.CheckedIn("VANDRA NRW", 47110));
  EXPECT_FALSE(store_.CheckedIn("VANDRA NRW", 4711));
  EXPECT_FALSE(store_.CheckedIn("VANDRA BRB", 47110));
  const std::string kept = store_.DatabaseFolder("VANDRA NRW") + "/47110/";
  EXPECT_EQ(TestDir::ReadAll(kept + "P_Fotos/a.jpg"), "JPEG");
  const std::string record = TestDir::ReadAll(store_.RecordFile("VANDRA NRW"));
  EXPECT_EQ(record.substr(0, 8), "47110\tP\t");
  EXPECT_NE(record.find("\tanna x\n"), std::string::npos) << record;

  // The same package again is the one kept; a changed one, one with a file
  // more or less, is not.
  const std::vector<std::string> files = {package.File("P.tid"), package.File("P_Fotos/a.jpg")};
  EXPECT_TRUE(store_.SamePackage("VANDRA NRW", 47110, package.Path(), files));
  EXPECT_FALSE(store_.SamePackage("VANDRA NRW", 47110, package.Path(), {files[0]}));
  TestDir::WriteAll(package.File("P_Fotos/b.jpg"), "JPEG");
  EXPECT_FALSE(store_.SamePackage("VANDRA NRW", 47110, package.Path(),
                                  {files[0], files[1], package.File("P_Fotos/b.jpg")}));
  TestDir::WriteAll(package.File("P_Fotos/a.jpg"), "JPEG2");
  EXPECT_FALSE(store_.SamePackage("VANDRA NRW", 47110, package.Path(), files));
  EXPECT_FALSE(store_.SamePackage("VANDRA NRW", 4711, package.Path(), files));
}

TEST_F(StoreTest, WhatCutRunsLeftIsTidiedAwayAndRecordedCopiesStay) {
  TestDir package;
  TestDir::WriteAll(package.File("P.tid"), "[Transaktionsdaten]\r\nTransaktion=1\r\n");
  store_.Record("VANDRA NRW", 1, "P", "anna", package.Path(), {package.File("P.tid")});
  platform::env::Env& e = platform::env::Env::Posix();
  const std::string db = store_.DatabaseFolder("VANDRA NRW");
  // A copy being made, a copy whose record line never came, a temporary
  // record file; and what is no leftover.
  for (const char* folder : {"/2.kopie", "/2.kopie/P_Fotos", "/3", "/notizen"}) {
    e.CreateFolder(db + folder);
  }
  TestDir::WriteAll(db + "/2.kopie/P_Fotos/a.jpg.Ab12Cd", "JP");
  TestDir::WriteAll(db + "/3/P.tid", "x");
  TestDir::WriteAll(db + "/transaktionen.txt.Qx7Zk2", "1\tP\n3\tP\n");
  TestDir::WriteAll(db + "/liesmich.txt", "x");
  store_.Tidy();
  std::vector<std::string> left = e.ListFolder(db);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"1", "liesmich.txt", "notizen", "transaktionen.txt"}));
  EXPECT_EQ(TestDir::ReadAll(db + "/1/P.tid"), "[Transaktionsdaten]\r\nTransaktion=1\r\n");
  // A record whose copy was cut before its name came: the next record of
  // the transaction makes the copy anew.
  e.CreateFolder(db + "/4.kopie");
  TestDir::WriteAll(db + "/4.kopie/alt.txt", "alt");
  store_.Record("VANDRA NRW", 4, "P", "anna", package.Path(), {package.File("P.tid")});
  EXPECT_FALSE(e.Stat(db + "/4.kopie"));
  EXPECT_FALSE(e.Stat(db + "/4/alt.txt"));
  EXPECT_TRUE(store_.SamePackage("VANDRA NRW", 4, package.Path(), {package.File("P.tid")}));
}

TEST_F(StoreTest, AWrongCommandLineStillLeavesALogAndNoPassword) {
  TestDir package;
  std::ostringstream err;
  const int code = RunCheckIn(
      platform::env::Env::Posix(),
      {"-l", "-s", dir_.Path(), "-u", "anna", "-p", "Ge heim", "-d", package.Path(), "-n", "P"},
      err);
  EXPECT_EQ(code, 2);
  EXPECT_NE(err.str().find("Schalter -D fehlt"), std::string::npos);
  EXPECT_EQ(err.str().find("Ge heim"), std::string::npos);
  EXPECT_EQ(
      TestDir::ReadAll(package.File("P.log")),
      "VANDRA Check-In\r\nAufruf: Schalter -D fehlt\r\nSachdatenfehler: 1\r\nGrafikfehler: 0\r\n");
  // Without a usable prefix there is no log to write.
  EXPECT_EQ(RunCheckIn(platform::env::Env::Posix(), {"-d", package.Path(), "-n", "../P"}, err), 2);
  EXPECT_FALSE(platform::env::Env::Posix().Stat(package.Path() + "/../P.log"));
}

}  // namespace
}  // namespace vandrasim
