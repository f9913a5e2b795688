// The dBase codec on its own: values of every field type, the order of
// writes that keeps a table whole, locks between handles, and files that are
// truncated, garbled or lie about themselves.
#include "platform/dbase/DbfFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/db/TestDir.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace platform::dbase {
namespace {

using platform::db::testing::TestDir;

std::vector<FieldSpec> Sample() {
  return {{"KENNUNG", 'C', 12, 0}, {"TID", 'N', 11, 0}, {"WERT", 'N', 8, 2},
          {"DATUM", 'D', 0, 0},    {"OK", 'L', 0, 0},   {"NOTIZ", 'M', 0, 0}};
}

// Writes one record through a handle of its own.
void AddRecord(const std::string& path, const std::vector<Cell>& cells) {
  auto f = DbfFile::Open(path, true);
  f->BeginWrite();
  const uint32_t rec = f->Append();
  for (size_t i = 0; i < cells.size(); ++i) f->Write(rec, static_cast<int>(i), cells[i]);
  f->Commit();
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbaseError& e) {
    return e.what();
  }
  return "no error";
}

class DbfFileTest : public ::testing::Test {
 public:
  void SetUp() override {
    path_ = dir_.File("T.dbf");
    DbfFile::Create(path_, Flavor::kDBase3, Sample());
    AddRecord(path_,
              {Cell::Text("Grün 1"), Cell::Integer(7), Cell::Real(3.14159),
               Cell::MakeDate({2024, 2, 29}), Cell::Logical(true), Cell::Text("erste Notiz")});
    AddRecord(path_, {Cell::Text("  zwei"), Cell::Null(), Cell::Null(), Cell::Null(), Cell::Null(),
                      Cell::Null()});
  }
  std::string Bytes() const { return TestDir::ReadAll(path_); }
  void Patch(size_t at, const std::string& bytes) {
    std::string b = Bytes();
    b.replace(at, bytes.size(), bytes);
    TestDir::WriteAll(path_, b);
  }
  static constexpr size_t kHeader = 32 + 6 * 32 + 1;
  static constexpr size_t kRecord = 1 + 12 + 11 + 8 + 8 + 1 + 10;

  TestDir dir_;
  std::string path_;
};

TEST_F(DbfFileTest, ValuesComeBackAsWritten) {
  auto f = DbfFile::Open(path_, false);
  f->BeginRead();
  ASSERT_EQ(f->RecordCount(), 2u);
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  EXPECT_EQ(f->Read(0, 1).integer, 7);
  EXPECT_DOUBLE_EQ(f->Read(0, 2).real, 3.14);
  EXPECT_EQ(f->Read(0, 3).date, (Date{2024, 2, 29}));
  EXPECT_EQ(f->Read(0, 4).integer, 1);
  EXPECT_EQ(f->Read(0, 5).text, "erste Notiz");
  EXPECT_EQ(f->Read(1, 0).text, "  zwei");  // leading blanks stay
  for (int field = 1; field <= 4; ++field)
    EXPECT_EQ(f->Read(1, field).kind, Cell::Kind::kNull) << field;
  EXPECT_EQ(f->Read(1, 5).text, "");
  EXPECT_EQ(f->Raw(0, 1), "          7");
  EXPECT_EQ(f->Raw(0, 2), "    3.14");
  EXPECT_EQ(f->Raw(1, 3), "        ");
  EXPECT_EQ(f->FieldIndex("notiz"), 5);
  EXPECT_EQ(f->FieldIndex("FEHLT"), -1);
  f->EndRead();
  EXPECT_EQ(f->VersionByte(), 0x83);
  EXPECT_EQ(Bytes().back(), '\x1A');
}

TEST_F(DbfFileTest, ValuesThatDoNotFitAreRefusedAndNothingIsCut) {
  auto f = DbfFile::Open(path_, true);
  f->BeginWrite();
  EXPECT_NE(
      ErrorOf([&] { f->Write(0, 1, Cell::Integer(123456789012)); }).find("Datensatz 1, Feld TID"),
      std::string::npos);
  EXPECT_NE(ErrorOf([&] { f->Write(0, 2, Cell::Real(123456.0)); }).find("passt nicht in N(8,2)"),
            std::string::npos);
  EXPECT_NE(
      ErrorOf([&] { f->Write(0, 0, Cell::Text("dreizehn Zeichen")); }).find("passt nicht in C(12)"),
      std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              f->Write(0, 5,
                       Cell::Text("a\x1A"
                                  "b"));
            }).find("U+001A"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              f->Write(0, 3, Cell::MakeDate({2023, 2, 29}));
            }).find("Ein ungültiges Datum kann nicht in einem Feld vom Typ D(8) stehen"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              f->Write(0, 1, Cell::Text("7"));
            }).find("Ein Text kann nicht in einem Feld vom Typ N(11,0) stehen"),
            std::string::npos);
  // A fraction is not rounded into a whole-number field; a whole number
  // given as a real is taken.
  EXPECT_NE(ErrorOf([&] {
              f->Write(0, 1, Cell::Real(-2.5));
            }).find("Datensatz 1, Feld TID: -2.5 ist keine ganze Zahl"),
            std::string::npos);
  f->Write(0, 1, Cell::Real(-3.0));
  f->Write(0, 2, Cell::Real(99999.99));
  EXPECT_EQ(f->Raw(0, 1), "         -3");
  EXPECT_EQ(f->Raw(0, 2), "99999.99");
  f->Rollback();
  f->BeginRead();
  EXPECT_EQ(f->Read(0, 1).integer, 7);
  f->EndRead();
}

