// The table object, as the photo catalogue and the import use it: walking,
// locating, editing, appending, deleting, refreshing, on an SQLite database
// and on a dBase folder. Each case runs twice: with rows addressed by rowid,
// and by their values, as on an engine without rowid (Jet), SQLite standing
// in for it with Jet's [name] quoting.
#include <gtest/gtest.h>

#include "platform/db/Backend.h"
#include "platform/db/Connection.h"
#include "platform/db/DbaseBackend.h"
#include "platform/db/SqliteBackend.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

namespace platform::db {
namespace {

using testing::All;
using testing::TestDir;

// A back-end that offers what Jet offers a table object: no rowid, names
// in [ ]. Every statement is kept, to see that none reaches for a rowid.
class WithoutRowid : public Backend {
 public:
  explicit WithoutRowid(std::unique_ptr<Backend> inner)
      : Backend(inner->IsDBase(), inner->DataSource()), inner_(std::move(inner)) {}

  SqliteSession& Session() override { return inner_->Session(); }
  void Run(const dialect::Statement& st, Rows* out) override { inner_->Run(st, out); }
  void RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) override {
    statements.push_back(sql);
    inner_->RunSql(sql, binds, out);
  }
  std::string Translate(const dialect::Statement& st) const override {
    return inner_->Translate(st);
  }
  std::vector<std::string> TableNames() override { return inner_->TableNames(); }
  bool HasTable(std::string_view name) override { return inner_->HasTable(name); }
  int64_t LastInsertRowid() override { throw DbError("Diese Datenbank kennt keine rowid."); }
  bool HasRowid() const override { return false; }
  std::string QuoteName(std::string_view name) const override {
    return "[" + std::string(name) + "]";
  }

  std::vector<std::string> statements;

