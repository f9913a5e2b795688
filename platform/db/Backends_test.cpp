// The pieces behind Connection on their own: the mapping of column types to
// dBase fields, and the dBase back-end finding its files through the Env
// without regard to case.
#include <gtest/gtest.h>

#include "platform/db/Backend.h"
#include "platform/db/DbaseBackend.h"
#include "platform/db/FieldMapping.h"
#include "platform/db/TestRows.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace platform::db {
namespace {

dialect::ColumnDef Column(std::string type, int size = -1, int scale = -1, std::string rest = "") {
  dialect::ColumnDef c;
  c.name = "F";
  c.type = std::move(type);
  c.size = size;
  c.scale = scale;
  c.rest = std::move(rest);
  return c;
}

std::string Text(const dbase::FieldSpec& f) {
  return std::string(1, f.type) + "(" + std::to_string(f.length) + "," +
         std::to_string(f.decimals) + ")";
}

TEST(FieldMappingTest, TheSystemsTypesBecomeTheseFields) {
  EXPECT_EQ(Text(DBaseFieldFor(Column("integer"))), "N(11,0)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("long"))), "N(11,0)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("short"))), "N(6,0)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("byte"))), "N(4,0)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("text", 50))), "C(50,0)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("char"))), "C(254,0)");
  EXPECT_EQ(DBaseFieldFor(Column("memo")).type, 'M');
  EXPECT_EQ(DBaseFieldFor(Column("datetime")).type, 'D');
  EXPECT_EQ(Text(DBaseFieldFor(Column("double"))), "N(20,6)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("numeric", 8, 2))), "N(8,2)");
  EXPECT_EQ(Text(DBaseFieldFor(Column("currency"))), "N(20,4)");
  EXPECT_EQ(DBaseFieldFor(Column("yesno")).type, 'L');
  EXPECT_EQ(DBaseFieldFor(Column("integer", -1, -1, "NOT NULL")).type, 'N');
}

TEST(FieldMappingTest, WhatDBaseCannotKeepIsRefused) {
  EXPECT_THROW(DBaseFieldFor(Column("autoincrement")), DbError);
  EXPECT_THROW(DBaseFieldFor(Column("longbinary")), DbError);
  EXPECT_THROW(DBaseFieldFor(Column("integer", -1, -1, "primary key")), DbError);
}

class DbaseBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mem_.CreateFolder("/data");
    for (const char* name : {"/data/ta_list.DBF", "/data/FOTOS.dbf"}) {
      dbase::DbfFile::Create(name, dbase::Flavor::kDBase3, {{"KENNUNG", 'C', 10, 0}}, mem_);
    }
    // A second spelling of FOTOS, as another program may write it.
    const std::string copy = env::ReadFile(mem_, "/data/FOTOS.dbf");
    mem_.Open("/data/fotos.dbf", env::OpenMode::kCreateNew)->WriteAt(0, copy.data(), copy.size());
    mem_.CreateFolder("/data/FOLDER.dbf");  // a folder is no table
    mem_.Open("/data/notes.txt", env::OpenMode::kCreateNew);
  }
  env::MemEnv mem_;
  env::ScopedEnv scoped_{mem_};
};

TEST_F(DbaseBackendTest, TablesAreTheDbfFilesFoundWithoutRegardToCase) {
  auto b = DbaseBackend::Open("/data/", dbase::Flavor::kDBase3);
  EXPECT_EQ(b->DataSource(), "/data");
  EXPECT_TRUE(b->IsDBase());
  // Two spellings of one name are listed once.
  EXPECT_EQ(b->TableNames(), (std::vector<std::string>{"FOTOS", "ta_list"}));
  EXPECT_TRUE(b->HasTable("TA_LIST"));
  EXPECT_TRUE(b->HasTable("Ta_List.dbf"));
  EXPECT_FALSE(b->HasTable("NOTES"));
  EXPECT_FALSE(b->HasTable("../data/ta_list"));
  b->Run(dialect::Parse("insert into TA_LIST (KENNUNG) values ('klein')", true), nullptr);
  EXPECT_EQ(env::ReadFile(mem_, "/data/ta_list.DBF").size(), 32u + 32 + 1 + 11 + 1);
  // Neither the exact name nor another spelling picks one of two files:
  // an error names both, and neither is written.
  for (const char* name : {"fotos", "Fotos", "FOTOS.DBF"}) {
    try {
      b->Run(dialect::Parse(std::string("insert into ") + name + " (KENNUNG) values ('x')", true),
             nullptr);
      ADD_FAILURE() << name << ": no error";
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find("/data/FOTOS.dbf und /data/fotos.dbf passen beide"),
                std::string::npos)
          << name << ": " << e.what();
    }
  }
  EXPECT_EQ(env::ReadFile(mem_, "/data/FOTOS.dbf"), env::ReadFile(mem_, "/data/fotos.dbf"));
  // A folder of a table's name is no table, and no silent "no such table" either.
  try {
    b->HasTable("FOLDER");
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("/data/FOLDER.dbf ist ein Ordner, keine Datei"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(DbaseBackendTest, ASecondSpellingThatComesLaterIsFoundWhenTheFolderIsLookedAtAgain) {
  auto b = DbaseBackend::Open("/data", dbase::Flavor::kDBase3);
  const auto count = [&] {
    Rows rows;
    b->Run(dialect::Parse("select count(*) from TA_LIST"), &rows);
    return rows.rows.at(0).at(0).AsInt64();
  };
  EXPECT_EQ(count(), 0);
  // Long after the folder last changed, a look at its time is enough...
  mem_.SleepFor(std::chrono::seconds(5));
  EXPECT_EQ(count(), 0);
  mem_.SleepFor(std::chrono::milliseconds(200));
  EXPECT_EQ(count(), 0);
  // ...until it changes.
  const std::string copy = env::ReadFile(mem_, "/data/ta_list.DBF");
  mem_.Open("/data/TA_LIST.dbf", env::OpenMode::kCreateNew)->WriteAt(0, copy.data(), copy.size());
  mem_.SleepFor(std::chrono::milliseconds(200));  // it is, every tenth of a second
  try {
    count();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("/data/TA_LIST.dbf und /data/ta_list.DBF passen beide"),
              std::string::npos)
        << e.what();
  }
  mem_.Remove("/data/TA_LIST.dbf");
  mem_.SleepFor(std::chrono::milliseconds(200));
  EXPECT_EQ(count(), 0);
}

TEST_F(DbaseBackendTest, AFolderThatCannotBeListedIsReported) {
  EXPECT_THROW(DbaseBackend::Open("/nowhere", dbase::Flavor::kDBase3), DbError);
  env::FaultEnv faults(mem_);
  env::ScopedEnv scoped(faults);
  auto b = DbaseBackend::Open("/data", dbase::Flavor::kDBase3);
  faults.Inject(env::Fault(env::Op::kList, EACCES));
  EXPECT_THROW(b->TableNames(), DbError);
}

}  // namespace
}  // namespace platform::db
