// Connections over dBase folders and SQLite database files: what a caller of
// the driver sees, from the connection string to the bytes on disk.
#include "platform/db/Connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/db/Backend.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"
#include "platform/env/MemEnv.h"

namespace platform::db {
namespace {

using testing::All;
using testing::Rows;
using testing::TestDir;

const char* kCreateList =
    "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
    "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))";

TEST(ConnectionStringTest, DBaseFolderAndDatabaseFileAreTold) {
  TestDir dir;
  auto c3 = Connection::Open(dir.DBaseIII());
  EXPECT_TRUE(c3->IsDBase());
  EXPECT_EQ(c3->DataSource(), dir.Path());
  auto c4 = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.Path() +
                             "/;Extended Properties=\"dBASE IV;\"");
  EXPECT_TRUE(c4->IsDBase());
  EXPECT_EQ(c4->DataSource(), dir.Path());

  const std::string db = dir.File("projekt.mdb");
  Connection::CreateDatabase(db);
  auto s = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db +
                            ";Persist Security Info=False");
  EXPECT_FALSE(s->IsDBase());
  EXPECT_EQ(s->DataSource(), db);
}

TEST(ConnectionStringTest, BadSourcesAreRefusedWithTheirName) {
  TestDir dir;
  EXPECT_THROW(Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;"), DbError);
  try {
    Connection::Open("Data Source=" + dir.File("nowhere") + ";Extended Properties=DBASE III;");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos);
  }
  EXPECT_THROW(Connection::Open("Data Source=" + dir.Path() + ";Extended Properties=Excel 8.0;"),
               DbError);
  EXPECT_THROW(
      Connection::Open("Data Source=" + dir.File("missing.mdb") + ";Persist Security Info=False"),
      DbError);
  TestDir::WriteAll(dir.File("text.mdb"),
                    "this is no database at all, just some text to fill a page");
  EXPECT_THROW(Connection::Open("Data Source=" + dir.File("text.mdb") + ";"), DbError);
  EXPECT_THROW(Connection::CreateDatabase(dir.File("text.mdb")), DbError);
}

TEST(DBaseConnectionTest, CreateInsertSelectUpdateDelete) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute(kCreateList);
  EXPECT_TRUE(std::filesystem::exists(dir.File("TA_LIST.dbf")));
  c->Execute(
      "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values "
      "(3,17,-1,2,'NSG-0001','NEW','NSG-0001')");
  c->Execute(
      "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values "
      "(4,18,99,1,'FFH-0002','IGNORED','FFH-0002')");
  EXPECT_EQ(All(*c, "select TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO from TA_LIST"),
            (std::vector<std::vector<std::string>>{
                {"3", "17", "-1", "2", "NSG-0001", "NEW", "NSG-0001"},
                {"4", "18", "99", "1", "FFH-0002", "IGNORED", "FFH-0002"}}));
  c->Execute("update TA_LIST set CHANGED = 'UPDATE' where KENNUNG = 'FFH-0002'");
  {
    Query q(*c, "select CHANGED from TA_LIST\nwhere KENNUNG = 'FFH-0002'");
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.AsString(0), "UPDATE");
  }
  c->Execute("delete from TA_LIST where KENNUNG = 'NSG-0001'");
  EXPECT_EQ(All(*c, "select count(*) from TA_LIST"),
            (std::vector<std::vector<std::string>>{{"1"}}));
  // Deleting marks the record; it stays in the file.
  const std::string bytes = TestDir::ReadAll(dir.File("TA_LIST.dbf"));
  const size_t header = 32 + 32 * 7 + 1;
  ASSERT_GT(bytes.size(), header);
  EXPECT_EQ(bytes[header], '*');
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x03);
  EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x57);
  EXPECT_EQ(bytes[4], 2);  // both records are counted
}

TEST(DBaseConnectionTest, TableNamesMatchFilesWithoutRegardToCase) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIII());
    c->Execute("create Table ta_kl (TID integer, KENNUNG char(50))");
    c->Execute("insert into TA_KL (TID,KENNUNG) values (1,'A')");
  }
  std::filesystem::rename(dir.File("ta_kl.dbf"), dir.File("Ta_Kl.DBF"));
  auto c = Connection::Open(dir.DBaseIII());
  EXPECT_EQ(All(*c, "select KENNUNG from TA_KL where TID = 1"),
            (std::vector<std::vector<std::string>>{{"A"}}));
  EXPECT_EQ(All(*c, "select count (*) from ta_kl"), (std::vector<std::vector<std::string>>{{"1"}}));
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"Ta_Kl"});
  EXPECT_THROW(c->Execute("create Table TA_KL (TID integer)"), DbError);
}