 private:
  std::unique_ptr<Backend> inner_;
};

class TableBase : public ::testing::Test {
 protected:
  void Connect(bool by_values) {
    by_values_ = by_values;
    Connection::CreateDatabase(dir_.File("Projekt.mdb"));
    if (by_values) {
      c_ = Connection::Over(
          std::make_unique<WithoutRowid>(SqliteBackend::Open(dir_.File("Projekt.mdb"))));
    } else {
      c_ = Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                            dir_.File("Projekt.mdb") + ";Persist Security Info=False");
    }
    c_->Execute(
        "create table Fotos\r\n (FotoID integer, \r\nKurzname text(50), \r\nAufnahmedatum date, "
        "\r\n"
        "IsNew integer, \r\nPicFileName text(50), \r\nBildbeschreibung memo) ");
    c_->Execute("Create unique index PrimaryKey on Fotos\r\n(FotoID) with primary");
  }
  void TearDown() override {
    if (!by_values_) return;
    for (const std::string& sql : static_cast<WithoutRowid&>(c_->Engine()).statements) {
      EXPECT_EQ(sql.find("rowid"), std::string::npos) << sql;
      EXPECT_EQ(sql.find("DEFAULT VALUES"), std::string::npos) << sql;
    }
  }
  std::unique_ptr<Connection> DBaseFolder() {
    if (!by_values_) return Connection::Open(dir_.DBaseIII());
    return Connection::Over(
        std::make_unique<WithoutRowid>(DbaseBackend::Open(dir_.Path(), dbase::Flavor::kDBase3)));
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
  bool by_values_ = false;
};

class TableTest : public TableBase, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { Connect(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Addressing, TableTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByValues" : "ByRowid"; });

TEST_P(TableTest, WalkLocateEditDelete) {
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

TEST_P(TableTest, MisuseIsAnErrorAndAFailedPostKeepsTheEdit) {
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

TEST_P(TableTest, RefreshSeesWhatOthersWrote) {
  Table t(*c_, "Fotos");
  t.Open();
  Add(t, 1, "eins", 2);
  c_->Execute("insert into Fotos (FotoID, Kurzname) values (2, 'zwei')");
  EXPECT_EQ(t.RecordCount(), 1);
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("FotoID").AsInt32(), 1);  // still on its row
}

TEST_P(TableTest, DBaseTablesByFileName) {
  auto d = DBaseFolder();
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

class TableByValuesTest : public TableBase {
 protected:
  void SetUp() override {
    Connect(true);
    c_->Execute("create table Notizen (Text text(20), Zahl integer)");
  }
};

TEST_F(TableByValuesTest, EqualRowsAreNeitherChangedNorDeleted) {
  c_->Execute("insert into Notizen (Text, Zahl) values ('gleich', 1)");
  c_->Execute("insert into Notizen (Text, Zahl) values ('gleich', 1)");
  Table t(*c_, "Notizen");
  t.Open();
  t.Edit();
  t.SetFieldByName("Zahl", Value(2));
  try {
    t.Post();
    ADD_FAILURE() << "two rows changed as one";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("Tabelle Notizen ist nicht eindeutig: 2 Datens"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(t.FieldByName("Zahl").AsInt32(), 1);  // the edit is dropped
  EXPECT_THROW(t.Delete(), DbError);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(All(*c_, "select Text, Zahl from Notizen"),
            (testing::Rows{{"gleich", "1"}, {"gleich", "1"}}));
}

TEST_F(TableByValuesTest, ARowChangedOrDeletedBehindItsBackIsRefusedAndReadAgain) {
  Table t(*c_, "Fotos");
  t.Open();
  Add(t, 1, "eins", 2);
  Add(t, 2, "zwei", 2);
  t.First();
  c_->Execute("update Fotos set Kurzname = 'anders' where FotoID = 1");
  t.Edit();
  t.SetFieldByName("IsNew", Value(5));
  try {
    t.Post();
    ADD_FAILURE() << "a changed row was overwritten";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(),
                 "Der Datensatz der Tabelle Fotos wurde inzwischen geändert oder gelöscht. Die "
                 "Tabelle wurde neu gelesen.");
  }
  EXPECT_EQ(t.FieldByName("Kurzname").AsString(), "anders");
  EXPECT_EQ(t.FieldByName("IsNew").AsInt32(), 2);
  t.Edit();  // read again, the row is found
  t.SetFieldByName("IsNew", Value(5));
  t.Post();
  EXPECT_EQ(All(*c_, "select IsNew from Fotos where FotoID = 1"), (testing::Rows{{"5"}}));

  t.Next();
  c_->Execute("delete from Fotos where FotoID = 2");
  EXPECT_THROW(t.Delete(), DbError);
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("FotoID").AsInt32(), 1);
}

TEST_F(TableByValuesTest, NullsAndUncomparableColumnsInTheCriteria) {
  // A null is asked for with IS NULL; a blob is left out of the criteria.
  c_->Execute("create table Anhang (Name text(20), Datum date, Daten longbinary)");
  c_->Execute("insert into Anhang (Name) values ('a')");
  Table t(*c_, "Anhang");
  t.Open();
  t.Edit();
  t.SetFieldByName("Name", Value("b"));
  t.Post();
  EXPECT_EQ(All(*c_, "select Name, Datum from Anhang"), (testing::Rows{{"b", "<null>"}}));
  t.Edit();
  t.SetFieldByName("Datum", Value(45356.0));
  t.Post();
  t.Delete();
  EXPECT_EQ(All(*c_, "select count(*) from Anhang"), (testing::Rows{{"0"}}));
  const auto& sql = static_cast<WithoutRowid&>(c_->Engine()).statements;
  const std::string update = "UPDATE [Anhang] SET [Datum] = ? WHERE [Name] = ? AND [Datum] IS NULL";
  EXPECT_NE(std::find(sql.begin(), sql.end(), update), sql.end());
}

TEST_F(TableByValuesTest, AnAppendedRowIsEditedAndDeleted) {
  Table t(*c_, "Notizen");
  t.Open();
  t.Append();  // nothing set: a row of nulls
  t.Post();
  ASSERT_EQ(t.RecordCount(), 1);
  t.Edit();
  t.SetFieldByName("Text", Value("neu"));
  t.SetFieldByName("Zahl", Value("7"));  // the engine makes it a number
  t.Post();
  EXPECT_EQ(t.FieldByName("Zahl"), Value(int64_t{7}));
  t.Append();
  t.SetFieldByName("Zahl", Value(8));
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);
  t.Edit();
  t.SetFieldByName("Text", Value("acht"));
  t.Post();
  t.First();
  t.Delete();
  EXPECT_EQ(All(*c_, "select Text, Zahl from Notizen"), (testing::Rows{{"acht", "8"}}));
}

}  // namespace
}  // namespace platform::db
