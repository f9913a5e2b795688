// Every statement text the system sends, run verbatim: the transaction
// tables (dBase III project folder), the object class query (procedure
// database), the photo catalogue and the lifecycle journal (project
// database), the export and import tables (dBase IV exchange folder).
// The texts below are copied character for character; multi-line queries
// are joined by line breaks as the query objects send them (CR LF).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "platform/db/Backend.h"
#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

namespace platform::db {
namespace {

using testing::All;
using testing::Rows;
using testing::TestDir;

// Fills the {slots} of a statement text.
std::string Fill(std::string text, const std::map<std::string, std::string>& slots) {
  for (const auto& [name, value] : slots) {
    const std::string slot = "{" + name + "}";
    for (size_t at = text.find(slot); at != std::string::npos;
         at = text.find(slot, at + value.size())) {
      text.replace(at, slot.size(), value);
    }
  }
  return text;
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\r\n") + l;
  return out;
}

class TransactionStatementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    c_ = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir_.Path() + ";" +
                          "Extended Properties=DBASE III;");
    c_->Execute("create Table TA_KL (TID integer, KENNUNG char(50))");
    c_->Execute(
        Fill("create Table {name} (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
             "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))",
             {{"name", "TA_LIST"}}));
    c_->Execute("create Table TA_ID (TID integer, NAME char(75),OWNER char(75))");
  }
  void Save(int tid, int kartul_id, int vgnr, int schreibend, const std::string& k,
            const std::string& changed) {
    c_->Execute(
        Fill("insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values "
             "({TID},{KartulID},{Vorgangsnummer},{Schreibend},'{Kennung}','{Changed}','{Kennung}')",
             {{"TID", std::to_string(tid)},
              {"KartulID", std::to_string(kartul_id)},
              {"Vorgangsnummer", std::to_string(vgnr)},
              {"Schreibend", std::to_string(schreibend)},
              {"Kennung", k},
              {"Changed", changed}}));
  }
  TestDir dir_;
  std::unique_ptr<Connection> c_;
};

TEST_F(TransactionStatementsTest, TablesAreDBaseIIIFilesWithTheirColumns) {
  for (const char* name : {"TA_KL.dbf", "TA_LIST.dbf", "TA_ID.dbf"}) {
    const std::string bytes = TestDir::ReadAll(dir_.File(name));
    ASSERT_GE(bytes.size(), 32u) << name;
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x03) << name;
  }
  const std::string list = TestDir::ReadAll(dir_.File("TA_LIST.dbf"));
  // Integer columns are N(11,0); the character columns keep their widths.
  EXPECT_EQ(list.substr(32, 3), std::string("TID"));
  EXPECT_EQ(list[32 + 11], 'N');
  EXPECT_EQ(list[32 + 16], 11);
  EXPECT_EQ(list[32 + 17], 0);
  EXPECT_EQ(list[32 + 4 * 32 + 11], 'C');
  EXPECT_EQ(list[32 + 4 * 32 + 16], 50);
  EXPECT_EQ(list[32 + 5 * 32 + 16], 15);
}