TEST(DBaseConnectionTest, ATableNameWithItsExtensionNamesTheFile) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table [TA_KL.DBF] (TID integer, KENNUNG char(50))");
  EXPECT_TRUE(std::filesystem::exists(dir.File("TA_KL.DBF")));
  c->Execute("insert into [TA_KL.DBF] (TID,KENNUNG) values (1,'A')");
  EXPECT_EQ(All(*c, "select KENNUNG from TA_KL"), (std::vector<std::vector<std::string>>{{"A"}}));
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"TA_KL"});
  EXPECT_THROW(c->Execute("create Table TA_KL (TID integer)"), DbError);
  c->Execute("drop table [ta_kl.dbf]");
  EXPECT_FALSE(std::filesystem::exists(dir.File("TA_KL.DBF")));
}

TEST(DBaseConnectionTest, ValuesAreStoredAsDBaseStoresThem) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIV());
  c->Execute("create Table T (N integer, S char(10), D date, M memo)");
  c->Execute("insert into T (N,S,D,M) values (42,'  Grün  ',#3-5-2024#,'Notiz über Äcker')");
  c->Execute("insert into T (N,S,D,M) values (NULL,NULL,NULL,NULL)");
  EXPECT_EQ(All(*c, "select N,S,D,M from T"),
            (std::vector<std::vector<std::string>>{
                {"42", "  Grün", "2024-03-05", "Notiz über Äcker"}, {"<null>", "", "<null>", ""}}));
  const std::string bytes = TestDir::ReadAll(dir.File("T.dbf"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x8B);
  EXPECT_NE(bytes.find("         42  Gr\xFCn    20240305"), std::string::npos);
  EXPECT_NE(TestDir::ReadAll(dir.File("T.dbt"))
                .find("Notiz \xFC"
                      "ber \xC4"
                      "cker"),
            std::string::npos);
  Query q(*c, "select D from T where N = 42");
  EXPECT_DOUBLE_EQ(q.AsDateTime(0), 45356.0);
}

TEST(DBaseConnectionTest, ValuesThatDoNotFitAreErrorsAndWriteNothing) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table T (N integer, S char(5), D date)");
  c->Execute("insert into T (N,S) values (1,'a')");
  const std::string before = TestDir::ReadAll(dir.File("T.dbf"));
  EXPECT_THROW(c->Execute("insert into T (N) values (123456789012)"), DbError);
  EXPECT_THROW(c->Execute("insert into T (S) values ('abcdef')"), DbError);
  EXPECT_THROW(c->Execute("insert into T (S) values ('€uro ok but ✓ not')"), DbError);
  EXPECT_THROW(c->Execute("insert into T (N) values ('zwölf')"), DbError);
  EXPECT_THROW(c->Execute("insert into T (D) values ('kein Datum')"), DbError);
  EXPECT_THROW(c->Execute("update T set N = 99999999999 * 10"), DbError);
  EXPECT_EQ(TestDir::ReadAll(dir.File("T.dbf")), before);
  EXPECT_EQ(All(*c, "select N,S from T"), (std::vector<std::vector<std::string>>{{"1", "a"}}));
  // The widest numbers that fit still do.
  c->Execute("update T set N = -9999999999");
  c->Execute("insert into T (N) values (99999999999)");
  EXPECT_EQ(All(*c, "select N from T"),
            (std::vector<std::vector<std::string>>{{"-9999999999"}, {"99999999999"}}));
  try {
    c->Execute("insert into T (N) values (123456789012)");
  } catch (const DbError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find("T.dbf"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Feld N"), std::string::npos) << msg;
  }
}

