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
    for (const char* name : {"/data/ta_list.DBF", "/data/FOTOS.dbf", "/data/fotos.dbf"}) {
      dbase::DbfFile::Create(name, dbase::Flavor::kDBase3, {{"KENNUNG", 'C', 10, 0}}, mem_);
    }
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
  EXPECT_EQ(b->TableNames(), (std::vector<std::string>{"FOTOS", "fotos", "ta_list"}));
  EXPECT_TRUE(b->HasTable("TA_LIST"));
  EXPECT_TRUE(b->HasTable("Ta_List.dbf"));
  EXPECT_FALSE(b->HasTable("FOLDER"));
  EXPECT_FALSE(b->HasTable("../data/ta_list"));
  b->Run(dialect::Parse("insert into fotos (KENNUNG) values ('klein')", true), nullptr);
  // "fotos" is the exact name; "Fotos" matches both and takes FOTOS.dbf, first in sorted order.
  auto other = DbaseBackend::Open("/data", dbase::Flavor::kDBase3);
  other->Run(dialect::Parse("insert into Fotos (KENNUNG) values ('gross')", true), nullptr);
  auto small = dbase::DbfFile::Open("/data/fotos.dbf", false, mem_);
  auto large = dbase::DbfFile::Open("/data/FOTOS.dbf", false, mem_);
  small->BeginRead();
  large->BeginRead();
  EXPECT_EQ(small->RecordCount(), 1u);
  EXPECT_EQ(small->Read(0, 0).text, "klein");
  EXPECT_EQ(large->Read(0, 0).text, "gross");
  small->EndRead();
  large->EndRead();
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
