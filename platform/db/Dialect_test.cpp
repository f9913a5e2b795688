// The dialect layer: what passes through unchanged, date literals, names
// beginning with a digit, and the data definition statements taken apart.
#include "platform/db/Dialect.h"

#include <gtest/gtest.h>

#include "platform/db/Connection.h"

namespace platform::db::dialect {
namespace {

TEST(DialectTest, OrdinaryStatementsPassThroughAsWritten) {
  for (const char* sql :
       {"select count (*) from TA_ID", "insert into TA_LIST (TID,KENNUNG)values (1,'a')",
        "select TID from TA_LIST \r\nwhere KennungO = 'x'",
        "select * from [Name mit Blank] where \"A\" = 'it''s' -- note\n",
        "update T set A = 1.5e3 where B = .5"}) {
    const Statement st = Parse(sql);
    EXPECT_EQ(st.kind, Kind::kOther);
    EXPECT_EQ(st.sql, sql);
  }
}

TEST(DialectTest, DateLiteralsBecomeIsoTexts) {
  EXPECT_EQ(Parse("insert into T (D) values (#3-5-2024#)").sql,
            "insert into T (D) values ('2024-03-05')");
  EXPECT_EQ(DateLiteralToIso("12/31/1999"), "1999-12-31");
  EXPECT_EQ(DateLiteralToIso("2024-02-29"), "2024-02-29");
  EXPECT_EQ(DateLiteralToIso("1-2-05"), "2005-01-02");
  EXPECT_EQ(DateLiteralToIso("1-2-75"), "1975-01-02");
  EXPECT_EQ(DateLiteralToIso("5-6-2024 10:15:00"), "2024-05-06 10:15:00");
  EXPECT_EQ(DateLiteralToIso("5-6-2024 12:05 AM"), "2024-05-06 00:05:00");
  EXPECT_EQ(DateLiteralToIso("5-6-2024 1:05 pm"), "2024-05-06 13:05:00");
  EXPECT_EQ(DateLiteralToIso("5-6-2024 0:00:00"), "2024-05-06");
  for (const char* bad : {"2-30-2024", "13-1-2024", "", "3-5", "3-5-2024 25:00", "3-5-2024 x",
                          "3-5/2024", "3-5-2024 13:00 PM", "a-b-c"}) {
    EXPECT_THROW(DateLiteralToIso(bad), DbError) << bad;
  }
  // A '#' inside a text is no date.
  EXPECT_EQ(Parse("select '#1' from T").sql, "select '#1' from T");
  EXPECT_THROW(Parse("select * from T where D = #3-5-2024"), DbError);
  EXPECT_THROW(Parse("select * from T where D = #3-5-\n2024#"), DbError);
}

TEST(DialectTest, NamesBeginningWithADigitAreQuoted) {
  EXPECT_EQ(Parse("insert into 0815_aktion (A) values (1)").sql,
            "insert into \"0815_aktion\" (A) values (1)");
  EXPECT_EQ(Parse("select 1e5, 12 from T").sql, "select 1e5, 12 from T");
}

TEST(DialectTest, UnclosedTextsAndNamesAreErrors) {
  EXPECT_THROW(Parse("select 'abc from T"), DbError);
  EXPECT_THROW(Parse("select [abc from T"), DbError);
  EXPECT_THROW(Parse("select \"abc from T"), DbError);
}

TEST(DialectTest, CreateTableIsTakenApart) {
  const Statement st = Parse(
      "create table Fotos\r\n (FotoID integer, \r\nKurzname text(50), \r\nBetrag numeric(10,2) not "
      "null, "
      "\r\nBildbeschreibung memo) ");
  ASSERT_EQ(st.kind, Kind::kCreateTable);
  EXPECT_EQ(st.table, "Fotos");
  ASSERT_EQ(st.columns.size(), 4u);
  EXPECT_EQ(st.columns[0].name, "FotoID");
  EXPECT_EQ(st.columns[0].type, "integer");
  EXPECT_EQ(st.columns[1].size, 50);
  EXPECT_EQ(st.columns[2].size, 10);
  EXPECT_EQ(st.columns[2].scale, 2);
  EXPECT_EQ(st.columns[2].rest, "not null");
  EXPECT_EQ(st.columns[3].type, "memo");
  EXPECT_EQ(Parse("create Table abcdefpc(PhotoID integer)").table, "abcdefpc");
  EXPECT_EQ(Parse("create Table 0815pc(PhotoID integer)").table, "0815pc");
  for (const char* bad : {"create table T", "create table T (", "create table T (A)",
                          "create table T (A integer", "create table T (A text(x))",
                          "create table T (A integer) extra", "create table (A integer)"}) {
    EXPECT_THROW(Parse(bad), DbError) << bad;
  }
}

TEST(DialectTest, IndexStatementsAreTakenApart) {
  Statement st = Parse("Create unique index PrimaryKey on KT_SYS_LIFECYCLE\r\n(ID) with primary");
  ASSERT_EQ(st.kind, Kind::kCreateIndex);
  EXPECT_EQ(st.index, "PrimaryKey");
  EXPECT_EQ(st.table, "KT_SYS_LIFECYCLE");
  EXPECT_EQ(st.index_columns, std::vector<std::string>{"ID"});
  EXPECT_TRUE(st.unique && st.primary && st.disallow_null);
  st = Parse("create index idxKennung on TA_LIST (KENNUNG desc, TID)");
  EXPECT_FALSE(st.unique || st.primary || st.disallow_null);
  EXPECT_EQ(st.index_columns, (std::vector<std::string>{"KENNUNG DESC", "TID"}));
  st = Parse("create index i on T (A) with disallow null");
  EXPECT_TRUE(st.disallow_null);
  EXPECT_FALSE(st.primary);
  st = Parse("drop index PrimaryKey on Fotos");
  EXPECT_EQ(st.kind, Kind::kDropIndex);
  EXPECT_EQ(st.table, "Fotos");
  EXPECT_THROW(Parse("create index i on T (A) with"), DbError);
  EXPECT_THROW(Parse("create index i on T"), DbError);
  EXPECT_EQ(Parse("drop table [TA KL]").table, "TA KL");
}

TEST(DialectTest, LiteralsOfWhereValuesAndSetBecomeParameters) {
  Statement st = Parse("select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= 'K''1'", true);
  EXPECT_EQ(st.sql, "select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= ?");
  EXPECT_EQ(st.params, std::vector<Value>{Value("K'1")});
  st = Parse("insert into T (A,B,C,D)values (1,'x',-2.5,#3-5-2024#)", true);
  EXPECT_EQ(st.sql, "insert into T (A,B,C,D)values (?,?,-?,?)");
  EXPECT_EQ(st.params,
            (std::vector<Value>{Value(int64_t{1}), Value("x"), Value(2.5), Value("2024-03-05")}));
  st = Parse("update T set A = 3 where B = 'y'", true);
  EXPECT_EQ(st.sql, "update T set A = ? where B = ?");
  // The select list, positions, counts and blobs stay as written.
  st = Parse("select 1, 'a' from T where X = 2 order by 1 limit 5", true);
  EXPECT_EQ(st.sql, "select 1, 'a' from T where X = ? order by 1 limit 5");
  st = Parse("select * from T where B = x'0A' and C = 'x'", true);
  EXPECT_EQ(st.sql, "select * from T where B = x'0A' and C = ?");
  EXPECT_EQ(Parse("create view V as select * from T where A = 1", true).sql,
            "create view V as select * from T where A = 1");
  EXPECT_EQ(Parse("select * from T where A = 1").sql,
            "select * from T where A = 1");  // not asked to
}

TEST(DialectTest, QuoteNameDoublesQuotes) {
  EXPECT_EQ(QuoteName("a\"b"), "\"a\"\"b\"");
}

}  // namespace
}  // namespace platform::db::dialect