TEST(DBaseConnectionTest, AnInsertIntoATableThatCountsTooFewRecordsIsRefused) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIII());
    c->Execute("create Table T (N integer)");
    c->Execute("insert into T (N) values (1)");
    c->Execute("insert into T (N) values (2)");
  }
  // A header counting one record, the second behind it with no end mark.
  std::string bytes = TestDir::ReadAll(dir.File("T.dbf"));
  bytes[4] = 1;
  bytes.pop_back();
  TestDir::WriteAll(dir.File("T.dbf"), bytes);
  auto c = Connection::Open(dir.DBaseIII());
  try {
    c->Execute("insert into T (N) values (3)");
    FAIL() << "no error";
  } catch (const DbError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(dir.File("T.dbf") +
                       ": Die Tabelle ist beschädigt: Der Dateikopf zählt 1 Datensatz"),
              std::string::npos)
        << msg;
    EXPECT_NE(msg.find("1 ganzer Datensatz ohne Endmarke"), std::string::npos) << msg;
  }
  EXPECT_EQ(TestDir::ReadAll(dir.File("T.dbf")), bytes);
}

TEST(DBaseConnectionTest, ANulCharacterOrAFractionForAWholeNumberIsAnError) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIV());
  c->Execute("create Table T (N integer, S char(10), M memo)");
  c->Execute("insert into T (N,S) values (1,'a')");
  const std::string before = TestDir::ReadAll(dir.File("T.dbf"));
  const auto error_of = [&](const std::string& sql) -> std::string {
    try {
      c->Execute(sql);
    } catch (const DbError& e) {
      return e.what();
    }
    return "no error";
  };
  const std::string path = dir.File("T.dbf");
  EXPECT_NE(error_of("insert into T (N) values (12.5)")
                .find(path + ", Datensatz 2, Feld N: 12.5 ist keine ganze Zahl"),
            std::string::npos);
  EXPECT_NE(error_of("insert into T (N) values ('12.5')").find("12.5 ist keine ganze Zahl"),
            std::string::npos);
  EXPECT_NE(error_of("update T set N = N + 0.5").find(path + ", Datensatz 1, Feld N"),
            std::string::npos);
  EXPECT_NE(error_of("insert into T (S) values ('a' || char(0) || 'b')")
                .find(path + ", Datensatz 2, Feld S: Ein Text kann das Zeichen U+0000"),
            std::string::npos);
  EXPECT_NE(error_of("update T set M = 'x' || char(0)").find("Datensatz 1, Feld M"),
            std::string::npos);
  Table t(*c, "T");
  t.Open();
  t.Edit();
  t.SetFieldByName("S", Value(std::string("a\0b", 3)));
  EXPECT_THROW(t.Post(), DbError);
  t.Cancel();
  EXPECT_EQ(TestDir::ReadAll(path), before);
  EXPECT_EQ(All(*c, "select N, S, M from T"), (Rows{{"1", "a", ""}}));
  // Whole numbers written as reals or with a zero fraction are whole numbers.
  c->Execute("insert into T (N) values (12.0)");
  c->Execute("insert into T (N) values ('13.0')");
  c->Execute("update T set N = N * 2 where N = 1");
  EXPECT_EQ(All(*c, "select N from T"), (Rows{{"2"}, {"12"}, {"13"}}));
}

TEST(DBaseConnectionTest, QuotesInTextsNeedDoubling) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table TA_KL (TID integer, KENNUNG char(50))");
  EXPECT_THROW(c->Execute("insert into TA_KL (TID,KENNUNG) values (1,'O'Brien')"), DbError);
  c->Execute("insert into TA_KL (TID,KENNUNG) values (1,'" + SqlText("O'Brien") + "')");
  EXPECT_EQ(All(*c, "select KENNUNG from TA_KL where KENNUNG = '" + SqlText("O'Brien") + "'"),
            (std::vector<std::vector<std::string>>{{"O'Brien"}}));
  EXPECT_EQ(SqlText("a''b'"), "a''''b''");
}

TEST(DBaseConnectionTest, AStatementSeesWhatAnotherConnectionWrote) {
  TestDir dir;
  auto a = Connection::Open(dir.DBaseIII());
  auto b = Connection::Open(dir.DBaseIII());
  a->Execute(kCreateList);
  EXPECT_EQ(All(*b, "select count(*) from TA_LIST"),
            (std::vector<std::vector<std::string>>{{"0"}}));
  for (int i = 0; i < 5; ++i) {
    a->Execute("insert into TA_LIST (TID,KENNUNG) values (1,'K" + std::to_string(i) + "')");
    EXPECT_EQ(All(*b, "select count(*) from TA_LIST where TID = 1"),
              (std::vector<std::vector<std::string>>{{std::to_string(i + 1)}}));
  }
  // In-place updates of the same size are seen too, also when they come
  // within the same tick of the file clock.
  for (int i = 0; i < 5; ++i) {
    a->Execute("update TA_LIST set SCHREIBEND = " + std::to_string(i) + " where KENNUNG = 'K3'");
    EXPECT_EQ(All(*b, "select SCHREIBEND from TA_LIST where KENNUNG = 'K3'"),
              (std::vector<std::vector<std::string>>{{std::to_string(i)}}));
  }
  b->Execute("delete from TA_LIST where KENNUNG = 'K0'");
  EXPECT_EQ(All(*a, "select KENNUNG from TA_LIST where TID = 1"),
            (std::vector<std::vector<std::string>>{{"K1"}, {"K2"}, {"K3"}, {"K4"}}));
}

