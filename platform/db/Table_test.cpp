// The table object, as the photo catalogue and the import use it: walking,
// locating, editing, appending, deleting, refreshing, on an SQLite database
// and on a dBase folder.
#include <gtest/gtest.h>

#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"

namespace platform::db {
namespace {

using testing::TestDir;

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Connection::CreateDatabase(dir_.File("Projekt.mdb"));
    c_ = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                          dir_.File("Projekt.mdb") + ";Persist Security Info=False");
    c_->Execute(
        "create table Fotos\r\n (FotoID integer, \r\nKurzname text(50), \r\nAufnahmedatum date, "
        "\r\n"
        "IsNew integer, \r\nPicFileName text(50), \r\nBildbeschreibung memo) ");
    c_->Execute("Create unique index PrimaryKey on Fotos\r\n(FotoID) with primary");
  }
  void Add(Table& t, int id, const std::string& name, int is_new) {
    t.Append();
    t.SetFieldByName("FotoID", Value(id));
    t.SetFieldByName("Kurzname", Value(name));
    t.SetFieldByName("IsNew", Value(is_new));
    t.Post();
  }
  TestDir dir_;
  std::unique_ptr<Connection> c_;
};

TEST_F(TableTest, WalkLocateEditDelete) {
  Table t(*c_, "Fotos");
  t.Open();
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.FieldByName("FotoID").IsNull());
  Add(t, 5, "fünf", 2);
  Add(t, -1, "lokal", 3);
  Add(t, 7, "sieben", 2);
  EXPECT_EQ(t.RecordCount(), 3);
  t.First();
  EXPECT_EQ(t.FieldByName("fotoid").AsInt32(), 5);
  t.Next();
  t.Next();
  EXPECT_FALSE(t.Eof());
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("FotoID").AsInt32(), 7);  // stays on the last row

  EXPECT_TRUE(t.Locate("FotoID", Value(-1)));
  EXPECT_EQ(t.FieldByName("Kurzname").AsString(), "lokal");
  EXPECT_FALSE(t.Locate("FotoID", Value(-2)));
  EXPECT_EQ(t.FieldByName("Kurzname").AsString(), "lokal");  // unmoved
  EXPECT_TRUE(t.Locate("FotoID", Value("7")));

  t.Locate("FotoID", Value(-1));
  t.Edit();
  t.SetFieldByName("Aufnahmedatum", Value(45356.0));
  t.SetFieldByName("Bildbeschreibung", Value("Blick über den Teich"));
  t.First();  // moving away posts the change
  {
    Query q(*c_, "select Aufnahmedatum, Bildbeschreibung from Fotos where FotoID = -1");
    EXPECT_EQ(q.AsString(0), "2024-03-05");
    EXPECT_DOUBLE_EQ(q.AsDateTime(0), 45356.0);
    EXPECT_EQ(q.AsString(1), "Blick über den Teich");
  }
  t.Locate("FotoID", Value(-1));
  EXPECT_DOUBLE_EQ(t.FieldByName("Aufnahmedatum").AsDateTime(), 45356.0);
  t.Delete();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("FotoID").AsInt32(), 7);  // the next row is current
  Query q(*c_, "select count(*) from Fotos");
  EXPECT_EQ(q.AsInt32(0), 2);
}

TEST_F(TableTest, MisuseIsAnErrorAndAFailedPostKeepsTheEdit) {
  Table t(*c_, "Fotos");
  EXPECT_THROW(t.First(), DbError);  // not open
  t.Open();
  Add(t, 1, "eins", 2);
  EXPECT_THROW(t.SetFieldByName("Kurzname", Value("x")), DbError);  // not editing
  EXPECT_THROW(t.FieldByName("Fehlt"), DbError);
  EXPECT_THROW(t.Locate("Fehlt", Value(1)), DbError);
  t.Append();
  t.SetFieldByName("FotoID", Value(1));  // the primary key is taken
  EXPECT_THROW(t.Post(), DbError);
  t.SetFieldByName("FotoID", Value(2));
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);
  t.Edit();
  t.SetFieldByName("Kurzname", Value(std::string(51, 'x')));  // longer than text(50)
  EXPECT_THROW(t.Post(), DbError);
  t.Cancel();
  EXPECT_EQ(t.FieldByName("Kurzname").AsString(), "");
  Table missing(*c_, "Fehlt");
  EXPECT_THROW(missing.Open(), DbError);
}

TEST_F(TableTest, RefreshSeesWhatOthersWrote) {
  Table t(*c_, "Fotos");
  t.Open();
  Add(t, 1, "eins", 2);
  c_->Execute("insert into Fotos (FotoID, Kurzname) values (2, 'zwei')");
  EXPECT_EQ(t.RecordCount(), 1);
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("FotoID").AsInt32(), 1);  // still on its row
}

TEST_F(TableTest, DBaseTablesByFileName) {
  auto d = Connection::Open(dir_.DBaseIII());
  d->Execute("create Table abcdefpc (PhotoID integer, Kurzname char(50), Datum date, Beschr memo)");
  d->Execute(
      "insert into abcdefpc (PhotoID, Kurzname, Datum, Beschr) values (4711, 'Moor', #6-1-2023#, "
      "'lang')");
  Table t(*d, "ABCDEFPC.DBF");
  t.Open();
  ASSERT_FALSE(t.Eof());
  EXPECT_EQ(t.FieldByName("PhotoID").AsInt32(), 4711);
  EXPECT_DOUBLE_EQ(t.FieldByName("Datum").AsDateTime(), 45078.0);
  t.Edit();
  t.SetFieldByName("Datum", Value(45079.0));
  t.Post();
  t.Append();
  t.SetFieldByName("PhotoID", Value(4712));
  t.Post();
  EXPECT_EQ(t.FieldByName("PhotoID").AsInt32(), 4712);
  Query q(*d, "select PhotoID, Datum from abcdefpc");
  EXPECT_EQ(q.AsString(1), "2023-06-02");
  Table none(*d, "fehlt.dbf");
  EXPECT_THROW(none.Open(), DbError);
}

}  // namespace
}  // namespace platform::db