TEST_F(DbfFileTest, ANulCharacterOrAFractionForAWholeNumberIsRefusedNotCut) {
  auto f = DbfFile::Open(path_, true);
  f->BeginWrite();
  const std::string with_nul("a\0b", 3);
  const std::string text_error = ErrorOf([&] { f->Write(0, 0, Cell::Text(with_nul)); });
  EXPECT_NE(
      text_error.find(path_ + ", Datensatz 1, Feld KENNUNG: Ein Text kann das Zeichen U+0000 (NUL) "
                              "nicht enthalten."),
      std::string::npos)
      << text_error;
  EXPECT_NE(ErrorOf([&] {
              f->Write(1, 0, Cell::Text(std::string("ab\0", 3)));
            }).find("Datensatz 2, Feld KENNUNG: Ein Text kann das Zeichen U+0000"),
            std::string::npos);
  const std::string memo_error = ErrorOf([&] { f->Write(0, 5, Cell::Text(with_nul)); });
  EXPECT_NE(memo_error.find("Datensatz 1, Feld NOTIZ: Ein Memotext kann die Steuerzeichen"),
            std::string::npos)
      << memo_error;
  EXPECT_NE(memo_error.find("U+0000"), std::string::npos) << memo_error;
  const std::string number_error = ErrorOf([&] { f->Write(1, 1, Cell::Real(12.5)); });
  EXPECT_NE(
      number_error.find(path_ + ", Datensatz 2, Feld TID: 12.5 ist keine ganze Zahl, und N(11,0) "
                                "hat keine Nachkommastellen."),
      std::string::npos)
      << number_error;
  EXPECT_NE(ErrorOf([&] { f->Write(1, 1, Cell::Real(1e15 + 0.5)); }).find("ist keine ganze Zahl"),
            std::string::npos);
  EXPECT_EQ(f->Raw(0, 0), "Gr\xFCn 1      ");
  EXPECT_EQ(f->Raw(1, 1), std::string(11, ' '));
  f->Write(1, 1, Cell::Real(12.0));
  EXPECT_EQ(f->Raw(1, 1), "         12");
  f->Write(1, 2, Cell::Real(0.126));  // a field with decimals rounds to them
  EXPECT_EQ(f->Raw(1, 2), "    0.13");
  f->Commit();
}

TEST_F(DbfFileTest, RollbackWritesNothing) {
  const std::string before = Bytes();
  auto f = DbfFile::Open(path_, true);
  f->BeginWrite();
  f->Write(0, 0, Cell::Text("geändert"));
  f->Append();
  f->Delete(1);
  f->Rollback();
  EXPECT_EQ(Bytes(), before);
  f->BeginRead();
  EXPECT_EQ(f->RecordCount(), 2u);
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  EXPECT_FALSE(f->IsDeleted(1));
  f->EndRead();
  EXPECT_THROW(f->Write(0, 0, Cell::Text("x")), DbaseError);  // outside a write statement
}

TEST_F(DbfFileTest, AppendsCutShortStayUnseenAndWholeUncountedOnesAreTaken) {
  const std::string good = Bytes();
  // Killed after writing the record behind the closed gate: the end mark
  // still stands where the record begins.
  Patch(4, std::string("\x01\x00\x00\x00", 4));
  Patch(kHeader + kRecord, "\x1A");
  {
    auto f = DbfFile::Open(path_, true);
    f->BeginRead();
    EXPECT_EQ(f->RecordCount(), 1u);
    f->EndRead();
    f->BeginWrite();
    const uint32_t rec = f->Append();
    f->Write(rec, 0, Cell::Text("neu"));
    f->Commit();
  }
  EXPECT_EQ(Bytes().size(), kHeader + 2 * kRecord + 1);
  EXPECT_EQ(Bytes()[4], 2);
  auto g = DbfFile::Open(path_, false);
  g->BeginRead();
  EXPECT_EQ(g->RecordCount(), 2u);
  EXPECT_EQ(g->Read(1, 0).text, "neu");
  g->EndRead();

  // Killed after opening the gate, before counting: the record is whole and
  // readers that go by the end mark see it already, so it is taken.
  TestDir::WriteAll(path_, good);
  Patch(4, std::string("\x01\x00\x00\x00", 4));
  auto h = DbfFile::Open(path_, true);
  h->BeginRead();
  EXPECT_EQ(h->RecordCount(), 2u);
  EXPECT_EQ(h->Read(1, 0).text, "  zwei");
  h->EndRead();
  h->BeginWrite();
  h->Commit();  // nothing changed: the count stays as the file has it
  h->BeginWrite();
  h->Write(1, 1, Cell::Integer(2));
  h->Commit();
  EXPECT_EQ(Bytes()[4], 2);  // the next write counts it

  // A record cut short with no end mark before it is no record our writer
  // leaves: the count is not to be trusted, and the table is refused.
  TestDir::WriteAll(path_, good);
  Patch(4, std::string("\x01\x00\x00\x00", 4));
  std::string cut = Bytes();
  cut.resize(kHeader + kRecord + kRecord / 2);
  TestDir::WriteAll(path_, cut);
  EXPECT_NE(ErrorOf([&] { DbfFile::Open(path_, false); }).find("eines abgeschnittenen Datensatzes"),
            std::string::npos);
  EXPECT_EQ(Bytes(), cut);
}