TEST(DBaseConnectionTest, AFileDeletedAndCreatedAnewIsTakenAsItIsNow) {
  TestDir dir;
  auto a = Connection::Open(dir.DBaseIV());
  auto b = Connection::Open(dir.DBaseIV());
  a->Execute("create Table abcpc (PhotoID integer, Kurzname char(50))");
  a->Execute("insert into abcpc (PhotoID,Kurzname) values (1,'eins')");
  EXPECT_EQ(All(*b, "select Kurzname from abcpc"),
            (std::vector<std::vector<std::string>>{{"eins"}}));
  std::filesystem::remove(dir.File("abcpc.dbf"));
  EXPECT_THROW(All(*b, "select Kurzname from abcpc"), DbError);
  a->Execute("create Table abcpc (PhotoID integer, Datei char(20), Kurzname char(50))");
  a->Execute("insert into abcpc (PhotoID,Datei,Kurzname) values (2,'KTFoto1.jpg','zwei')");
  EXPECT_EQ(All(*b, "select * from abcpc"),
            (std::vector<std::vector<std::string>>{{"2", "KTFoto1.jpg", "zwei"}}));
}

TEST(DBaseConnectionTest, DropTableRemovesTheFiles) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table X (A integer, B memo)");
  EXPECT_TRUE(std::filesystem::exists(dir.File("X.dbt")));
  c->Execute("drop table x");
  EXPECT_FALSE(std::filesystem::exists(dir.File("X.dbf")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("X.dbt")));
  EXPECT_THROW(c->Execute("select * from X"), DbError);
}

// The error of a call, or "no error".
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbError& e) {
    return e.what();
  }
  return "no error";
}

// A folder on the in-memory Env, whose clock a test moves on at once: a
// table that is open looks for a second file of its name only now and then.
class MemFolder {
 public:
  MemFolder() { mem.CreateFolder("/data"); }
  std::unique_ptr<Connection> Open() {
    return Connection::Open("Data Source=/data;Extended Properties=DBASE IV;");
  }
  void Copy(const std::string& from, const std::string& to) {
    const std::string bytes = Read(from);
    mem.Open(to, env::OpenMode::kCreateNew)->WriteAt(0, bytes.data(), bytes.size());
  }
  std::string Read(const std::string& path) { return env::ReadFile(mem, path); }
  bool Exists(const std::string& path) { return mem.Stat(path).has_value(); }
  void Later() { mem.SleepFor(std::chrono::seconds(2)); }

  env::MemEnv mem;
  env::ScopedEnv scoped{mem};
};

TEST(DBaseConnectionTest, TwoFilesForOneTableAreAnErrorNamingBoth) {
  MemFolder folder;
  auto c = folder.Open();
  c->Execute(kCreateList);
  c->Execute("insert into TA_LIST (TID) values (1)");
  folder.Copy("/data/TA_LIST.dbf", "/data/TA_LIST.DBF");
  const std::string bytes = folder.Read("/data/TA_LIST.dbf");
  folder.Later();
  auto fresh = folder.Open();
  Table table(*fresh, "TA_LIST");
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"a statement through a new connection",
       [&] { All(*fresh, "select count(*) from TA_LIST"); }},
      {"a statement through one that has used the table",
       [&] { All(*c, "select count(*) from TA_LIST"); }},
      {"an insert right after", [&] { c->Execute("insert into TA_LIST (TID) values (2)"); }},
      {"create table", [&] { fresh->Execute(kCreateList); }},
      {"drop table", [&] { fresh->Execute("drop table ta_list"); }},
      {"a table object", [&] { table.Open(); }},
  };
  for (const auto& [what, call] : calls) {
    const std::string error = ErrorOf(call);
    EXPECT_NE(error.find("/data/TA_LIST.DBF und /data/TA_LIST.dbf passen beide zum Namen"),
              std::string::npos)
        << what << ": " << error;
  }
  EXPECT_EQ(fresh->TableNames(), std::vector<std::string>{"TA_LIST"});
  EXPECT_EQ(folder.Read("/data/TA_LIST.dbf"), bytes);
  EXPECT_EQ(folder.Read("/data/TA_LIST.DBF"), bytes);
  // With one of them gone the table is the other.
  folder.mem.Remove("/data/TA_LIST.DBF");
  folder.Later();
  EXPECT_EQ(All(*c, "select count(*) from TA_LIST"), (Rows{{"1"}}));
  EXPECT_EQ(All(*fresh, "select count(*) from TA_LIST"), (Rows{{"1"}}));
}

