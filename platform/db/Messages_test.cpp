// What the mapper reads of the driver, word for word: SQLite's own messages
// in German with the names they carry, the codec's texts passed on without
// a frame, the driver's own texts, and a value of the wrong type named by
// its table, column and record.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <utility>

#include "platform/db/Connection.h"
#include "platform/db/SqliteMessages.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace platform::db {
namespace {

using testing::TestDir;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbError& e) {
    return e.what();
  }
  return "no error";
}

TEST(SqliteMessagesTest, TheOnesAMapperMeetsAreGermanAndKeepTheirNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"no such table: TA_LIST", "Die Tabelle TA_LIST gibt es nicht."},
      {"no such table: main.Fotos", "Die Tabelle Fotos gibt es nicht."},
      {"no such column: Kurzname", "Die Spalte Kurzname gibt es nicht."},
      {"table Fotos has no column named Quelle", "Die Tabelle Fotos hat keine Spalte Quelle."},
      {"table Fotos has 10 columns but 2 values were supplied",
       "Die Tabelle Fotos hat 10 Spalten, angegeben sind aber 2 Werte."},
      {"ambiguous column name: KENNUNG",
       "Der Spaltenname KENNUNG ist mehrdeutig: Mehrere Tabellen der Anweisung haben eine Spalte "
       "dieses Namens."},
      {"near \"selec\": syntax error", "Syntaxfehler in der Anweisung bei \"selec\"."},
      {"incomplete input", "Die Anweisung ist unvollständig."},
      {"UNIQUE constraint failed: Fotos.FotoID",
       "Der Wert in Fotos.FotoID ist schon vergeben: Jeder Wert darf dort nur einmal vorkommen."},
      {"UNIQUE constraint failed: T.A, T.B",
       "Der Wert in T.A, T.B ist schon vergeben: Jeder Wert darf dort nur einmal vorkommen."},
      {"PRIMARY KEY constraint failed: KT_SYS_LIFECYCLE.ID",
       "Der Primärschlüssel KT_SYS_LIFECYCLE.ID ist schon vergeben: Jeder Wert darf dort nur "
       "einmal vorkommen."},
      {"NOT NULL constraint failed: Fotos.PicFileName",
       "Die Spalte Fotos.PicFileName darf nicht leer sein."},
      {"CHECK constraint failed: length(\"Kurzname\") <= 50",
       "Der Text für die Spalte Kurzname ist länger als die erlaubten 50 Zeichen."},
      {"CHECK constraint failed: Betrag > 0", "Der Wert verletzt die Prüfregel Betrag > 0."},
      {"FOREIGN KEY constraint failed",
       "Der Verweis auf einen Datensatz einer anderen Tabelle ist ungültig."},
      {"Index or primary key cannot contain a Null value.",
       "Ein Index oder Primärschlüssel darf keinen leeren Wert (Null) enthalten."},
      {"database is locked",
       "Die Datenbank ist gesperrt: Ein anderes Programm schreibt gerade darin."},
      {"database table is locked", "Eine Tabelle der Datenbank ist gesperrt."},
      {"database or disk is full", "Die Datenbank oder der Datenträger ist voll."},
      {"disk I/O error",
       "Beim Zugriff auf die Datenbankdatei ist ein Ein-/Ausgabefehler aufgetreten."},
      {"file is not a database", "Die Datei ist keine Datenbank."},
      {"database disk image is malformed", "Die Datenbankdatei ist beschädigt."},
      {"attempt to write a readonly database",
       "Die Datenbank ist schreibgeschützt und kann nicht geändert werden."},
      {"unable to open database file", "Die Datenbankdatei kann nicht geöffnet werden."},
  };
  for (const auto& [sqlite, german] : cases) EXPECT_EQ(GermanSqliteMessage(sqlite), german);
}

TEST(SqliteMessagesTest, AnyOtherKeepsSQLitesWordsInAGermanFrame) {
  EXPECT_EQ(GermanSqliteMessage("too many terms in compound SELECT"),
            "Die Datenbank meldet einen Fehler: too many terms in compound SELECT.");
  // Only a whole message is taken for a known one.
  EXPECT_EQ(GermanSqliteMessage("no such table: "),
            "Die Datenbank meldet einen Fehler: no such table: .");
  EXPECT_EQ(GermanSqliteMessage("the database is locked."),
            "Die Datenbank meldet einen Fehler: the database is locked.");
}

// A photo list as a package brings it, one value of which is no number.
class GermanDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    c_ = Connection::Open(dir_.DBaseIII());
    c_->Execute("create table Ppc (PHOTOID text(10), DATUM text(20))");
    c_->Execute("insert into Ppc (PHOTOID, DATUM) values ('1', '2024-05-01')");
    c_->Execute("insert into Ppc (PHOTOID, DATUM) values ('2', '2024-05-02')");
    c_->Execute("insert into Ppc (PHOTOID, DATUM) values ('abc', 'kein Datum')");
  }

  TestDir dir_;
  std::unique_ptr<Connection> c_;
};