TEST_F(TransactionStatementsTest, TransactionListQueriesAndCommands) {
  Save(3, 101, 7001, 1, "NSG-0001", "IGNORED");
  Save(3, 102, 7002, 0, "NSG-0002", "IGNORED");
  Save(4, 103, -1, 2, "FFH-0003", "NEW");
  Save(3, 104, 7004, 1, "NSG-0004", "UPDATE");

  const std::map<std::string, std::string> k1 = {{"K", "NSG-0001"}};
  EXPECT_EQ(All(*c_, Fill(Lines({"select count(*) from TA_LIST", "where KENNUNG = '{K}'"}), k1)),
            (Rows{{"1"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select KARTULID from TA_LIST", "where KENNUNGO = '{K}'"}), k1)),
            (Rows{{"101"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select SCHREIBEND from TA_LIST", "where KENNUNG= '{K}'"}), k1)),
            (Rows{{"1"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select TID from TA_LIST", "where KENNUNG= '{K}'"}), k1)),
            (Rows{{"3"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select CHANGED from TA_LIST", "where KENNUNG = '{K}'"}), k1)),
            (Rows{{"IGNORED"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select KENNUNGO from TA_LIST", "where KENNUNG = '{K}'"}), k1)),
            (Rows{{"NSG-0001"}}));
  EXPECT_EQ(
      All(*c_, Fill(Lines({"select TID,KARTULID,VGNR,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST",
                           "where KENNUNG = '{K}'"}),
                    k1)),
      (Rows{{"3", "101", "7001", "1", "IGNORED", "NSG-0001"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select SCHREIBEND from TA_LIST", "where KENNUNG= '{K}'"}),
                          {{"K", "nicht-da"}})),
            (Rows{}));

  const std::string select_all =
      "select TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO from TA_LIST";
  EXPECT_EQ(All(*c_, Fill(Lines({select_all, "where SCHREIBEND = {S}"}), {{"S", "1"}})),
            (Rows{{"3", "101", "7001", "1", "NSG-0001", "IGNORED", "NSG-0001"},
                  {"3", "104", "7004", "1", "NSG-0004", "UPDATE", "NSG-0004"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({select_all, "where SCHREIBEND = {S}", "and TID = {T}"}),
                          {{"S", "2"}, {"T", "4"}})),
            (Rows{{"4", "103", "-1", "2", "FFH-0003", "NEW", "FFH-0003"}}));
  EXPECT_EQ(All(*c_, Lines({select_all, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'"})),
            (Rows{{"3", "104", "7004", "1", "NSG-0004", "UPDATE", "NSG-0004"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({select_all, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'",
                                 "and TID = {T}"}),
                          {{"T", "4"}})),
            (Rows{}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select count(*) from TA_LIST", "where SCHREIBEND = {S}"}),
                          {{"S", "0"}})),
            (Rows{{"1"}}));
  EXPECT_EQ(
      All(*c_,
          Fill(Lines({"select count(*) from TA_LIST", "where SCHREIBEND = {S}", "and TID = {T}"}),
               {{"S", "1"}, {"T", "3"}})),
      (Rows{{"2"}}));
  EXPECT_EQ(All(*c_, Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                            "and CHANGED = 'UPDATE'"})),
            (Rows{{"1"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                 "and CHANGED = 'UPDATE'", "and TID = {T}"}),
                          {{"T", "3"}})),
            (Rows{{"1"}}));

  c_->Execute(Fill("update TA_LIST set CHANGED = '{M}' where KENNUNG = '{K}'",
                   {{"M", "UPDATE"}, {"K", "NSG-0002"}}));
  c_->Execute(Fill(
      "update TA_LIST set TID = {TID},KARTULID = {KartulID},VGNR = {Vorgangsnummer},SCHREIBEND = "
      "{Schreibend},CHANGED = '{Changed}',KENNUNGO = '{Originalkennung}' where KENNUNG = "
      "'{Kennung}'",
      {{"TID", "3"},
       {"KartulID", "201"},
       {"Vorgangsnummer", "7001"},
       {"Schreibend", "3"},
       {"Changed", "DELETE"},
       {"Originalkennung", "NSG-0001"},
       {"Kennung", "NSG-0001"}}));
  c_->Execute(Fill("update TA_LIST set KENNUNG = '{N}', CHANGED = 'UPDATE' where KENNUNG = '{O}'",
                   {{"N", "NSG-0104"}, {"O", "NSG-0004"}}));
  c_->Execute(Fill("update TA_LIST set KENNUNG = '{N}' where KENNUNG = '{O}'",
                   {{"N", "FFH-0103"}, {"O", "FFH-0003"}}));
  c_->Execute(Fill("delete from TA_LIST where KENNUNG = '{K}'", {{"K", "NSG-0002"}}));
  EXPECT_EQ(All(*c_, select_all),
            (Rows{{"3", "201", "7001", "3", "NSG-0001", "DELETE", "NSG-0001"},
                  {"4", "103", "-1", "2", "FFH-0103", "NEW", "FFH-0003"},
                  {"3", "104", "7004", "1", "NSG-0104", "UPDATE", "NSG-0004"}}));
}

TEST_F(TransactionStatementsTest, PoolAndTransactionQueries) {
  c_->Execute(
      Fill("insert into TA_KL (TID,KENNUNG) values ({T},'{K}')", {{"T", "3"}, {"K", "NSG-0010"}}));
  c_->Execute(
      Fill("insert into TA_KL (TID,KENNUNG) values ({T},'{K}')", {{"T", "4"}, {"K", "NSG-0010"}}));
  c_->Execute(
      Fill("insert into TA_KL (TID,KENNUNG) values ({T},'{K}')", {{"T", "3"}, {"K", "NSG-0011"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select KENNUNG from TA_KL", "where TID = {T}"}), {{"T", "3"}})),
            (Rows{{"NSG-0010"}, {"NSG-0011"}}));
  EXPECT_EQ(All(*c_, Fill(Lines({"select * from TA_KL", "where TID = {T}", "and KENNUNG = '{K}'"}),
                          {{"T", "4"}, {"K", "NSG-0010"}})),
            (Rows{{"4", "NSG-0010"}}));
  EXPECT_EQ(All(*c_, "select count(*) from TA_KL"), (Rows{{"3"}}));
  c_->Execute(Fill("delete from TA_KL where KENNUNG = '{K}'", {{"K", "NSG-0010"}}));
  EXPECT_EQ(All(*c_, "select count(*) from TA_KL"), (Rows{{"1"}}));

  EXPECT_EQ(All(*c_, "select count (*) from TA_ID"), (Rows{{"0"}}));
  c_->Execute("insert into TA_ID (TID,NAME,OWNER) values (3,'Moor am Bach','Erika Muster')");
  EXPECT_EQ(All(*c_, "select TID,NAME,OWNER from TA_ID"),
            (Rows{{"3", "Moor am Bach", "Erika Muster"}}));
  EXPECT_EQ(All(*c_, "select TID,NAME from TA_ID"), (Rows{{"3", "Moor am Bach"}}));
  EXPECT_EQ(All(*c_, "select count (*) from TA_ID"), (Rows{{"1"}}));
}

TEST_F(TransactionStatementsTest, ImportStatements) {
  // The package tables of a checkout, in a dBase IV exchange folder.
  TestDir package;
  auto import = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + package.Path() +
                                 ";" + "Extended Properties=DBASE IV;");
  import->Execute(
      "create Table abcdeft (KENNUNG char(50), TID integer, KARTULID integer, VGNR integer, "
      "SCHREIBEND integer)");
  import->Execute(
      "insert into abcdeft (KENNUNG,TID,KARTULID,VGNR,SCHREIBEND) values ('NSG-0001',5,11,9001,1)");
  import->Execute("create Table abcdefkl (TID integer, KENNUNG char(50))");
  import->Execute("insert into abcdefkl (TID,KENNUNG) values (5,'NSG-0050')");

  const std::string p = "abcdef";
  EXPECT_EQ(All(*import, "select KENNUNG,TID,KARTULID,VGNR,SCHREIBEND from " + p + "t"),
            (Rows{{"NSG-0001", "5", "11", "9001", "1"}}));
  const std::string k = "NSG-0001";
  EXPECT_EQ(All(*c_, Lines({"select TID from TA_LIST ", "where KennungO = '" + k + "'"})),
            (Rows{}));
  c_->Execute(
      "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (" +
      std::string("5") + "," + "11" + "," + "9001" + "," + "1" + ",'" + k + "','" + k + "','" +
      "IGNORED" + "')");
  EXPECT_EQ(All(*c_, Lines({"select TID from TA_LIST ", "where KennungO = '" + k + "'"})),
            (Rows{{"5"}}));
  c_->Execute("update TA_LIST set KARTULID = " + std::string("12") + ",VGNR = " + "9002" +
              ",SCHREIBEND = " + "0" + ",CHANGED = '" + "IGNORED" + "',KENNUNG = '" + k +
              "' where KENNUNGO = '" + k + "'");
  EXPECT_EQ(All(*c_, Lines({"select SCHREIBEND from TA_LIST", " where KennungO = '" + k + "'"})),
            (Rows{{"0"}}));
  c_->Execute("update TA_LIST set TID = " + std::string("6") + ",KARTULID = " + "13" +
              ",VGNR = " + "9003" + ",SCHREIBEND = " + "1" + ",CHANGED = '" + "IGNORED" +
              "',KENNUNG = '" + k + "' where KENNUNGO = '" + k + "'");
  c_->Execute("update TA_LIST set KENNUNG = '" + k + "' where KENNUNGO = '" + k + "'");
  EXPECT_EQ(All(*c_, "select TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO from TA_LIST"),
            (Rows{{"6", "13", "9003", "1", "NSG-0001", "IGNORED", "NSG-0001"}}));

  const std::string tid = "6";
  EXPECT_EQ(All(*c_, Lines({"select TID from TA_ID ", "where TID = " + tid})), (Rows{}));
  c_->Execute("insert into TA_ID (TID,NAME,OWNER) values (" + tid + ",'" + "unbekannt" + "','" +
              "unbekannt" + "')");
  EXPECT_EQ(All(*c_, Lines({"select TID from TA_ID ", "where TID = " + tid})), (Rows{{"6"}}));

  const Rows pool = All(*import, "select TID, Kennung from " + p + "kl");
  ASSERT_EQ(pool, (Rows{{"5", "NSG-0050"}}));
  EXPECT_EQ(All(*c_, Lines({"select KENNUNG from TA_KL ", "where KENNUNG = '" + pool[0][1] + "'"})),
            (Rows{}));
  c_->Execute("insert into TA_KL(TID,KENNUNG) values (" + pool[0][0] + ",'" + pool[0][1] + "')");
  EXPECT_EQ(All(*c_, Lines({"select KENNUNG from TA_KL ", "where KENNUNG = '" + pool[0][1] + "'"})),
            (Rows{{"NSG-0050"}}));
}

TEST_F(TransactionStatementsTest, ExportStatements) {
  Save(3, 101, 7001, 1, "NSG-0001", "UPDATE");
  Save(3, 102, -1, 2, "NSG-0002", "NEW");
  TestDir out;
  auto exp = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + out.Path() + ";" +
                              "Extended Properties=DBASE IV;");
  const std::string p = "abcdef";
  const std::string s = (p + "_aktion").substr(0, 8);
  exp->Execute("create Table " + s + "(KENNUNG char(41), AKTION char(1))");
  const Rows rows = All(*c_, Lines({"select KENNUNG,KENNUNGO,SCHREIBEND,CHANGED", "from TA_LIST",
                                    "where TID = " + std::string("3")}));
  ASSERT_EQ(rows,
            (Rows{{"NSG-0001", "NSG-0001", "1", "UPDATE"}, {"NSG-0002", "NSG-0002", "2", "NEW"}}));
  for (const auto& row : rows) {
    exp->Execute("insert into " + s + " (KENNUNG,AKTION) values ('" + row[0] + "','" +
                 row[3].substr(0, 1) + "')");
  }
  EXPECT_EQ(All(*exp, "select KENNUNG,AKTION from " + s),
            (Rows{{"NSG-0001", "U"}, {"NSG-0002", "N"}}));

  exp->Execute(
      "create Table " + p +
      "pc(PhotoID integer, Kurzname char(50),Datei char(50),RW integer,HW integer,Richtung "
      "integer,Datum date,Quelle char(254),Beschr memo)");
  exp->Execute("insert into " + p +
               "pc (PhotoID,Kurzname,Datei,RW,HW,Richtung,Datum,Quelle,Beschr) values (" + "-1" +
               ",'" + "Teich" + "','" + "KTFoto1.jpg" + "'," + "2563120" + "," + "5712330" + "," +
               "45" + "," + "#3-5-2024#" + ",'" + "eigene Aufnahme" + "','" +
               "Blick über den Teich" + "')");
  EXPECT_EQ(All(*exp, "select * from abcdefpc"),
            (Rows{{"-1", "Teich", "KTFoto1.jpg", "2563120", "5712330", "45", "2024-03-05",
                   "eigene Aufnahme", "Blick über den Teich"}}));
  EXPECT_EQ(static_cast<unsigned char>(TestDir::ReadAll(out.File("abcdefpc.dbf"))[0]), 0x8B);
  EXPECT_TRUE(std::filesystem::exists(out.File("abcdefpc.dbt")));
  // The photo list is read again through a dBase III connection and a table object.
  auto photo_list = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + out.Path() +
                                     ";" + "Extended Properties=DBASE III;");
  Table t(*photo_list, p + "pc.dbf");
  t.Open();
  ASSERT_FALSE(t.Eof());
  EXPECT_EQ(t.FieldByName("Beschr").AsString(), "Blick über den Teich");
  EXPECT_DOUBLE_EQ(t.FieldByName("Datum").AsDateTime(), 45356.0);
}

TEST(DatabaseStatementsTest, PhotoCatalogueObjectClassAndLifecycleJournal) {
  TestDir dir;
  const std::string db = dir.File("Projekt.mdb");
  Connection::CreateDatabase(db);
  auto c = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db + ";" +
                            "Persist Security Info=False");

  c->Execute(Lines({"create table Fotos", " (FotoID integer, ", "Kurzname text(50), ",
                    "RW integer, ", "HW integer, ", "Blickrichtung integer, ",
                    "Aufnahmedatum date, ", "Quelle text(255), ", "IsNew integer, ",
                    "PicFileName text(50), ", "Bildbeschreibung memo) "}));
  c->Execute(Lines({"Create unique index PrimaryKey on Fotos", "(FotoID) with primary"}));
  c->Execute(Lines({"create table KT_SYS_LIFECYCLE", " (ID autoincrement, ", "KENNUNG text(128), ",
                    "OKL long, ", "OKL_TYPE text(1), ", "LC_CHANGE_TYPE integer, ",
                    "ZEITSTEMPEL datetime, ", "REL_TYPE integer)"}));
  c->Execute(Lines({"Create unique index PrimaryKey on KT_SYS_LIFECYCLE", "(ID) with primary"}));
  EXPECT_EQ(c->TableNames(), (std::vector<std::string>{"Fotos", "KT_SYS_LIFECYCLE"}));

  c->Execute(
      "insert into KT_SYS_LIFECYCLE (KENNUNG, OKL, OKL_TYPE, LC_CHANGE_TYPE, ZEITSTEMPEL, "
      "REL_TYPE) "
      "values ('NSG-1', 3, 'P', 1, #5-6-2024 10:15:00#, 0)");
  c->Execute("insert into KT_SYS_LIFECYCLE (KENNUNG) values ('NSG-2')");
  EXPECT_EQ(All(*c, "select ID, ZEITSTEMPEL from KT_SYS_LIFECYCLE"),
            (Rows{{"1", "2024-05-06 10:15:00"}, {"2", "<null>"}}));

  // The host's tables, as the host stand-in keeps them.
  ASSERT_EQ(
      sqlite3_exec(c->Engine().Session().Handle(),
                   "CREATE TABLE Objektphotos (PKEY INTEGER, PhotoID INTEGER, KARTULID INTEGER, "
                   "Hauptphoto TEXT);"
                   "INSERT INTO Objektphotos VALUES (1, -1, 17, 'WAHR'), (2, -1, 18, 'FALSCH');"
                   "CREATE TABLE ObjectClass (OKL_ID INTEGER, Shortname TEXT);"
                   "INSERT INTO ObjectClass VALUES (3, 'NSG');",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  EXPECT_EQ(All(*c, Lines({"Select count (*) from Objektphotos",
                           "where PhotoID = " + std::to_string(-1)})),
            (Rows{{"2"}}));
  EXPECT_EQ(All(*c, Lines({"select PhotoID", "from Objektphotos",
                           "where KARTULID = " + std::string("17")})),
            (Rows{{"-1"}}));
  EXPECT_EQ(All(*c, "select Shortname from ObjectClass where OKL_ID = " + std::to_string(3)),
            (Rows{{"NSG"}}));

  // A second "with primary" index of the same name on the same table is refused.
  EXPECT_THROW(
      c->Execute(Lines({"Create unique index PrimaryKey on Fotos", "(FotoID) with primary"})),
      DbError);
}

}  // namespace
}  // namespace platform::db