TEST(DBaseConnectionTest, TwoFilesForOneTableOnDiskAreAnErrorForANewConnection) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIII());
    c->Execute(kCreateList);
  }
  std::filesystem::copy_file(dir.File("TA_LIST.dbf"), dir.File("ta_list.DBF"));
  auto c = Connection::Open(dir.DBaseIII());
  const std::string error = ErrorOf([&] { c->Execute("insert into TA_LIST (TID) values (1)"); });
  EXPECT_NE(error.find(dir.File("TA_LIST.dbf") + " und " + dir.File("ta_list.DBF")),
            std::string::npos)
      << error;
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"TA_LIST"});
}

TEST(DBaseConnectionTest, AFolderNamedLikeATableIsAnErrorNamingIt) {
  MemFolder folder;
  folder.mem.CreateFolder("/data/TA_KL.dbf");
  auto c = folder.Open();
  for (const char* sql : {"select * from TA_KL", "create Table ta_kl (TID integer)"}) {
    const std::string error = ErrorOf([&] { c->Execute(sql); });
    EXPECT_NE(error.find("/data/TA_KL.dbf ist ein Ordner, keine Datei"), std::string::npos)
        << sql << ": " << error;
  }
  EXPECT_FALSE(folder.Exists("/data/ta_kl.dbf"));
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{});
  // Beside the table's file, the folder is a second candidate.
  c->Execute("create Table X (A integer)");
  folder.mem.CreateFolder("/data/x.DBF");
  folder.Later();
  const std::string error = ErrorOf([&] { All(*c, "select * from X"); });
  EXPECT_NE(error.find("/data/X.dbf und /data/x.DBF"), std::string::npos) << error;
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"X"});
}

TEST(DBaseConnectionTest, TwoMemoFilesForOneTableAreAnErrorNamingBoth) {
  MemFolder folder;
  auto c = folder.Open();
  c->Execute("create Table T (A integer, M memo)");
  c->Execute("insert into T (A, M) values (1, 'Notiz')");
  EXPECT_EQ(All(*c, "select M from T"), (Rows{{"Notiz"}}));
  folder.Copy("/data/T.dbt", "/data/T.DBT");
  folder.Later();
  auto fresh = folder.Open();
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"a statement through a new connection", [&] { All(*fresh, "select M from T"); }},
      {"a statement through one that has used the table", [&] { All(*c, "select M from T"); }},
      {"drop table", [&] { fresh->Execute("drop table T"); }},
  };
  for (const auto& [what, call] : calls) {
    const std::string error = ErrorOf(call);
    EXPECT_NE(error.find("/data/T.DBT und /data/T.dbt passen beide"), std::string::npos)
        << what << ": " << error;
  }
  EXPECT_TRUE(folder.Exists("/data/T.dbf"));
  // Two memo files left by tables long gone are no place for a new one.
  folder.Copy("/data/T.dbt", "/data/U.dbt");
  folder.Copy("/data/T.dbt", "/data/U.DBT");
  const std::string error = ErrorOf([&] { c->Execute("create Table U (M memo)"); });
  EXPECT_NE(error.find("/data/U.DBT und /data/U.dbt"), std::string::npos) << error;
  EXPECT_FALSE(folder.Exists("/data/U.dbf"));
  // One is: the new table takes it over.
  folder.mem.Remove("/data/U.DBT");
  c->Execute("create Table U (M memo)");
  c->Execute("insert into U (M) values ('neu')");
  EXPECT_EQ(All(*c, "select M from U"), (Rows{{"neu"}}));
  EXPECT_FALSE(folder.Exists("/data/U.DBT"));
}