TEST_F(DbfFileTest, AHeaderCountingTooFewRecordsWithNoEndMarkBehindThemIsRefused) {
  // Read short, such a table would take the next append over the records
  // its header does not count.
  const std::string good = Bytes();
  const std::string one("\x01\x00\x00\x00", 4);
  const auto counting_one = [&](std::string bytes) {
    bytes.replace(4, 4, one);
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"a whole record and the end of the file",
       counting_one(good.substr(0, kHeader + 2 * kRecord)),
       "Der Dateikopf zählt 1 Datensatz, dahinter folgen aber 1 ganzer Datensatz ohne Endmarke."},
      {"bytes that are no record", counting_one(good.substr(0, kHeader + kRecord) + "GARBAGE"),
       "dahinter folgen aber 7 überzählige Bytes (das erste ist 0x47) ohne Endmarke."},
      {"a whole record, then one cut short",
       counting_one(good.substr(0, kHeader + 2 * kRecord) + good.substr(kHeader, 9)),
       "dahinter folgen aber 1 ganzer Datensatz und 9 Bytes eines abgeschnittenen Datensatzes "
       "ohne Endmarke."},
      {"a record with a bad deletion flag", counting_one(good.substr(0, kHeader + kRecord) + "#"),
       "dahinter folgen aber 1 überzähliges Byte (0x23)"},
  };
  for (const Case& c : cases) {
    TestDir::WriteAll(path_, c.bytes);
    for (bool writable : {false, true}) {
      const std::string error = ErrorOf([&] { DbfFile::Open(path_, writable); });
      EXPECT_NE(error.find(path_ + ": Die Tabelle ist beschädigt"), std::string::npos)
          << c.what << ": " << error;
      EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
      EXPECT_EQ(Bytes(), c.bytes) << c.what;
    }
  }
  // A table that was fine when opened and is then spoiled so is refused at
  // the next statement, before anything is written.
  TestDir::WriteAll(path_, good);
  auto f = DbfFile::Open(path_, true);
  TestDir::WriteAll(path_, cases[0].bytes);
  EXPECT_NE(ErrorOf([&] { f->BeginWrite(); }).find("ohne Endmarke"), std::string::npos);
  EXPECT_EQ(Bytes(), cases[0].bytes);
}

TEST_F(DbfFileTest, AnEndMarkOrTheEndOfTheFileBehindTheCountedRecordsIsFine) {
  const std::string good = Bytes();
  // Behind the end mark may lie anything: the undo block of a statement,
  // what a writer stopped before it opened the gate left.
  const std::vector<std::string> files = {good + "VUND and whatever follows",
                                          good.substr(0, good.size() - 1)};
  for (const std::string& bytes : files) {
    TestDir::WriteAll(path_, bytes);
    auto f = DbfFile::Open(path_, true);
    f->BeginWrite();
    ASSERT_EQ(f->RecordCount(), 2u);
    const uint32_t rec = f->Append();
    f->Write(rec, 0, Cell::Text("drei"));
    f->Commit();
    f->BeginRead();
    EXPECT_EQ(f->Read(1, 0).text, "  zwei");
    EXPECT_EQ(f->Read(2, 0).text, "drei");
    f->EndRead();
    EXPECT_EQ(Bytes().substr(0, kHeader + 2 * kRecord).substr(kHeader),
              good.substr(kHeader, 2 * kRecord));
    EXPECT_EQ(Bytes()[kHeader + 3 * kRecord], '\x1A');
  }
}

