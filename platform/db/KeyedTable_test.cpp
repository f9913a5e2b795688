// The keyed table object: lookups through its named indexes agree with what
// SQL on the same folder sees, both ways, and bad files are told in German
// with the file's name, never crash.
#include "platform/db/KeyedTable.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/db/TestDir.h"

namespace platform::db {
namespace {

using testing::TestDir;

std::vector<dbase::FieldSpec> ListFields() {
  return {{"TID", 'N', 11, 0}, {"KENNUNG", 'C', 50, 0}, {"CHANGED", 'C', 15, 0}};
}

class KeyedTableTest : public ::testing::Test {
 protected:
  KeyedTable Make(const std::string& file = "TA_LIST.DBF") {
    return KeyedTable(dir_.Path() + "/", file, {{"idxKennung", "KENNUNG"}, {"idxTID", "TID"}});
  }
  uint32_t Add(KeyedTable& t, int tid, const std::string& k) {
    KeyedTable::Operation op(t, true);
    const uint32_t rec = t.Append();
    t.Set(rec, "TID", Value(tid));
    t.Set(rec, "KENNUNG", Value(k));
    t.Set(rec, "CHANGED", Value("IGNORED"));
    op.End();
    return rec;
  }
  std::vector<std::string> KennungenOf(KeyedTable& t, int tid) {
    KeyedTable::Operation op(t, false);
    std::vector<std::string> out;
    for (uint32_t rec : t.Seek("idxTID", Value(tid)))
      out.push_back(t.Get(rec, "KENNUNG").AsString());
    op.End();
    return out;
  }
  std::string ErrorOf(const std::function<void()>& work) {
    try {
      work();
    } catch (const DbError& e) {
      return e.what();
    }
    return "";
  }
  TestDir dir_;
};

TEST_F(KeyedTableTest, KeysRangesAndInPlaceChangesFollowEveryWrite) {
  KeyedTable t = Make();
  t.Create(ListFields());
  EXPECT_TRUE(std::filesystem::exists(dir_.File("TA_LIST.DBF")));
  Add(t, 3, "DE-1");
  Add(t, 5, "DE-2");
  Add(t, 3, "Müller-3");
  EXPECT_EQ(KennungenOf(t, 3), (std::vector<std::string>{"DE-1", "Müller-3"}));
  {
    KeyedTable::Operation op(t, true);
    const int64_t rec = t.SeekFirst("idxKennung", Value("Müller-3"));
    ASSERT_GE(rec, 0);
    t.Set(static_cast<uint32_t>(rec), "TID", Value(5));
    t.Set(static_cast<uint32_t>(rec), "KENNUNG", Value("NSG-3"));
    EXPECT_EQ(t.SeekFirst("idxKennung", Value("Müller-3")), -1);
    t.Delete(static_cast<uint32_t>(t.SeekFirst("idxKennung", Value("DE-1"))));
    op.End();
  }
  EXPECT_TRUE(KennungenOf(t, 3).empty());
  EXPECT_EQ(KennungenOf(t, 5), (std::vector<std::string>{"DE-2", "NSG-3"}));
  // Numbers given as text and an identifier the code page lacks find nothing
  // odd: the one finds its rows, the other none.
  KeyedTable::Operation op(t, false);
  EXPECT_EQ(t.Seek("idxTID", Value("5")).size(), 2u);
  EXPECT_TRUE(t.Seek("idxKennung", Value("€€\xe2\x82")).empty());
  EXPECT_TRUE(t.Seek("idxKennung", Value()).empty());
  op.End();
}

TEST_F(KeyedTableTest, SqlAndTableObjectsSeeEachOthersChanges) {
  KeyedTable t = Make();
  t.Create(ListFields());
  Add(t, 3, "DE-1");
  auto c = Connection::Open(dir_.DBaseIII());
  {
    Query q(*c, "select KENNUNG from TA_LIST where TID = 3");
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.AsString(0), "DE-1");
  }
  c->Execute("insert into TA_LIST (TID,KENNUNG,CHANGED) values (3,'DE-9','NEW')");
  c->Execute("update TA_LIST set TID = 7 where KENNUNG = 'DE-1'");
  EXPECT_EQ(KennungenOf(t, 3), (std::vector<std::string>{"DE-9"}));
  EXPECT_EQ(KennungenOf(t, 7), (std::vector<std::string>{"DE-1"}));
  // A file replaced by another program is read anew, its indexes with it.
  c->Execute("drop table TA_LIST");
  c->Execute("create table TA_LIST (TID integer, KENNUNG char(50), CHANGED char(15))");
  c->Execute("insert into TA_LIST (TID,KENNUNG,CHANGED) values (7,'X-1','NEW')");
  EXPECT_EQ(KennungenOf(t, 7), (std::vector<std::string>{"X-1"}));
}

TEST_F(KeyedTableTest, AFailedOperationLeavesNoChangeBehind) {
  KeyedTable t = Make();
  t.Create(ListFields());
  Add(t, 3, "DE-1");
  const std::string error = ErrorOf([&] {
    KeyedTable::Operation op(t, true);
    t.Set(0, "TID", Value(4));
    t.Set(0, "KENNUNG", Value(std::string(51, 'x')));  // wider than the field
    op.End();
  });
  EXPECT_NE(error.find("TA_LIST.DBF"), std::string::npos) << error;
  EXPECT_NE(error.find("KENNUNG"), std::string::npos) << error;
  EXPECT_EQ(KennungenOf(t, 3), (std::vector<std::string>{"DE-1"}));
  EXPECT_TRUE(KennungenOf(t, 4).empty());
}

TEST_F(KeyedTableTest, BadFilesAreToldInGermanNamingTheFile) {
  // Missing.
  KeyedTable missing = Make("TA_KL.DBF");
  EXPECT_FALSE(missing.Exists());
  std::string error = ErrorOf([&] { KeyedTable::Operation op(missing, false); });
  EXPECT_NE(error.find("Die Tabelle"), std::string::npos) << error;
  EXPECT_NE(error.find("TA_KL.DBF wurde nicht gefunden"), std::string::npos) << error;

  // Truncated in its header.
  KeyedTable t = Make();
  t.Create(ListFields());
  Add(t, 3, "DE-1");
  std::filesystem::resize_file(dir_.File("TA_LIST.DBF"), 20);
  KeyedTable cut = Make();
  error = ErrorOf([&] { KeyedTable::Operation op(cut, false); });
  EXPECT_NE(error.find("TA_LIST.DBF ist beschädigt"), std::string::npos) << error;

  // Read-only: reading goes on, writing is refused by name.
  std::filesystem::remove(dir_.File("TA_LIST.DBF"));
  KeyedTable ro = Make();
  ro.Create(ListFields());
  Add(ro, 3, "DE-1");
  ::chmod(dir_.File("TA_LIST.DBF").c_str(), 0444);
  KeyedTable ro2 = Make();
  if (::access(dir_.File("TA_LIST.DBF").c_str(), W_OK) != 0) {  // not as root
    EXPECT_EQ(KennungenOf(ro2, 3), (std::vector<std::string>{"DE-1"}));
    error = ErrorOf([&] { Add(ro2, 4, "DE-2"); });
    EXPECT_NE(error.find("TA_LIST.DBF ist schreibgeschützt"), std::string::npos) << error;
  }
  ::chmod(dir_.File("TA_LIST.DBF").c_str(), 0644);

  // A table without the field an index is on.
  auto c = Connection::Open(dir_.DBaseIII());
  c->Execute("create table TA_ID (TID integer)");
  KeyedTable ids(dir_.Path() + "/", "TA_ID.DBF", {{"idxName", "NAME"}});
  error = ErrorOf([&] { KeyedTable::Operation op(ids, false); });
  EXPECT_NE(error.find("kein Feld NAME"), std::string::npos) << error;
}

TEST_F(KeyedTableTest, TheFileIsFoundInAnyLetterCase) {
  auto c = Connection::Open(dir_.DBaseIII());
  c->Execute("create table ta_list (TID integer, KENNUNG char(50), CHANGED char(15))");
  c->Execute("insert into ta_list (TID,KENNUNG,CHANGED) values (2,'A','NEW')");
  KeyedTable t = Make();
  EXPECT_TRUE(t.Exists());
  t.Create(ListFields());  // there already: nothing written
  EXPECT_EQ(KennungenOf(t, 2), (std::vector<std::string>{"A"}));
}

}  // namespace
}  // namespace platform::db