TEST(DBaseConnectionTest, ErrorsCarryTheDriversMessage) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  try {
    Query q(*c, "select * from TA_LIST");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("TA_LIST"), std::string::npos);
  }
  EXPECT_THROW(c->Execute("selec * from"), DbError);
  EXPECT_THROW(c->Execute("create Table Y (A autoincrement)"), DbError);
  EXPECT_THROW(c->Execute("create Table ../Y (A integer)"), DbError);
  EXPECT_THROW(c->Execute("select 1; select 2"), DbError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Y.dbf")));
}

TEST(DBaseConnectionTest, NamesBeginningWithADigitAreTables) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIV());
  c->Execute("create Table 0815_akt(KENNUNG char(41), AKTION char(1))");
  c->Execute("insert into 0815_akt (KENNUNG,AKTION) values ('K1','N')");
  EXPECT_EQ(All(*c, "select AKTION from 0815_akt"), (std::vector<std::vector<std::string>>{{"N"}}));
  EXPECT_TRUE(std::filesystem::exists(dir.File("0815_akt.dbf")));
}

TEST(DBaseConnectionTest, AStatementMayNameManyTablesNotYetOpened) {
  TestDir dir;
  {
    auto setup = Connection::Open(dir.DBaseIII());
    for (const char* t : {"A", "B", "C", "D", "E", "F"}) {
      setup->Execute(std::string("create Table ") + t + " (N integer)");
      setup->Execute(std::string("insert into ") + t + " (N) values (1)");
    }
  }
  auto c = Connection::Open(dir.DBaseIII());
  EXPECT_EQ(All(*c, "select count(*) from A,B,C,D,E,F"),
            (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(DBaseConnectionTest, NumbersRoundToZeroWithoutASignAndHugeWholeNumbersAreFound) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table T (V numeric(20,0), W numeric(6,2))");
  c->Execute("insert into T (V,W) values (9100000000000000000, -0.001)");
  EXPECT_EQ(All(*c, "select count(*) from T where V = 9.1e18"),
            (std::vector<std::vector<std::string>>{{"1"}}));
  EXPECT_NE(TestDir::ReadAll(dir.File("T.dbf")).find("  0.00"), std::string::npos);
  EXPECT_EQ(All(*c, "select W from T"), (std::vector<std::vector<std::string>>{{"0"}}));
}

TEST(SqliteConnectionTest, DatesAreIsoTextsAndReadBackAsDateTimes) {
  TestDir dir;
  const std::string path = dir.File("projekt.mdb");
  Connection::CreateDatabase(path);
  auto c = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                            ";Persist Security Info=False");
  c->Execute("create table D (X date, Y datetime)");
  c->Execute("insert into D (X, Y) values (#12-31-1899#, #1/2/2024 13:30#)");
  Query q(*c, "select X, Y, typeof(X) from D");
  EXPECT_DOUBLE_EQ(q.AsDateTime(0), 1.0);
  EXPECT_NEAR(q.AsDateTime(1), 45293.0 + 13.5 / 24, 1e-9);
  EXPECT_EQ(q.AsString(1), "2024-01-02 13:30:00");
  EXPECT_EQ(q.AsString(2), "text");
}

TEST(SqliteConnectionTest, PrimaryIndexNamesBelongToTheirTable) {
  TestDir dir;
  const std::string path = dir.File("projekt.mdb");
  Connection::CreateDatabase(path);
  auto c = Connection::Open("Data Source=" + path);
  c->Execute("create table A (ID integer, T text(5))");
  c->Execute("create table B (ID integer)");
  c->Execute("Create unique index PrimaryKey on A\n(ID) with primary");
  c->Execute("Create unique index PrimaryKey on B (ID) with primary");
  c->Execute("insert into A (ID, T) values (1, 'x')");
  EXPECT_THROW(c->Execute("insert into A (ID, T) values (1, 'y')"), DbError);
  EXPECT_THROW(c->Execute("insert into A (ID, T) values (NULL, 'y')"), DbError);
  EXPECT_THROW(c->Execute("insert into A (ID, T) values (2, 'zu lang')"), DbError);
  c->Execute("drop index PrimaryKey on A");
  c->Execute("insert into A (ID, T) values (1, 'y')");
  EXPECT_EQ(c->TableNames(), (std::vector<std::string>{"A", "B"}));
}

TEST(SqliteConnectionTest, LiftedLiteralsGiveTheSameRowsAsTheStatementText) {
  auto c = Connection::Open("Data Source=:memory:");
  sqlite3_exec(c->Engine().Session().Handle(),
               "CREATE TABLE T (I INTEGER, R REAL, S TEXT, N NUMERIC, B BLOB, U);"
               "INSERT INTO T VALUES (1, 1.0, '1', 1, x'31', 1), (2, 2.5, 'b', '2.5', 'b', '2'),"
               " (3, NULL, 'it''s', NULL, NULL, 'x'), (10, 10, '10', 10, 10, 10.0);",
               nullptr, nullptr, nullptr);
  const char* queries[] = {
      "select I from T where I = '1'",
      "select I from T where S = 1",
      "select I from T where R = 1",
      "select I from T where N = '2.5'",
      "select I from T where U = 2",
      "select I from T where U = '2'",
      "select I from T where B = 'b'",
      "select I from T where S = 'it''s'",
      "select I from T where S like '1%'",
      "select I from T where I in (1, '3', 10.0)",
      "select I from T where I between '2' and 10",
      "select I, S || 'x' from T where I = 1 + 1",
      "select count(*) from T where S = #3-5-2024#",
      "select I from T where S > 5",
      "select I from T where U > 5",
      "select I from T where R = 1.0e1",
  };
  for (const char* sql : queries) {
    std::vector<std::string> raw;
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(c->Engine().Session().Handle(), c->Translate(sql).c_str(), -1,
                                 &stmt, nullptr),
              SQLITE_OK)
        << sql;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = sqlite3_column_text(stmt, i);
        row += std::string(text ? reinterpret_cast<const char*>(text) : "<null>") + "|";
      }
      raw.push_back(row);
    }
    sqlite3_finalize(stmt);
    std::vector<std::string> lifted;
    for (const auto& r : All(*c, sql)) {
      std::string row;
      for (const auto& v : r) row += v + "|";
      lifted.push_back(row);
    }
    EXPECT_EQ(lifted, raw) << sql;
  }
}

