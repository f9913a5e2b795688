// The virtual-table module: equality lookups answered from its indexes must
// give what SQLite itself gives on the same rows, whatever the storage class
// of the value compared; deleted records stay unseen; a statement that
// fails midway changes nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

namespace platform::db {
namespace {

using testing::All;
using testing::Rows;
using testing::TestDir;

class DbaseModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dbase_ = Connection::Open(dir_.DBaseIII());
    sqlite_ = Connection::Open("Data Source=:memory:");
    const char* create = "create Table T (N integer, W double, S char(20), D date, L bit)";
    dbase_->Execute(create);
    sqlite_->Execute(create);
    const char* rows[] = {"(1, 1.5, 'eins', #1-2-2024#, 1)", "(2, 2, '2', #1-3-2024#, 0)",
                          "(3, NULL, 'Drei', NULL, NULL)",   "(2, -0.5, 'drei', #1-2-2024#, 1)",
                          "(NULL, 7, '', #12-31-1999#, 0)",  "(5, 5, '5', NULL, 1)"};
    for (const char* r : rows) {
      const std::string sql = std::string("insert into T (N,W,S,D,L) values ") + r;
      dbase_->Execute(sql);
      sqlite_->Execute(sql);
    }
  }
  TestDir dir_;
  std::unique_ptr<Connection> dbase_;
  std::unique_ptr<Connection> sqlite_;
};

TEST_F(DbaseModuleTest, LookupsGiveWhatSqliteGives) {
  const char* queries[] = {
      "select S from T where N = 2",
      "select S from T where N = '2'",
      "select S from T where N = 2.0",
      "select S from T where N = 2.5",
      "select S from T where N = 'zwei'",
      "select S from T where N = NULL",
      "select S from T where S = 2",
      "select S from T where S = '2'",
      "select S from T where S = 'drei'",
      "select S from T where S = 'drei' collate nocase",
      "select S from T where S = ''",
      "select S from T where W = 2",
      "select S from T where W = '1.5'",
      "select S from T where W = -0.5",
      "select S from T where D = #1-2-2024#",
      "select S from T where D = '2024-01-02 00:00:00'",
      "select S from T where D = 45293",
      "select S from T where L = 1",
      "select S from T where L = 'T'",
      "select S from T where N = 2 and D = '2024-01-02'",
      "select S from T where N = 2 and S = 'drei' and W = -0.5",
      "select S from T where N in (1, 3, 5)",
      "select S from T where N > 1 and N < 5",
      "select S from T where S like 'd%'",
      "select count(*) from T where N = 2 and L = 1",
      "select a.S, b.S from T a, T b where a.N = b.N and a.S <> b.S",
      "select S from T where rowid = 3",
      "select S from T where rowid = '3'",
      "select S from T where rowid = 3 and N = 3",
      "select S from T where rowid = 3 and N = 4",
  };
  for (const char* sql : queries) {
    EXPECT_EQ(All(*dbase_, sql), All(*sqlite_, sql)) << sql;
  }
  // SQLite answers an OR of two lookups as two lookups: the same rows, in
  // another order than a scan.
  const char* either = "select S from T where N = 2 or S = 'eins'";
  Rows a = All(*dbase_, either), b = All(*sqlite_, either);
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
}

TEST_F(DbaseModuleTest, IndexesFollowChangesOfEveryKind) {
  auto other = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'eins'"), (Rows{{"1"}}));
  dbase_->Execute("update T set S = 'uno' where S = 'eins'");
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'eins'"), (Rows{}));
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'uno'"), (Rows{{"1"}}));
  // Another connection's change, in place and appended.
  EXPECT_EQ(All(*other, "select N from T where S = 'uno'"), (Rows{{"1"}}));
  other->Execute("update T set S = 'one' where N = 1");
  other->Execute("insert into T (N,S) values (9,'uno')");
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'uno'"), (Rows{{"9"}}));
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'one'"), (Rows{{"1"}}));
  dbase_->Execute("delete from T where S = 'one'");
  EXPECT_EQ(All(*other, "select count(*) from T where S = 'one'"), (Rows{{"0"}}));
  EXPECT_EQ(All(*other, "select count(*) from T"), (Rows{{"6"}}));
  dbase_->Execute("update T set N = 1 where rowid = 1");  // deleted: nothing to update
  EXPECT_EQ(All(*dbase_, "select count(*) from T where rowid = 1"), (Rows{{"0"}}));
}

TEST_F(DbaseModuleTest, AStatementThatFailsMidwayChangesNothing) {
  const std::string before = TestDir::ReadAll(dir_.File("T.dbf"));
  // The second row's value does not fit N(11,0).
  EXPECT_THROW(dbase_->Execute("update T set N = case when N = 2 then 99999999999 * 10 else 0 end"),
               DbError);
  EXPECT_EQ(TestDir::ReadAll(dir_.File("T.dbf")), before);
  EXPECT_EQ(All(*dbase_, "select N from T where S = 'eins'"), (Rows{{"1"}}));
  EXPECT_THROW(dbase_->Execute("insert into T (N) select N * 100000000000 from T"), DbError);
  EXPECT_EQ(TestDir::ReadAll(dir_.File("T.dbf")), before);
  EXPECT_EQ(All(*dbase_, "select count(*) from T"), (Rows{{"6"}}));
}

TEST_F(DbaseModuleTest, AGarbledRecordFailsTheStatementWithFileAndRecord) {
  std::string bytes = TestDir::ReadAll(dir_.File("T.dbf"));
  const size_t header = 32 + 5 * 32 + 1;
  const size_t record = 1 + 11 + 20 + 20 + 8 + 1;
  bytes.replace(header + 2 * record + 1, 11, "    drei   ");
  TestDir::WriteAll(dir_.File("T.dbf"), bytes);
  try {
    All(*dbase_, "select sum(N) from T");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("T.dbf, Datensatz 3, Feld N"), std::string::npos)
        << e.what();
  }
  try {
    All(*dbase_, "select S from T where N = 2");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("Datensatz 3"), std::string::npos) << e.what();
  }
  EXPECT_EQ(All(*dbase_, "select S from T where rowid = 1"), (Rows{{"eins"}}));
}

TEST_F(DbaseModuleTest, RecordNumbersCannotBeSetOrChanged) {
  EXPECT_THROW(dbase_->Execute("insert into T (rowid, N) values (100, 1)"), DbError);
  EXPECT_THROW(dbase_->Execute("update T set rowid = 100 where rowid = 1"), DbError);
}

}  // namespace
}  // namespace platform::db