TEST_F(DbfFileTest, AnotherHandlesChangesAreSeenAtTheNextStatement) {
  auto reader = DbfFile::Open(path_, false);
  auto writer = DbfFile::Open(path_, true);
  // Records never read cannot be compared: a change then reloads them as a
  // whole, and what was derived from them must start over.
  {
    const uint64_t before = reader->Generation();
    writer->BeginWrite();
    writer->Write(1, 1, Cell::Integer(6));
    writer->Commit();
    reader->BeginRead();
    EXPECT_EQ(reader->Read(1, 1).integer, 6);
    EXPECT_EQ(reader->Generation(), before + 1);
    reader->EndRead();
  }
  // Records read once are compared with the file.
  reader->BeginRead();
  for (uint32_t r = 0; r < reader->RecordCount(); ++r) reader->IsDeleted(r);
  reader->EndRead();
  const uint64_t generation = reader->Generation();
  writer->BeginWrite();
  writer->Write(0, 1, Cell::Integer(8));
  writer->Commit();
  reader->BeginRead();
  EXPECT_EQ(reader->Read(0, 1).integer, 8);
  // One record changed: reported as such, no reload as a whole.
  EXPECT_EQ(reader->Generation(), generation);
  EXPECT_EQ(reader->TakeChangedRecords(), std::vector<uint32_t>{0});
  EXPECT_TRUE(reader->TakeChangedRecords().empty());
  reader->EndRead();
  // Another program rewrote the file with fewer records: reloaded as a whole.
  writer.reset();
  DbfFile::Remove(path_);
  DbfFile::Create(path_, Flavor::kDBase3, Sample());
  AddRecord(path_, {Cell::Text("allein")});
  reader->BeginRead();
  EXPECT_EQ(reader->RecordCount(), 1u);
  EXPECT_EQ(reader->Read(0, 0).text, "allein");
  EXPECT_GT(reader->Generation(), generation);
  reader->EndRead();
  // Nothing changed: nothing reloaded.
  writer = DbfFile::Open(path_, true);
  const uint64_t now = reader->Generation();
  reader->BeginRead();
  reader->EndRead();
  EXPECT_EQ(reader->Generation(), now);
}

TEST_F(DbfFileTest, AStampTellsWhetherAnyoneWroteTheFileSince) {
  const std::string stamp = FileStamp(path_);
  EXPECT_EQ(FileStamp(path_), stamp);
  // Read, even under a write lock that is given up: still the same file.
  {
    auto f = DbfFile::Open(path_, true);
    f->BeginWrite();
    EXPECT_EQ(f->Read(0, 1).integer, 7);
    f->Rollback();
  }
  EXPECT_EQ(FileStamp(path_), stamp);
  // A value rewritten in place, the file's size and time put back: the
  // header's change count still tells.
  const auto time = std::filesystem::last_write_time(path_);
  {
    auto f = DbfFile::Open(path_, true);
    f->BeginWrite();
    f->Write(0, 1, Cell::Integer(8));
    f->Commit();
  }
  std::filesystem::last_write_time(path_, time);
  EXPECT_EQ(Bytes().size(), kHeader + 2 * kRecord + 1);
  const std::string written = FileStamp(path_);
  EXPECT_NE(written, stamp);
  // Another program's write that leaves the header alone changes the time.
  Patch(kHeader + 1, "X");
  EXPECT_NE(FileStamp(path_), written);
  // The same bytes and time in another file put in its place.
  const std::string copied = FileStamp(path_);
  TestDir::WriteAll(path_ + ".neu", Bytes());
  std::filesystem::last_write_time(path_ + ".neu", std::filesystem::last_write_time(path_));
  std::filesystem::rename(path_ + ".neu", path_);
  EXPECT_NE(FileStamp(path_), copied);
  // Missing is a state of its own, and an unreadable name is an error.
  std::filesystem::remove(path_);
  EXPECT_EQ(FileStamp(path_), FileStamp(path_));
  EXPECT_NE(FileStamp(path_), copied);
  std::filesystem::create_directory(path_);
  EXPECT_NE(ErrorOf([&] { FileStamp(path_); }), "no error");
}

TEST_F(DbfFileTest, AWriterExcludesOtherHandlesUntilItCommits) {
  DbfFile::SetLockTimeoutMs(50);
  auto a = DbfFile::Open(path_, true);
  auto b = DbfFile::Open(path_, true);
  a->BeginWrite();
  EXPECT_NE(ErrorOf([&] { b->BeginRead(); }).find("von einem anderen Programm gesperrt"),
            std::string::npos);
  a->Commit();
  b->BeginRead();
  EXPECT_NE(ErrorOf([&] { a->BeginWrite(); }).find("von einem anderen Programm gesperrt"),
            std::string::npos);
  b->EndRead();
  a->BeginWrite();
  a->Commit();
  DbfFile::SetLockTimeoutMs(10000);
}

TEST_F(DbfFileTest, AFileRecreatedWithOtherFieldsIsReported) {
  auto f = DbfFile::Open(path_, false);
  DbfFile::Remove(path_);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("T.dbt")));
  EXPECT_THROW(f->BeginRead(), FileGone);
  DbfFile::Create(path_, Flavor::kDBase3, {{"ANDERS", 'C', 5, 0}});
  EXPECT_THROW(f->BeginRead(), StructureChanged);
}