TEST(SqliteConnectionTest, AnAutoincrementColumnMayAlsoSayPrimaryKey) {
  TestDir dir;
  const std::string path = dir.File("projekt.mdb");
  Connection::CreateDatabase(path);
  auto c = Connection::Open("Data Source=" + path);
  c->Execute("create table L2 (ID counter primary key, N text(5))");
  c->Execute("insert into L2 (N) values ('a')");
  c->Execute("insert into L2 (N) values ('b')");
  EXPECT_EQ(All(*c, "select ID, N from L2"),
            (std::vector<std::vector<std::string>>{{"1", "a"}, {"2", "b"}}));
}

TEST(SqliteConnectionTest, TableNamesLeaveOutTheSystemTables) {
  TestDir dir;
  const std::string path = dir.File("projekt.mdb");
  Connection::CreateDatabase(path);
  auto c = Connection::Open("Data Source=" + path);
  c->Execute("create table KT_SYS_LIFECYCLE (ID autoincrement, KENNUNG text(128))");
  c->Execute("insert into KT_SYS_LIFECYCLE (KENNUNG) values ('a')");
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"KT_SYS_LIFECYCLE"});
}

TEST(ValueTest, ConversionsAsTheFieldObjectsMakeThem) {
  EXPECT_EQ(Value().AsInt32(), 0);
  EXPECT_EQ(Value().AsString(), "");
  EXPECT_EQ(Value(" 12 ").AsInt32(), 12);
  EXPECT_EQ(Value(2.5).AsInt32(), 3);
  EXPECT_EQ(Value(int64_t{7}).AsString(), "7");
  EXPECT_EQ(Value(0.1).AsString(), "0.1");
  EXPECT_THROW(Value("zwölf").AsInt32(), DbError);
  EXPECT_THROW(Value(int64_t{99999999999}).AsInt32(), DbError);
  EXPECT_DOUBLE_EQ(Value("2024-03-05").AsDateTime(), 45356.0);
  EXPECT_DOUBLE_EQ(Value(45356.5).AsDateTime(), 45356.5);
  EXPECT_THROW(Value("5.3.2024").AsDateTime(), DbError);
}

}  // namespace
}  // namespace platform::db