TEST_F(GermanDriverTest, AValueOfTheWrongTypeNamesTableColumnAndRecord) {
  Query q(*c_, "select PHOTOID, DATUM from Ppc");
  EXPECT_EQ(q.AsInt32(0), 1);
  q.Next();
  q.Next();
  EXPECT_EQ(ErrorOf([&] { q.AsInt32(0); }),
            "Der Wert 'abc' in Tabelle Ppc, Spalte PHOTOID, Datensatz 3, ist keine ganze Zahl.");
  EXPECT_EQ(ErrorOf([&] { q.AsInt64(0); }),
            "Der Wert 'abc' in Tabelle Ppc, Spalte PHOTOID, Datensatz 3, ist keine ganze Zahl.");
  EXPECT_EQ(ErrorOf([&] { q.AsDouble(0); }),
            "Der Wert 'abc' in Tabelle Ppc, Spalte PHOTOID, Datensatz 3, ist keine Zahl.");
  EXPECT_EQ(ErrorOf([&] { q.AsDateTime(1); }),
            "Der Wert 'kein Datum' in Tabelle Ppc, Spalte DATUM, Datensatz 3, ist kein Datum.");
  q.Next();
  EXPECT_EQ(ErrorOf([&] { q.AsInt32(0); }),
            "Es gibt keinen aktuellen Datensatz: Anfang oder Ende ist erreicht, oder der Datensatz "
            "wurde gelöscht.");
}

TEST_F(GermanDriverTest, AComputedColumnIsNamedByItsNameAndRecord) {
  Query q(*c_,
          "select PHOTOID || '' as NUMMER, 123456789012 as GROSS from Ppc where DATUM = "
          "'kein Datum'");
  EXPECT_EQ(ErrorOf([&] { q.AsInt32(0); }),
            "Der Wert 'abc' in Spalte NUMMER, Datensatz 1, ist keine ganze Zahl.");
  EXPECT_EQ(ErrorOf([&] { q.AsInt32(1); }),
            "Der Wert 123456789012 in Spalte GROSS, Datensatz 1, ist als ganze Zahl zu groß.");
  EXPECT_EQ(q.AsInt64(1), 123456789012);
}

TEST_F(GermanDriverTest, AValueOfTheWrongTypeIsToldInGerman) {
  EXPECT_EQ(ErrorOf([] { Value("x").AsInt32(); }), "Der Wert 'x' ist keine ganze Zahl.");
  EXPECT_EQ(ErrorOf([] { Value("x").AsDouble(); }), "Der Wert 'x' ist keine Zahl.");
  EXPECT_EQ(ErrorOf([] { Value("x").AsDateTime(); }), "Der Wert 'x' ist kein Datum.");
  EXPECT_EQ(ErrorOf([] { Value(int64_t{123456789012}).AsInt32(); }),
            "Der Wert 123456789012 ist als ganze Zahl zu groß.");
}

TEST(GermanDatabaseTest, SQLitesMessagesReachTheMapperInGerman) {
  TestDir dir;
  const std::string file = dir.File("Projekt.mdb");
  Connection::CreateDatabase(file);
  auto c = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
  c->Execute("create table Fotos (FotoID integer, Kurzname text(5))");
  c->Execute("create unique index PrimaryKey on Fotos (FotoID) with primary");
  c->Execute("insert into Fotos (FotoID, Kurzname) values (1, 'Eiche')");
  Query q(*c, "select FotoID, Kurzname from Fotos");
  EXPECT_EQ(ErrorOf([&] { q.AsInt32(1); }),
            "Der Wert 'Eiche' in Tabelle Fotos, Spalte Kurzname, Datensatz 1, ist keine ganze "
            "Zahl.");
  EXPECT_EQ(ErrorOf([&] { c->Execute("insert into Fotos (FotoID, Kurzname) values (1, 'x')"); }),
            "Der Wert in Fotos.FotoID ist schon vergeben: Jeder Wert darf dort nur einmal "
            "vorkommen.");
  EXPECT_EQ(
      ErrorOf([&] { c->Execute("insert into Fotos (FotoID, Kurzname) values (2, 'Buche?')"); }),
      "Der Text für die Spalte Kurzname ist länger als die erlaubten 5 Zeichen.");
  EXPECT_EQ(ErrorOf([&] { c->Execute("insert into Fotos (Kurzname) values ('x')"); }),
            "Ein Index oder Primärschlüssel darf keinen leeren Wert (Null) enthalten.");
  EXPECT_EQ(ErrorOf([&] { Query missing(*c, "select * from Fehlt"); }),
            "Die Tabelle Fehlt gibt es nicht.");
  EXPECT_EQ(ErrorOf([&] { Query missing(*c, "select Quelle from Fotos"); }),
            "Die Spalte Quelle gibt es nicht.");
  const std::string garbage = dir.File("kaputt.mdb");
  TestDir::WriteAll(garbage, std::string(4096, 'x'));
  EXPECT_EQ(ErrorOf([&] { Connection::Open("Data Source=" + garbage); }),
            "'" + garbage + "' kann nicht geöffnet werden: Die Datei ist keine Datenbank.");
}

