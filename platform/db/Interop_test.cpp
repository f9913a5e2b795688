// Round trips with dBase readers and writers that are not ours: Python's
// dbfread and dbf modules, shapelib's C library and dbview. Both
// directions, memo files included, so the files the driver writes are the
// files other programs (and the central system) read.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

namespace platform::db {
namespace {

using testing::TestDir;
using testing::All;
using testing::Rows;

std::string RunCommand(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
  if (!pipe) return "popen failed";
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0) out.append(buf.data(), n);
  return out;
}

std::string Python(const TestDir& dir, const std::string& script, const std::string& arg) {
  const std::string file = dir.File("script.py");
  TestDir::WriteAll(file, script);
  return RunCommand(std::string(VANDRA_PYTHON3) + " " + file + " '" + arg + "'");
}

const std::string kLongMemo = [] {
  std::string s;
  for (int i = 0; i < 60; ++i)
    s += "Zeile " + std::to_string(i) + ": Moorbirke, Sumpfdotterblume. ";
  return s + "Ende";
}();

// A table with every field type, written by the driver.
void WriteSample(const TestDir& dir, const std::string& connection_string) {
  auto c = Connection::Open(connection_string);
  c->Execute(
      "create Table SAMPLE (ID integer, NAME char(30), BETRAG double, DATUM date, OK bit, TEXT "
      "memo)");
  c->Execute(
      "insert into SAMPLE (ID,NAME,BETRAG,DATUM,OK,TEXT) values (1,'Grünland "
      "Ä',12.5,#3-5-2024#,1,'kurz ß')");
  c->Execute(
      "insert into SAMPLE (ID,NAME,BETRAG,DATUM,OK,TEXT) values "
      "(2,'gelöscht',0,#1-1-2000#,0,'weg')");
  c->Execute("insert into SAMPLE (ID,NAME,TEXT) values (NULL,'  leer',NULL)");
  c->Execute("insert into SAMPLE (ID,NAME,BETRAG,TEXT) values (-4,'lang',-0.25,'" + kLongMemo +
             "')");
  c->Execute("delete from SAMPLE where ID = 2");
  c->Execute("update SAMPLE set TEXT = 'kurz ß, geändert' where ID = 1");
  (void)dir;
}

const char* kDbfreadScript = R"(
import sys, dbfread
for r in dbfread.DBF(sys.argv[1], encoding='cp1252'):
    print('|'.join('<null>' if v is None else str(v) for v in r.values()))
)";

// `blank_memo` is how the reader shows a memo field that points nowhere.
std::string ExpectedSample(const std::string& blank_memo) {
  return "1|Grünland Ä|12.5|2024-03-05|True|kurz ß, geändert\n"
         "<null>|  leer|<null>|<null>|<null>|" +
         blank_memo +
         "\n"
         "-4|lang|-0.25|<null>|<null>|" +
         kLongMemo + "\n";
}

TEST(InteropTest, DbfreadReadsOurDBaseIIIAndIVTablesWithMemos) {
  for (bool four : {false, true}) {
    TestDir dir;
    WriteSample(dir, four ? dir.DBaseIV() : dir.DBaseIII());
    EXPECT_EQ(static_cast<unsigned char>(TestDir::ReadAll(dir.File("SAMPLE.dbf"))[0]),
              four ? 0x8B : 0x83);
    EXPECT_EQ(Python(dir, kDbfreadScript, dir.File("SAMPLE.dbf")), ExpectedSample("<null>"))
        << (four ? "IV" : "III");
  }
}

TEST(InteropTest, PythonDbfReadsOurDBaseIIITable) {
  TestDir dir;
  WriteSample(dir, dir.DBaseIII());
  const char* script = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], codepage='cp1252')
t.open()
for r in t:
    if dbf.is_deleted(r):
        continue
    print('|'.join('<null>' if v is None else str(v).rstrip() for v in r))
t.close()
)";
  EXPECT_EQ(Python(dir, script, dir.File("SAMPLE.dbf")), ExpectedSample(""));
}

TEST(InteropTest, WeReadWhatPythonDbfWrites) {
  TestDir dir;
  const char* script = R"(
import sys, dbf, datetime
t = dbf.Table(sys.argv[1] + '/FREMD.dbf', 'KENNUNG C(50); TID N(11,0); WERT N(10,2); DATUM D; OK L; NOTIZ M',
              dbf_type='db3', codepage='cp1252')
t.open(mode=dbf.READ_WRITE)
t.append(('NSG-0001 Süd', 3, 1.25, datetime.date(1999, 12, 31), True, 'Notiz mit Ümlaut\r\nzweite Zeile'))
t.append(('', None, None, None, None, ''))
t.append(('zu löschen', 9, 0, None, False, 'x' * 2000))
dbf.delete(t[2])
t.close()
)";
  ASSERT_EQ(Python(dir, script, dir.Path()), "");
  auto c = Connection::Open(dir.DBaseIII());
  EXPECT_EQ(
      All(*c, "select KENNUNG,TID,WERT,DATUM,OK,NOTIZ from FREMD"),
      (Rows{{"NSG-0001 Süd", "3", "1.25", "1999-12-31", "1", "Notiz mit Ümlaut\r\nzweite Zeile"},
            {"", "<null>", "<null>", "<null>", "<null>", ""}}));
  // And the other way: our change, read by dbf again.
  c->Execute("update FREMD set NOTIZ = 'neu', TID = 4 where TID = 3");
  const char* reader = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], codepage='cp1252')
