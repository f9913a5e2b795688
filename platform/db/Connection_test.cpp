// Connections over dBase folders and SQLite database files: what a caller of
// the driver sees, from the connection string to the bytes on disk.
#include "platform/db/Connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/db/Backend.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

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
    EXPECT_NE(msg.find("field N"), std::string::npos) << msg;
  }
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
