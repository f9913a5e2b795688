// Statements whose writes fail through the platform seam: the disk full
// (ENOSPC) or an I/O error (EIO) at each write of the statement in turn, a
// fault that does not heal, and a lock another process holds. The statement
// fails with an error naming the file, the table stays whole and unchanged,
// and the next statement works.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace platform::db {
namespace {

using env::ReasonText;
using testing::All;
using testing::TestDir;

const char* const kCreate =
    "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
    "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))";

std::string Insert(int i) {
  const std::string k = "K" + std::to_string(i);
  return "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
         std::to_string(i % 2) + "," + std::to_string(i) + ",0,0,'" + k + "','NEW','" + k + "')";
}

// The statements of the system that write: a rewrite of many records (with
// the undo block), of one record, an append, a deletion.
const char* const kStatements[] = {
    "update TA_LIST set CHANGED = 'UPDATE' where TID = 1",
    "update TA_LIST set SCHREIBEND = 1 where KENNUNG = 'K2'",
    "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values "
    "(9,9,9,9,'K9','NEW','K9')",
    "delete from TA_LIST where KENNUNG = 'K3'",
};

class WriteFaultTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    auto c = Connection::Open(dir_.DBaseIII());
    c->Execute(kCreate);
    for (int i = 0; i < 6; ++i) c->Execute(Insert(i));
    path_ = dir_.File("TA_LIST.dbf");
    before_ = TestDir::ReadAll(path_);
    rows_ = All(*c, "select * from TA_LIST");
  }

  TestDir dir_;
  std::string path_;
  std::string before_;
  testing::Rows rows_;
};

TEST_P(WriteFaultTest, EachWriteOfAStatementFailingOnceLeavesTheFileAsItWas) {
  const int code = GetParam();
  for (const char* statement : kStatements) {
    for (int after = 0;; ++after) {
      env::FaultEnv faults(env::Env::Posix());
      faults.Inject(env::Fault(env::Op::kWrite, code).On("TA_LIST.dbf").After(after).Times(1));
      env::ScopedEnv scoped(faults);
      auto c = Connection::Open(dir_.DBaseIII());
      std::string error;
      try {
        c->Execute(statement);
      } catch (const DbError& e) {
        error = e.what();
      }
      if (faults.Failures() == 0) {
        // Every write of the statement has had its turn.
        EXPECT_EQ(error, "") << statement;
        EXPECT_GE(after, 2) << statement;
        TestDir::WriteAll(path_, before_);
        break;
      }
      EXPECT_NE(error.find(path_), std::string::npos)
          << statement << " / " << after << ": " << error;
      EXPECT_NE(error.find(ReasonText(code)), std::string::npos) << error;
      ASSERT_EQ(TestDir::ReadAll(path_), before_) << statement << ", write " << after + 1;
      EXPECT_EQ(All(*c, "select * from TA_LIST"), rows_) << statement;
      // The next statement on the same connection works.
      c->Execute("update TA_LIST set VGNR = 7 where KENNUNG = 'K0'");
      EXPECT_EQ(All(*c, "select VGNR from TA_LIST where KENNUNG = 'K0'"), testing::Rows{{"7"}});
      TestDir::WriteAll(path_, before_);
    }
  }
}

TEST_P(WriteFaultTest, AWriteThatKeepsFailingLeavesTheRepairToTheNextReader) {
  env::FaultEnv faults(env::Env::Posix());
  env::ScopedEnv scoped(faults);
  auto c = Connection::Open(dir_.DBaseIII());
  // Past the undo block and the flag: the records themselves cannot be
  // written, nor put back.
  faults.Inject(env::Fault(env::Op::kWrite, GetParam()).On("TA_LIST.dbf").After(2));
  EXPECT_THROW(c->Execute(kStatements[0]), DbError);
  faults.Clear();
  auto other = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(All(*other, "select * from TA_LIST"), rows_);
  other->Execute(kStatements[1]);
  EXPECT_EQ(All(*c, "select SCHREIBEND from TA_LIST where KENNUNG = 'K2'"), testing::Rows{{"1"}});
  EXPECT_EQ(TestDir::ReadAll(path_)[14], 0);  // repaired by the next writer
}

INSTANTIATE_TEST_SUITE_P(DiskFullAndIoError, WriteFaultTest, ::testing::Values(ENOSPC, EIO),
                         [](const auto& info) { return info.param == ENOSPC ? "ENOSPC" : "EIO"; });