TEST_F(DbfFileTest, CreateRefusesBadDefinitions) {
  EXPECT_THROW(DbfFile::Create(path_, Flavor::kDBase3, Sample()), DbaseError);  // exists
  const std::string p = dir_.File("N.dbf");
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"ELFZEICHENXX", 'C', 5, 0}}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"1A", 'C', 5, 0}}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"A", 'C', 255, 0}}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"A", 'N', 5, 4}}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"A", 'X', 5, 0}}), DbaseError);
  EXPECT_THROW(DbfFile::Create(p, Flavor::kDBase3, {{"A", 'C', 5, 0}, {"a", 'N', 5, 0}}),
               DbaseError);
  EXPECT_FALSE(std::filesystem::exists(p));
}

TEST_F(DbfFileTest, DBaseIVMemosSpanBlocksAndKeepTheirLength) {
  const std::string p = dir_.File("IV.dbf");
  DbfFile::Create(p, Flavor::kDBase4, {{"M", 'M', 0, 0}});
  const std::string long_text(1500, 'x');
  AddRecord(p, {Cell::Text(long_text)});
  AddRecord(p, {Cell::Text("kurz")});
  auto f = DbfFile::Open(p, false);
  EXPECT_EQ(f->VersionByte(), 0x8B);
  f->BeginRead();
  EXPECT_EQ(f->Read(0, 0).text, long_text);
  EXPECT_EQ(f->Read(1, 0).text, "kurz");
  f->EndRead();
  const std::string memo = TestDir::ReadAll(dir_.File("IV.dbt"));
  EXPECT_EQ(memo.size(), 512u * (1 + 3 + 1));
  EXPECT_EQ(memo.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
}

uint32_t Fnv1a(const std::string& bytes) {
  uint32_t h = 2166136261u;
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

std::string Le32Bytes(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

TEST_F(DbfFileTest, AStatementCutShortByAKillIsUndoneByTheNextReader) {
  // The state a writer killed in the middle of rewriting record 1 leaves:
  // the old record saved behind the end mark, the header flag set, the
  // record itself half new.
  const std::string good = Bytes();
  const std::string old_record = good.substr(kHeader, kRecord);
  const size_t undo_at = kHeader + 2 * kRecord + 1;
  std::string undo = "VUND" + Le32Bytes(1) + Le32Bytes(0) + old_record;
  undo += Le32Bytes(Fnv1a(undo));
  std::string torn = good;
  torn.replace(kHeader + 1, 9, "ZERRISSEN");
  torn += undo;
  torn[14] = 1;
  torn.replace(20, 4, Le32Bytes(undo_at));
  TestDir::WriteAll(path_, torn);

  auto reader = DbfFile::Open(path_, false);
  reader->BeginRead();
  EXPECT_EQ(reader->Read(0, 0).text, "Grün 1");
  reader->EndRead();
  EXPECT_EQ(Bytes(), torn);  // a reader does not write

  auto writer = DbfFile::Open(path_, true);
  writer->BeginWrite();
  writer->Commit();
  const std::string repaired = Bytes();
  EXPECT_EQ(repaired.substr(kHeader, kRecord), old_record);
  EXPECT_EQ(repaired[14], 0);
  EXPECT_EQ(repaired.substr(20, 4), Le32Bytes(0));

  // An undo block that does not add up is not applied.
  torn[torn.size() - 1] ^= 0x55;
  TestDir::WriteAll(path_, torn);
  auto third = DbfFile::Open(path_, false);
  third->BeginRead();
  EXPECT_EQ(third->Read(0, 0).text.substr(0, 9), "ZERRISSEN");
  third->EndRead();
}

// What a writer killed in the middle of rewriting the first record of a
// table of two (`good`) leaves, as the test above builds it.
std::string TornCopy(const std::string& good, size_t header, size_t record) {
  std::string undo = "VUND" + Le32Bytes(1) + Le32Bytes(0) + good.substr(header, record);
  undo += Le32Bytes(Fnv1a(undo));
  std::string torn = good;
  torn.replace(header + 1, 9, "ZERRISSEN");
  torn += undo;
  torn[14] = 1;
  torn.replace(20, 4, Le32Bytes(static_cast<uint32_t>(header + 2 * record + 1)));
  return torn;
}

TEST_F(DbfFileTest, AReaderThatMayWriteRepairsTheFileOnDisk) {
  const std::string good = Bytes();
  const std::string torn = TornCopy(good, kHeader, kRecord);
  TestDir::WriteAll(path_, torn);
  auto reader = DbfFile::Open(path_, true);
  reader->BeginRead();
  EXPECT_EQ(reader->Read(0, 0).text, "Grün 1");
  EXPECT_FALSE(reader->IsDeleted(1));
  reader->EndRead();
  // The old record back, the flag cleared, the saved records gone: the file
  // as it was before the killed statement, for every other reader too.
  EXPECT_EQ(Bytes(), good);
  // The shared lock is the reader's again: another reader gets in beside it.
  auto other = DbfFile::Open(path_, false);
  reader->BeginRead();
  other->BeginRead();
  EXPECT_EQ(other->Read(0, 0).text, "Grün 1");
  other->EndRead();
  reader->EndRead();
}

TEST_F(DbfFileTest, AReaderThatCannotWriteRepairsInMemoryOnly) {
  const std::string good = Bytes();
  const std::string torn = TornCopy(good, kHeader, kRecord);
  TestDir::WriteAll(path_, torn);
  env::FaultEnv faults(env::Env::Posix());
  faults.Inject(env::Fault(env::Op::kWrite, EIO).On("T.dbf"));
  auto f = DbfFile::Open(path_, true, faults);
  f->BeginRead();
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  f->EndRead();
  EXPECT_EQ(Bytes(), torn);
  EXPECT_GT(faults.Failures(), 0);
  // Not tried again at every statement while the file stays as it is.
  const int failures = faults.Failures();
  f->BeginRead();
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  f->EndRead();
  EXPECT_EQ(faults.Failures(), failures);
  // A writer must repair before it writes: it fails while the disk refuses.
  EXPECT_NE(ErrorOf([&] { f->BeginWrite(); }).find("kann nicht wiederhergestellt werden"),
            std::string::npos);
  faults.Clear();
  f->BeginWrite();
  f->Commit();
  EXPECT_EQ(Bytes(), good);
}

TEST_F(DbfFileTest, AReaderWaitsForTheExclusiveLockToRepairAndReadsMeanwhile) {
  const std::string good = Bytes();
  const std::string torn = TornCopy(good, kHeader, kRecord);
  env::MemEnv mem;
  mem.CreateFolder("/d");
  mem.Open("/d/T.dbf", env::OpenMode::kTruncate)->WriteAt(0, torn.data(), torn.size());
  const std::string memo = TestDir::ReadAll(dir_.File("T.dbt"));
  mem.Open("/d/T.dbt", env::OpenMode::kTruncate)->WriteAt(0, memo.data(), memo.size());
  auto other = DbfFile::Open("/d/T.dbf", false, mem);
  other->BeginRead();  // holds a shared lock past the timeout
  DbfFile::SetLockTimeoutMs(50);
  auto f = DbfFile::Open("/d/T.dbf", true, mem);
  f->BeginRead();
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  f->EndRead();
  EXPECT_EQ(env::ReadFile(mem, "/d/T.dbf"), torn);
  other->EndRead();
  f->BeginRead();  // now it gets the lock
  EXPECT_EQ(f->Read(0, 0).text, "Grün 1");
  f->EndRead();
  DbfFile::SetLockTimeoutMs(10000);
  EXPECT_EQ(env::ReadFile(mem, "/d/T.dbf"), good);
}

TEST_F(DbfFileTest, MultiRecordStatementsSaveTheOldRecordsFirst) {
  auto f = DbfFile::Open(path_, true);
  f->BeginWrite();
  f->Write(0, 1, Cell::Integer(70));
  f->Write(1, 1, Cell::Integer(71));
  f->Commit();
  const std::string bytes = Bytes();
  // The saved records are gone again, the flag is cleared.
  EXPECT_EQ(bytes.size(), kHeader + 2 * kRecord + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(bytes[14], 0);
  auto g = DbfFile::Open(path_, false);
  g->BeginRead();
  EXPECT_EQ(g->Read(0, 1).integer, 70);
  EXPECT_EQ(g->Read(1, 1).integer, 71);
  g->EndRead();
}

// --- bad files ----------------------------------------------------------------

struct BadFile {
  const char* what;
  std::function<void(DbfFileTest&)> spoil;
  const char* message;
};

TEST_F(DbfFileTest, BadFilesAreRefusedWithFileAndRecordNamedAndLeftAlone) {
  // Each case spoils a good copy and expects an error text that names what
  // is wrong; the file is never written to.
  const std::string good = Bytes();
  const std::string good_memo = TestDir::ReadAll(dir_.File("T.dbt"));
  auto patch = [&](size_t at, std::string bytes) {
    return [at, bytes](DbfFileTest& t) { t.Patch(at, bytes); };
  };
  const std::vector<BadFile> cases = {
      {"truncated header", [&](DbfFileTest& t) { TestDir::WriteAll(t.path_, good.substr(0, 20)); },
       "Die Datei ist kürzer als ein dBase-Dateikopf (20 Bytes)."},
      {"unknown version", patch(0, "\x30"),
       "Die Datei ist keine dBase-Tabelle (unbekanntes Versionsbyte 0x30)."},
      {"count larger than the file", patch(4, std::string("\x10\x00\x00\x00", 4)),
       "Der Dateikopf zählt 16 Datensätze, die Datei enthält aber nur 2."},
      {"header length past the file", patch(8, std::string("\xFF\x7F", 2)),
       "reicht über das Ende der Datei (328 Bytes) hinaus"},
      {"descriptors past the header", patch(8, std::string("\x60\x00", 2)),
       "Die Feldbeschreibungen enden nicht innerhalb des Dateikopfs"},
      {"zero-length records", patch(10, std::string("\x00\x00", 2)),
       "Die Datensatzlänge 0 lässt keinen Platz für ein Feld"},
      {"record shorter than its fields", patch(10, std::string("\x05\x00", 2)),
       "Die Felder brauchen"},
      {"unknown field type", patch(32 + 11, "X"), "Feld KENNUNG: Der Feldtyp 'X' ist unbekannt."},
      {"garbled field name", patch(32, "\x01"),
       "Die Feldbeschreibung 1 hat einen unlesbaren Namen."},
  };
  for (const BadFile& c : cases) {
    TestDir::WriteAll(path_, good);
    c.spoil(*this);
    const std::string spoiled = Bytes();
    const std::string error = ErrorOf([&] { DbfFile::Open(path_, true); });
    EXPECT_NE(error.find(path_), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(Bytes(), spoiled) << c.what;
  }
  // Records are read when they are needed: a bad one is refused then, for
  // a reader as for a writer, and the file is left as it is.
  TestDir::WriteAll(path_, good);
  Patch(kHeader + kRecord, "#");
  const std::string spoiled = Bytes();
  for (bool writable : {false, true}) {
    auto f = DbfFile::Open(path_, writable);
    const std::string error = ErrorOf([&] {
      f->BeginRead();
      f->IsDeleted(1);
    });
    f->EndRead();
    EXPECT_NE(error.find(path_), std::string::npos) << error;
    EXPECT_NE(error.find("Datensatz 2: Das Löschkennzeichen 0x23 ist weder ' ' noch '*'."),
              std::string::npos)
        << error;
    EXPECT_EQ(Bytes(), spoiled);
  }
}

TEST_F(DbfFileTest, BadFieldsAndMemosAreReportedWhenRead) {
  const std::string good = Bytes();
  struct Case {
    const char* what;
    size_t at;
    std::string bytes;
    int field;
    const char* message;
  };
  const size_t rec1 = kHeader + 1;
  const std::vector<Case> cases = {
      {"garbled number", rec1 + 12, "     12ab  ", 1,
       "Datensatz 1, Feld TID: Der Inhalt '     12ab  ' ist keine Zahl."},
      {"garbled date", rec1 + 12 + 11 + 8, "2024XX01", 3,
       "Datensatz 1, Feld DATUM: Der Inhalt '2024XX01' ist kein Datum."},
      {"impossible date", rec1 + 12 + 11 + 8, "20230229", 3, "ist kein Datum"},
      {"garbled logical", rec1 + 12 + 11 + 8 + 8, "x", 4, "ist kein Wahrheitswert"},
      {"garbled memo block", rec1 + 12 + 11 + 8 + 8 + 1, "      1x  ", 5,
       "ist keine Memo-Blocknummer"},
      {"memo block past the end", rec1 + 12 + 11 + 8 + 8 + 1, "       999", 5,
       "Datensatz 1, Feld NOTIZ: Memoblock 999 liegt hinter dem Ende"},
  };
  for (const Case& c : cases) {
    TestDir::WriteAll(path_, good);
    Patch(c.at, c.bytes);
    auto f = DbfFile::Open(path_, false);
    f->BeginRead();
    const std::string error = ErrorOf([&] { f->Read(0, c.field); });
    f->EndRead();
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
}

TEST_F(DbfFileTest, MemoFilesThatLieAreReported) {
  const std::string memo_path = dir_.File("T.dbt");
  std::string memo = TestDir::ReadAll(memo_path);
  // dBase III: the end mark of the first memo overwritten up to the end of the file.
  const size_t end = memo.find('\x1A', 512);
  ASSERT_NE(end, std::string::npos);
  memo.replace(end, memo.size() - end, std::string(memo.size() - end, 'y'));
  TestDir::WriteAll(memo_path, memo);
  auto f = DbfFile::Open(path_, false);
  f->BeginRead();
  EXPECT_NE(ErrorOf([&] { f->Read(0, 5); }).find("hat keine Endmarke"), std::string::npos);
  f->EndRead();
  std::filesystem::remove(memo_path);
  EXPECT_NE(ErrorOf([&] { DbfFile::Open(path_, false); }).find("Memodatei"), std::string::npos);

  const std::string p = dir_.File("IV.dbf");
  DbfFile::Create(p, Flavor::kDBase4, {{"M", 'M', 0, 0}});
  AddRecord(p, {Cell::Text("Text")});
  std::string iv = TestDir::ReadAll(dir_.File("IV.dbt"));
  iv[512] = 'Q';
  TestDir::WriteAll(dir_.File("IV.dbt"), iv);
  auto g = DbfFile::Open(p, false);
  g->BeginRead();
  EXPECT_NE(ErrorOf([&] { g->Read(0, 0); }).find("ist kein Memoblock"), std::string::npos);
  iv[512] = '\xFF';
  iv[519] = '\x7F';  // length far past the end
  TestDir::WriteAll(dir_.File("IV.dbt"), iv);
  EXPECT_NE(ErrorOf([&] { g->Read(0, 0); }).find("reicht über das Ende"), std::string::npos);
  g->EndRead();
}

// What the mapper reads of the codec, word for word: the file, the record
// (from 1) and the field named as before, the rest in German.
TEST_F(DbfFileTest, TheMapperReadsWhatIsWrongInGerman) {
  // A header counting more records than the file holds.
  const std::string good = Bytes();
  Patch(4, std::string("\x04\x00\x00\x00", 4));
  TestDir::WriteAll(path_, Bytes().substr(0, kHeader + 2 * kRecord));
  EXPECT_EQ(ErrorOf([&] { DbfFile::Open(path_, false); }),
            path_ + ": Der Dateikopf zählt 4 Datensätze, die Datei enthält aber nur 2.");
  TestDir::WriteAll(path_, good);

  // A value the field cannot hold, and a character Windows-1252 lacks.
  auto f = DbfFile::Open(path_, true);
  f->BeginWrite();
  EXPECT_EQ(ErrorOf([&] { f->Write(1, 1, Cell::Integer(123456789012)); }),
            path_ + ", Datensatz 2, Feld TID: Der Wert 123456789012 passt nicht in N(11,0).");
  EXPECT_EQ(
      ErrorOf([&] { f->Write(0, 0, Cell::Text("Eiche 木")); }),
      path_ + ", Datensatz 1, Feld KENNUNG: Das Zeichen U+6728 gibt es in Windows-1252 nicht.");
  EXPECT_EQ(ErrorOf([&] { f->Write(0, 5, Cell::Text("Ω")); }),
            path_ + ", Datensatz 1, Feld NOTIZ: Das Zeichen U+03A9 gibt es in Windows-1252 nicht.");
  EXPECT_EQ(ErrorOf([&] { f->Write(0, 0, Cell::Text("a\xFF")); }),
            path_ + ", Datensatz 1, Feld KENNUNG: Der Text ist kein gültiges UTF-8 (ab Byte 2).");
  f->Rollback();

  // A table another program holds.
  DbfFile::SetLockTimeoutMs(50);
  auto other = DbfFile::Open(path_, true);
  other->BeginWrite();
  EXPECT_EQ(ErrorOf([&] { f->BeginRead(); }),
            path_ + ": Die Tabelle ist von einem anderen Programm gesperrt.");
  other->Rollback();
  DbfFile::SetLockTimeoutMs(10000);

  // A field read back that holds no value of its type.
  f.reset();
  Patch(kHeader + 1 + 12, "      12ab ");
  auto g = DbfFile::Open(path_, false);
  g->BeginRead();
  EXPECT_EQ(ErrorOf([&] { g->Read(0, 1); }),
            path_ + ", Datensatz 1, Feld TID: Der Inhalt '      12ab ' ist keine Zahl.");
  g->EndRead();
}

TEST_F(DbfFileTest, AFullDiskIsToldInGermanWithTheRecord) {
  env::FaultEnv faults(env::Env::Posix());
  auto f = DbfFile::Open(path_, true, faults);
  f->BeginWrite();
  f->Write(1, 1, Cell::Integer(42));
  faults.Inject(env::Fault(env::Op::kWrite, ENOSPC).On("T.dbf"));
  EXPECT_EQ(ErrorOf([&] { f->Commit(); }),
            path_ +
                ": Datensatz 2 kann nicht geschrieben werden: Auf dem Datenträger ist kein Platz "
                "mehr frei.");
  faults.Clear();
  const std::string missing = dir_.File("Neu.dbf");
  faults.Inject(env::Fault(env::Op::kOpen, ENOSPC).On("Neu."));
  EXPECT_EQ(ErrorOf([&] { DbfFile::Create(missing, Flavor::kDBase3, Sample(), faults); }),
            missing +
                ": Die Memodatei kann nicht angelegt werden: Auf dem Datenträger ist kein "
                "Platz mehr frei.");
}

TEST_F(DbfFileTest, TwoFilesOfOneNameAreNamedInGerman) {
  TestDir::WriteAll(dir_.File("t.DBF"), Bytes());
  EXPECT_EQ(ErrorOf([&] { DbfFile::Locate(env::Env::Current(), dir_.Path(), "T.dbf"); }),
            dir_.File("T.dbf") + " und " + dir_.File("t.DBF") +
                " passen beide zum Namen T.dbf (Groß- und Kleinschreibung zählt bei Namen nicht): "
                "Welche Datei gemeint ist, lässt sich nicht entscheiden.");
}

}  // namespace
}  // namespace platform::dbase