TEST_F(GermanDriverTest, AMissingTableIsToldInGerman) {
  EXPECT_EQ(ErrorOf([&] { Query q(*c_, "select * from TA_LIST"); }),
            "Die Tabelle TA_LIST gibt es nicht.");
  EXPECT_EQ(ErrorOf([&] { c_->Execute("create index idxKennung on TA_LIST (KENNUNG)"); }),
            "Die Tabelle TA_LIST gibt es nicht.");
  EXPECT_EQ(ErrorOf([&] { c_->Execute("create table Ppc (A integer)"); }),
            "Die Tabelle Ppc ist schon vorhanden.");
  EXPECT_EQ(ErrorOf([&] { Query q(*c_, "selec * from Ppc"); }),
            "Syntaxfehler in der Anweisung bei \"selec\".");
}

TEST_F(GermanDriverTest, TheCodecsTextComesThroughWithoutAFrame) {
  const std::string path = dir_.File("Ppc.dbf");
  std::string bytes = TestDir::ReadAll(path);
  bytes[4] = 9;  // nine records counted, three there
  TestDir::WriteAll(path, bytes);
  auto fresh = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(ErrorOf([&] { Query q(*fresh, "select * from Ppc"); }),
            path + ": Der Dateikopf zählt 9 Datensätze, die Datei enthält aber nur 3.");
  bytes[4] = 3;
  TestDir::WriteAll(path, bytes);
  EXPECT_EQ(ErrorOf([&] { c_->Execute("insert into Ppc (PHOTOID) values ('Zu viele Zeichen')"); }),
            path + ", Datensatz 4, Feld PHOTOID: Ein Text von 16 Zeichen passt nicht in C(10).");
}

TEST(GermanDriverFaultsTest, ALockedTableAndAFullDiskAreToldInGerman) {
  env::MemEnv mem;
  env::FaultEnv faults(mem);
  env::ScopedEnv scoped(faults);
  mem.CreateFolder("/data");
  auto c = Connection::Open("Data Source=/data;Extended Properties=DBASE III;");
  c->Execute("create table TA_KL (TID integer, KENNUNG char(50))");
  faults.HoldLock("TA_KL");
  EXPECT_EQ(ErrorOf([&] { Query q(*c, "select count(*) from TA_KL"); }),
            "/data/TA_KL.dbf: Die Tabelle ist von einem anderen Programm gesperrt.");
  faults.ReleaseLocks();
  faults.Inject(env::Fault(env::Op::kWrite, ENOSPC).On("TA_KL.dbf"));
  EXPECT_EQ(ErrorOf([&] { c->Execute("insert into TA_KL (TID, KENNUNG) values (1, 'NSG-1')"); }),
            "/data/TA_KL.dbf: Die neuen Datensätze können nicht angehängt werden: Auf dem "
            "Datenträger ist kein Platz mehr frei.");
  faults.Clear();
  EXPECT_EQ(testing::All(*c, "select count(*) from TA_KL"), testing::Rows{{"0"}});
}

TEST(GermanDriverOwnTextsTest, TheDriversOwnRefusalsAreGerman) {
  EXPECT_EQ(ErrorOf([] { Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;"); }),
            "Die Verbindungszeichenfolge nennt keine Datenquelle.");
  EXPECT_EQ(ErrorOf([] { Connection::Open("Data Source=/tmp;Extended Properties=Excel 8.0;"); }),
            "Für 'Excel 8.0' gibt es keinen Datenbanktreiber (installierbares ISAM nicht "
            "gefunden).");
  EXPECT_EQ(ErrorOf([] {
              Connection::Open("Data Source=/gibt/es/nicht;Extended Properties=DBASE III;");
            }),
            "'/gibt/es/nicht' ist kein gültiger Pfad.");
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  EXPECT_EQ(ErrorOf([&] { c->Execute("create table X (A blob2)"); }),
            "Syntaxfehler in der Felddefinition: Den Typ 'blob2' der Spalte A gibt es nicht.");
  EXPECT_EQ(ErrorOf([&] { c->Execute("create table X (A autoincrement)"); }),
            "dBase-Tabellen haben keine Felder mit automatischer Nummer: A.");
  c->Execute("create table X (D date)");
  EXPECT_EQ(ErrorOf([&] { Query q(*c, "select * from X where D = #13-45-2024#"); }),
            "Syntaxfehler im Datum '#13-45-2024#' der Anweisung.");
  Table t(*c, "X");
  EXPECT_EQ(ErrorOf([&] { t.First(); }), "Die Tabelle ist nicht geöffnet.");
  t.Open();
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("E"); }), "Das Feld E gibt es in der Tabelle X nicht.");
}

}  // namespace
}  // namespace platform::db