TEST(LockFaultTest, ATableLockedByAnotherProcessIsReportedAfterTheTimeout) {
  env::MemEnv mem;
  env::FaultEnv faults(mem);
  env::ScopedEnv scoped(faults);
  mem.CreateFolder("/data");
  const std::string connection = "Data Source=/data;Extended Properties=DBASE III;";
  auto c = Connection::Open(connection);
  c->Execute(kCreate);
  c->Execute(Insert(1));
  faults.HoldLock("TA_LIST");
  try {
    Query q(*c, "select count(*) from TA_LIST");
    FAIL() << "no error";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find(
                  "/data/TA_LIST.dbf: Die Tabelle ist von einem anderen Programm gesperrt."),
              std::string::npos)
        << e.what();
  }
  faults.ReleaseLocks();
  EXPECT_EQ(All(*c, "select count(*) from TA_LIST"), testing::Rows{{"1"}});
}

TEST(DropFaultTest, ADropThatCannotRemoveTheFileNamesItAndTheReason) {
  env::MemEnv mem;
  env::FaultEnv faults(mem);
  env::ScopedEnv scoped(faults);
  mem.CreateFolder("/data");
  const std::string connection = "Data Source=/data;Extended Properties=DBASE IV;";
  auto c = Connection::Open(connection);
  c->Execute("create table TA_LIST (TID integer, NOTIZ memo)");
  c->Execute("insert into TA_LIST (TID, NOTIZ) values (1, 'bleibt')");
  faults.Inject(env::Fault(env::Op::kRemove, EACCES).On("TA_LIST.dbf"));
  // Through a connection that has used the table and through one that has not.
  auto fresh = Connection::Open(connection);
  for (Connection* conn : {c.get(), fresh.get()}) {
    try {
      conn->Execute("drop table TA_LIST");
      FAIL() << "no error";
    } catch (const DbError& e) {
      EXPECT_NE(
          std::string(e.what()).find("/data/TA_LIST.dbf: Die Datei kann nicht gelöscht werden: " +
                                     ReasonText(EACCES) + "."),
          std::string::npos)
          << e.what();
    }
    // Nothing is gone: the table stays whole and usable.
    EXPECT_EQ(All(*conn, "select TID, NOTIZ from TA_LIST"), (testing::Rows{{"1", "bleibt"}}));
  }
  auto names = mem.ListFolder("/data");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"TA_LIST.dbf", "TA_LIST.dbt"}));
  faults.Clear();
  c->Execute("drop table TA_LIST");
  EXPECT_TRUE(mem.ListFolder("/data").empty());
  EXPECT_THROW(fresh->Execute("select * from TA_LIST"), DbError);

  // The table is gone, but its memo file stays behind: that is said too.
  c->Execute("create table TA_LIST (TID integer, NOTIZ memo)");
  faults.Inject(env::Fault(env::Op::kRemove, EIO).On("TA_LIST.dbt"));
  try {
    c->Execute("drop table TA_LIST");
    FAIL() << "no error";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("/data/TA_LIST.dbt: Die Tabelle wurde gelöscht, ihre "
                                         "Memodatei aber nicht: " +
                                         ReasonText(EIO) + "."),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(mem.ListFolder("/data"), std::vector<std::string>{"TA_LIST.dbt"});
  EXPECT_THROW(c->Execute("select * from TA_LIST"), DbError);
}

TEST(MemoryTableTest, TheDriverRunsOnAnInMemoryFileSystem) {
  env::MemEnv mem;
  env::ScopedEnv scoped(mem);
  mem.CreateFolder("/data");
  auto c = Connection::Open("Data Source=/data;Extended Properties=DBASE IV;");
  c->Execute("create table FOTOS (PKEY integer, BEMERKUNG memo)");
  c->Execute("insert into FOTOS (PKEY, BEMERKUNG) values (1, 'im Speicher')");
  EXPECT_EQ(All(*c, "select * from FOTOS"), (testing::Rows{{"1", "im Speicher"}}));
  EXPECT_EQ(c->TableNames(), std::vector<std::string>{"FOTOS"});
  auto names = mem.ListFolder("/data");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"FOTOS.dbf", "FOTOS.dbt"}));
}

}  // namespace
}  // namespace platform::db