t.open()
print(len(t), t[0].tid, t[0].notiz, t[1].notiz == '', dbf.is_deleted(t[2]), len(t[2].notiz))
t.close()
)";
  EXPECT_EQ(Python(dir, reader, dir.File("FREMD.dbf")), "3 4 neu True True 2000\n");
}

TEST(InteropTest, ChangesByAnotherProgramAreSeenByTheNextStatement) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table TA_KL (TID integer, KENNUNG char(50))");
  c->Execute("insert into TA_KL (TID,KENNUNG) values (1,'A')");
  EXPECT_EQ(All(*c, "select KENNUNG from TA_KL where TID = 1"), (Rows{{"A"}}));
  const char* script = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], codepage='cp1252')
t.open(mode=dbf.READ_WRITE)
t.append((1, 'B'))
with t[0] as r:
    r.kennung = 'A2'
t.close()
)";
  ASSERT_EQ(Python(dir, script, dir.File("TA_KL.dbf")), "");
  EXPECT_EQ(All(*c, "select KENNUNG from TA_KL where TID = 1"), (Rows{{"A2"}, {"B"}}));
  EXPECT_EQ(All(*c, "select count(*) from TA_KL where KENNUNG = 'A'"), (Rows{{"0"}}));
}

TEST(InteropTest, ShapelibReadsOurFilesAndWeReadItsFiles) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIV());
    c->Execute("create Table AKT (KENNUNG char(41), AKTION char(1), N integer, D date)");
    c->Execute("insert into AKT (KENNUNG,AKTION,N,D) values ('NSG-0001','U',12,#12-24-2023#)");
    c->Execute("insert into AKT (KENNUNG,AKTION) values ('Wäldchen','N')");
  }
  DBFHandle in = DBFOpen(dir.File("AKT.dbf").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(DBFGetRecordCount(in), 2);
  EXPECT_EQ(DBFGetFieldCount(in), 4);
  char name[12];
  int width = 0, decimals = 0;
  DBFGetFieldInfo(in, 2, name, &width, &decimals);
  EXPECT_STREQ(name, "N");
  EXPECT_EQ(width, 11);
  EXPECT_EQ(decimals, 0);
  EXPECT_STREQ(DBFReadStringAttribute(in, 0, 0), "NSG-0001");
  EXPECT_EQ(DBFReadIntegerAttribute(in, 0, 2), 12);
  EXPECT_STREQ(DBFReadStringAttribute(in, 0, 3), "20231224");
  EXPECT_STREQ(DBFReadStringAttribute(in, 1, 0), "W\xE4ldchen");
  EXPECT_TRUE(DBFIsAttributeNULL(in, 1, 2));
  // shapelib takes only "00000000" for a null date; a blank one reads as empty.
  EXPECT_STREQ(DBFReadStringAttribute(in, 1, 3), "");
  DBFClose(in);

  DBFHandle out = DBFCreateEx(dir.File("SHP.dbf").c_str(), "LDID/87");
  ASSERT_NE(out, nullptr);
  DBFAddField(out, "KENNUNG", FTString, 50, 0);
  DBFAddField(out, "TID", FTInteger, 11, 0);
  DBFAddField(out, "FLAECHE", FTDouble, 15, 3);
  DBFAddNativeFieldType(out, "DATUM", 'D', 8, 0);
  DBFWriteStringAttribute(out, 0, 0,
                          "Fl\xFC"
                          "chen");
  DBFWriteIntegerAttribute(out, 0, 1, -7);
  DBFWriteDoubleAttribute(out, 0, 2, 1234.5);
  char date[] = "20240229";  // shapelib writes dates given as text through its number path
  DBFWriteAttributeDirectly(out, 0, 3, date);
  DBFWriteStringAttribute(out, 1, 0, "zweite");
  DBFWriteNULLAttribute(out, 1, 1);
  DBFWriteNULLAttribute(out, 1, 2);
  DBFWriteNULLAttribute(out, 1, 3);
  DBFClose(out);
  auto c = Connection::Open(dir.DBaseIV());
  EXPECT_EQ(
      All(*c, "select KENNUNG,TID,FLAECHE,DATUM from shp"),
      (Rows{{"Flüchen", "-7", "1234.5", "2024-02-29"}, {"zweite", "<null>", "<null>", "<null>"}}));
}

TEST(InteropTest, DbviewShowsOurRecords) {
  TestDir dir;
  auto c = Connection::Open(dir.DBaseIII());
  c->Execute("create Table TA_ID (TID integer, NAME char(75),OWNER char(75))");
  c->Execute("insert into TA_ID (TID,NAME,OWNER) values (3,'Moor am Bach','Erika Muster')");
  c->Execute("insert into TA_ID (TID,NAME,OWNER) values (4,'Heide','Max')");
  c->Execute("delete from TA_ID where TID = 4");
  const std::string out = RunCommand("dbview -b -t -d '|' " + dir.File("TA_ID.dbf"));
  EXPECT_NE(out.find("3|Moor am Bach|Erika Muster"), std::string::npos) << out;
  EXPECT_EQ(out.find("Heide"), std::string::npos) << out;
}

}  // namespace
}  // namespace platform::db
