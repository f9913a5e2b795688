// The index file beside a large table: taken when it matches the table,
// and whatever happened to it (older than its table, another table's, cut
// short, lying about records, damaged byte by byte, half written by a
// killed process) the answers are always the table's.
#include "platform/db/KeyIndexFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/db/Connection.h"
#include "platform/db/KeyedTable.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"

namespace platform::db {
namespace {

using testing::All;
using testing::Rows;
using testing::TestDir;

constexpr int kRecords = 300;

std::string Key(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K-%04d", i);
  return buf;
}

class KeyIndexFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_index::SetMinRecords(100);
    auto c = Connection::Open(dir_.DBaseIII());
    c->Execute("create Table T (N integer, K char(20))");
    c->Execute("begin");
    for (int i = 0; i < kRecords; ++i) {
      c->Execute("insert into T (N,K) values (" + std::to_string(i % 7) + ",'" + Key(i) + "')");
    }
    c->Execute("commit");
    Age("T.dbf");
  }
  void TearDown() override { key_index::SetMinRecords(50000); }

  // An index written right after its table changed is not trusted (a change
  // within the same tick of the file clock would not show): the tests' tables
  // are made older than that.
  void Age(const std::string& name) {
    const auto path = std::filesystem::path(dir_.File(name));
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) - std::chrono::seconds(60 + aged_++));
  }
  std::string IndexOf(const std::string& field) const {
    return dir_.File("T.dbf." + field + ".vkx");
  }
  Rows Where(Connection& c, const std::string& key) {
    return All(c, "select N, K from T where K = '" + key + "'");
  }
  Rows Expected(int i) { return {{std::to_string(i % 7), Key(i)}}; }
  // The index file written by a lookup of a connection that then closes.
  void WriteIndex() {
    auto c = Connection::Open(dir_.DBaseIII());
    EXPECT_EQ(Where(*c, Key(5)), Expected(5));
  }

  TestDir dir_;
  int aged_ = 0;
};

TEST_F(KeyIndexFileTest, ALookupWritesTheFileAndTheNextConnectionAnswersThroughIt) {
  EXPECT_FALSE(std::filesystem::exists(IndexOf("K")));
  WriteIndex();
  ASSERT_TRUE(std::filesystem::exists(IndexOf("K")));
  const std::string written = TestDir::ReadAll(IndexOf("K"));
  auto c = Connection::Open(dir_.DBaseIII());
  for (int i : {0, 1, 150, 298, 299}) EXPECT_EQ(Where(*c, Key(i)), Expected(i)) << i;
  EXPECT_TRUE(Where(*c, "K-9999").empty());
  // Only read: nothing to write back.
  c.reset();
  EXPECT_EQ(TestDir::ReadAll(IndexOf("K")), written);

  // A small table gets no file.
  auto small = Connection::Open(dir_.DBaseIII());
  small->Execute("create Table S (K char(20))");
  small->Execute("insert into S (K) values ('a')");
  EXPECT_EQ(All(*small, "select K from S where K = 'a'"), Rows{{"a"}});
  small.reset();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("S.dbf.K.vkx")));

  // Dropping the table takes its index file with it.
  auto d = Connection::Open(dir_.DBaseIII());
  d->Execute("drop table T");
  EXPECT_FALSE(std::filesystem::exists(IndexOf("K")));
}

TEST_F(KeyIndexFileTest, AStaleOrDamagedFileNeverChangesAnAnswer) {
  WriteIndex();
  const std::string good = TestDir::ReadAll(IndexOf("K"));
  const auto check = [&](const std::string& what) {
    auto c = Connection::Open(dir_.DBaseIII());
    for (int i : {0, 5, 100, 101, 150, 299}) {
      EXPECT_EQ(Where(*c, Key(i)), Expected(i)) << what << ", " << Key(i);
    }
    EXPECT_EQ(All(*c, "select count(*) from T where N = 3"), Rows{{"43"}}) << what;
  };
  // Cut short anywhere, or with a byte changed anywhere.
  std::mt19937 random(7);
  for (size_t cut :
       {size_t{0}, size_t{10}, size_t{135}, size_t{136}, good.size() / 2, good.size() - 1}) {
    TestDir::WriteAll(IndexOf("K"), good.substr(0, cut));
    check("cut at " + std::to_string(cut));
  }
  for (int round = 0; round < 40; ++round) {
    std::string bad = good;
    const size_t at = std::uniform_int_distribution<size_t>(0, bad.size() - 1)(random);
    bad[at] = static_cast<char>(bad[at] ^ (1 + round % 255));
    TestDir::WriteAll(IndexOf("K"), bad);
    check("byte " + std::to_string(at) + " changed");
  }

  // Older than its table: another program changed a record since.
  TestDir::WriteAll(IndexOf("K"), good);
  {
    auto other = Connection::Open(dir_.DBaseIII());
    other->Execute("update T set K = 'K-7777' where K = '" + Key(150) + "'");
  }
  Age("T.dbf");
  {
    auto c = Connection::Open(dir_.DBaseIII());
    EXPECT_TRUE(Where(*c, Key(150)).empty());
    EXPECT_EQ(Where(*c, "K-7777"), (Rows{{"3", "K-7777"}}));
    c->Execute("update T set K = '" + Key(150) + "' where K = 'K-7777'");
  }
  Age("T.dbf");
  // Another table's, of the same size, age and header.
  WriteIndex();
  {
    auto c = Connection::Open(dir_.DBaseIII());
    c->Execute("create Table U (N integer, K char(20))");
    c->Execute("begin");
    for (int i = 0; i < kRecords; ++i) {
      c->Execute("insert into U (N,K) values (" + std::to_string(i % 7) + ",'" + Key(i + 1) + "')");
    }
    c->Execute("commit");
    EXPECT_EQ(All(*c, "select K from U where K = '" + Key(6) + "'"), Rows{{Key(6)}});
  }
  const std::string u_dbf = TestDir::ReadAll(dir_.File("U.dbf"));
  const std::string t_dbf = TestDir::ReadAll(dir_.File("T.dbf"));
  ASSERT_EQ(u_dbf.size(), t_dbf.size());
  // Same header bytes as T (the change count and date too).
  TestDir::WriteAll(dir_.File("U.dbf"), t_dbf.substr(0, 32) + u_dbf.substr(32));
  std::filesystem::last_write_time(dir_.File("U.dbf"),
                                   std::filesystem::last_write_time(dir_.File("T.dbf")));
  {
    auto c = Connection::Open(dir_.DBaseIII());
    EXPECT_EQ(All(*c, "select K from U where K = '" + Key(7) + "'"), Rows{{Key(7)}});
  }
  std::filesystem::last_write_time(dir_.File("U.dbf"),
                                   std::filesystem::last_write_time(dir_.File("T.dbf")));
  ASSERT_TRUE(std::filesystem::exists(dir_.File("U.dbf.K.vkx")));
  std::filesystem::copy_file(dir_.File("U.dbf.K.vkx"), IndexOf("K"),
                             std::filesystem::copy_options::overwrite_existing);
  check("another table's");
}

TEST_F(KeyIndexFileTest, AFileThatLiesAboutRecordsIsFoundOutByTheAnswer) {
  // A file that passes every check but gives records 100 and 101 each
  // other's keys (neither is among the sampled records): each answer is
  // checked against its records, and the index is built anew.
  auto table = dbase::DbfFile::Open(dir_.File("T.dbf"), true);
  table->BeginRead();
  const int field = table->FieldIndex("K");
  const auto lying_key = [&](uint32_t rec) -> std::optional<std::string> {
    const uint32_t swapped = rec == 100 ? 101 : rec == 101 ? 100 : rec;
    return std::string(dbase::format::DecodeCell(table->Fields()[field], table->Raw(swapped, field),
                                                 {table->Path()})
                           .text);
  };
  ColumnIndex lying;
  std::vector<std::string> keys(kRecords);
  for (uint32_t r = 0; r < kRecords; ++r) keys[r] = *lying_key(r);
  lying.Build(kRecords, [&](uint32_t r) { return ColumnIndex::Key(keys[r]); });
  ASSERT_TRUE(key_index::Save(*table, field, "sql", lying_key, lying));
  table->EndRead();
  table.reset();

  auto c = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(Where(*c, Key(100)), Expected(100));
  EXPECT_EQ(Where(*c, Key(101)), Expected(101));
  EXPECT_EQ(Where(*c, Key(102)), Expected(102));
}

TEST_F(KeyIndexFileTest, TheKeyedTableTakesTheFileAndChecksItAsTheDriverDoes) {
  const auto lookup = [&](KeyedTable& t, const std::string& k) {
    KeyedTable::Operation op(t, false);
    std::vector<int64_t> out;
    for (uint32_t rec : t.Seek("idxK", Value(k))) out.push_back(t.Get(rec, "N").AsInt64());
    op.End();
    return out;
  };
  {
    KeyedTable t(dir_.Path() + "/", "T.dbf", {{"idxK", "K"}});
    EXPECT_EQ(lookup(t, Key(10)), std::vector<int64_t>{3});
  }
  const std::string path = IndexOf("K");
  ASSERT_TRUE(std::filesystem::exists(path));
  const std::string good = TestDir::ReadAll(path);
  {
    KeyedTable t(dir_.Path() + "/", "T.dbf", {{"idxK", "K"}});
    EXPECT_EQ(lookup(t, Key(11)), std::vector<int64_t>{4});
    // A change of its own: the file no longer matches the table (written
    // back at once it would not be trusted), and the next object builds the
    // index anew.
    KeyedTable::Operation op(t, true);
    t.Set(static_cast<uint32_t>(t.SeekFirst("idxK", Value(Key(11)))), "K", Value("K-8888"));
    op.End();
  }
  Age("T.dbf");
  {
    KeyedTable t(dir_.Path() + "/", "T.dbf", {{"idxK", "K"}});
    EXPECT_TRUE(lookup(t, Key(11)).empty());
    EXPECT_EQ(lookup(t, "K-8888"), std::vector<int64_t>{4});
  }
  // The module's file is of another kind and is not taken as the table
  // object's (nor the other way round), only built anew.
  auto c = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(Where(*c, "K-8888"), (Rows{{"4", "K-8888"}}));
}

TEST_F(KeyIndexFileTest, ASecondProcessWritingBetweenTwoLookupsIsSeen) {
  WriteIndex();
  auto c = Connection::Open(dir_.DBaseIII());
  EXPECT_EQ(Where(*c, Key(42)), Expected(42));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      auto other = Connection::Open(dir_.DBaseIII());
      other->Execute("update T set K = 'K-4242' where K = '" + Key(42) + "'");
      other->Execute("insert into T (N,K) values (9,'K-5000')");
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(Where(*c, Key(42)).empty());
  EXPECT_EQ(Where(*c, "K-4242"), (Rows{{"0", "K-4242"}}));
  EXPECT_EQ(Where(*c, "K-5000"), (Rows{{"9", "K-5000"}}));
}

TEST_F(KeyIndexFileTest, AWriterKilledWhileWritingTheFileLeavesNoHalfFile) {
  std::mt19937 random(11);
  for (int round = 0; round < 12; ++round) {
    std::filesystem::remove(IndexOf("K"));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (;;) {
        std::filesystem::remove(IndexOf("K"));
        WriteIndex();
      }
    }
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(200, 20000)(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (std::filesystem::exists(IndexOf("K"))) {
      auto table = dbase::DbfFile::Open(dir_.File("T.dbf"), false);
      table->BeginRead();
      ColumnIndex index;
      const int field = table->FieldIndex("K");
      const auto key_of = [&](uint32_t rec) -> std::optional<std::string> {
        return std::string(dbase::format::DecodeCell(table->Fields()[field], table->Raw(rec, field),
                                                     {table->Path()})
                               .text);
      };
      EXPECT_TRUE(key_index::Load(*table, field, "sql", key_of, index)) << "round " << round;
      table->EndRead();
    }
    auto c = Connection::Open(dir_.DBaseIII());
    EXPECT_EQ(Where(*c, Key(77)), Expected(77));
  }
}

TEST(ColumnIndexImageTest, DamagedArraysAreRefusedNeverReadOutOfBounds) {
  ColumnIndex index;
  std::vector<std::string> keys;
  for (int i = 0; i < 500; ++i) keys.push_back(Key(i % 120));
  index.Build(500, [&](uint32_t r) { return ColumnIndex::Key(keys[r]); });
  index.Set(7, std::string_view("neu"));
  index.Set(8, std::nullopt);
  std::string image;
  index.Save([&](const void* p, size_t n) { image.append(static_cast<const char*>(p), n); });
  const auto load = [](ColumnIndex& into, const std::string& bytes) {
    size_t at = 0;
    return into.Load(
        [&](void* p, size_t n) {
          if (at + n > bytes.size()) return false;
          std::memcpy(p, bytes.data() + at, n);
          at += n;
          return true;
        },
        bytes.size());
  };
  ColumnIndex back;
  ASSERT_TRUE(load(back, image));
  EXPECT_EQ(std::vector<uint32_t>(back.Find("neu").begin(), back.Find("neu").end()),
            std::vector<uint32_t>{7});
  EXPECT_EQ(back.Find(Key(8)).size(), 4u);  // 8, 128, 248, 368, 488 less the record 8
  EXPECT_EQ(back.KeyOf(8), ColumnIndex::kNoKey);
  std::mt19937 random(3);
  for (int round = 0; round < 2000; ++round) {
    std::string bad = image;
    const int changes = 1 + round % 4;
    for (int k = 0; k < changes; ++k) {
      const size_t at = std::uniform_int_distribution<size_t>(0, bad.size() - 1)(random);
      bad[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    if (round % 5 == 0) bad.resize(std::uniform_int_distribution<size_t>(0, bad.size())(random));
    ColumnIndex damaged;
    if (!load(damaged, bad)) {
      EXPECT_TRUE(damaged.Find(Key(1)).empty());
      continue;
    }
    // Taken: whatever it answers lies within the table.
    for (int i = 0; i < 120; ++i) {
      for (uint32_t rec : damaged.Find(Key(i))) EXPECT_LT(rec, 500u);
    }
    damaged.Set(3, std::string_view("x"));
    damaged.Set(600, std::string_view(Key(2)));
    for (uint32_t rec : damaged.Find(Key(2))) EXPECT_LT(rec, 601u);
  }
}

// The saved arrays reached where they lie, from a string here.
class StringStored : public ColumnIndex::Stored {
 public:
  explicit StringStored(std::string bytes) : bytes_(std::move(bytes)) {}
  void Read(uint64_t offset, void* into, size_t n) override {
    if (offset + n > bytes_.size()) throw ColumnIndex::Unreadable("past the end");
    std::memcpy(into, bytes_.data() + offset, n);
    fetched_ += n;
  }
  uint64_t Fetched() const override { return fetched_; }

 private:
  std::string bytes_;
  uint64_t fetched_ = 0;
};

std::vector<uint32_t> ListOf(ColumnIndex& index, const std::string& key) {
  const std::span<const uint32_t> found = index.Find(key);
  return {found.begin(), found.end()};
}

// `memory` built over the keys, one a record, and the arrays it saves.
std::string BuiltImage(const std::vector<std::string>& keys, ColumnIndex& memory) {
  memory.Build(static_cast<uint32_t>(keys.size()),
               [&](uint32_t r) { return ColumnIndex::Key(keys[r]); });
  std::string image;
  memory.Save([&](const void* p, size_t n) { image.append(static_cast<const char*>(p), n); });
  return image;
}

TEST(ColumnIndexImageTest, AttachedArraysWithChangesOnTopAnswerAsAnIndexInMemory) {
  constexpr uint32_t kRows = 20000;
  std::vector<std::string> keys;
  for (uint32_t i = 0; i < kRows; ++i) keys.push_back(Key(static_cast<int>(i % 3000)));
  ColumnIndex memory;
  const std::string image = BuiltImage(keys, memory);
  ColumnIndex attached;
  ASSERT_TRUE(attached.Attach(std::make_shared<StringStored>(image), image.size()));
  EXPECT_FALSE(attached.Attach(std::make_shared<StringStored>(image), image.size() - 4));
  ASSERT_TRUE(attached.Attach(std::make_shared<StringStored>(image), image.size()));
  // Changes of every kind, enough of them that the arrays are read whole on
  // the way; after each batch both indexes give the same answers.
  std::mt19937 random(5);
  for (int batch = 0; batch < 6; ++batch) {
    for (int k = 0; k < 1500; ++k) {
      const uint32_t rec = std::uniform_int_distribution<uint32_t>(0, kRows + 50)(random);
      const int what = std::uniform_int_distribution<int>(0, 9)(random);
      const std::string key = what == 0 ? "neu-" + std::to_string(k % 40) : Key(what * 311 % 3000);
      const ColumnIndex::Key value =
          what == 1 ? std::nullopt : ColumnIndex::Key(std::string_view(key));
      memory.Set(rec, value);
      attached.Set(rec, value);
    }
    for (const std::string& key :
         {Key(0), Key(311), Key(622), Key(2999), std::string("neu-3"), std::string("nie")}) {
      EXPECT_EQ(ListOf(attached, key), ListOf(memory, key)) << "batch " << batch << " " << key;
      EXPECT_EQ(attached.IdOf(key) == ColumnIndex::kNoKey, memory.IdOf(key) == ColumnIndex::kNoKey);
    }
    for (uint32_t rec = 0; rec < kRows + 60; rec += 97) {
      EXPECT_EQ(attached.KeyOf(rec) == ColumnIndex::kNoKey,
                memory.KeyOf(rec) == ColumnIndex::kNoKey)
          << rec;
    }
  }
  // Saved while attached: the same arrays as the index in memory would give.
  ColumnIndex fresh;
  ASSERT_TRUE(fresh.Attach(std::make_shared<StringStored>(image), image.size()));
  fresh.Set(4, std::string_view("vier"));
  std::string saved;
  fresh.Save([&](const void* p, size_t n) { saved.append(static_cast<const char*>(p), n); });
  ColumnIndex back;
  size_t at = 0;
  ASSERT_TRUE(back.Load(
      [&](void* p, size_t n) {
        if (at + n > saved.size()) return false;
        std::memcpy(p, saved.data() + at, n);
        at += n;
        return true;
      },
      saved.size()));
  EXPECT_EQ(ListOf(back, "vier"), std::vector<uint32_t>{4});
  EXPECT_EQ(ListOf(back, Key(4)).size(), 6u);  // 4, 3004, ..., 18004 less the record 4

  // Damaged anywhere: a lookup either says so or answers within the table.
  for (int round = 0; round < 150; ++round) {
    std::string bad = image;
    for (int k = 0; k < 1 + round % 3; ++k) {
      const size_t at2 = std::uniform_int_distribution<size_t>(0, bad.size() - 1)(random);
      bad[at2] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    ColumnIndex damaged;
    if (!damaged.Attach(std::make_shared<StringStored>(bad), bad.size())) continue;
    try {
      for (int i = 0; i < 3000; i += 37) {
        for (uint32_t rec : damaged.Find(Key(i))) EXPECT_LT(rec, kRows);
      }
      damaged.Set(9, std::string_view(Key(1)));
      damaged.KeyOf(19999);
    } catch (const ColumnIndex::Unreadable&) {
    }
  }
}

TEST(ColumnIndexImageTest, LookupsSpreadOverTheArraysEndUpReadingThemWhole) {
  constexpr uint32_t kRows = 5000;
  std::vector<std::string> keys;
  for (uint32_t r = 0; r < kRows; ++r) keys.push_back(Key(static_cast<int>(r)));
  ColumnIndex memory;
  const std::string image = BuiltImage(keys, memory);
  ColumnIndex attached;
  ASSERT_TRUE(attached.Attach(std::make_shared<StringStored>(image), image.size()));
  // A few lookups read a few pieces.
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(ListOf(attached, Key(i * 13)), ListOf(memory, Key(i * 13)));
  EXPECT_TRUE(attached.Attached());
  // Lookups all over the keys: once they have fetched as much as the arrays
  // hold, the arrays are read whole and the answers stay the same.
  std::mt19937 random(3);
  for (int k = 0; k < 20000 && attached.Attached(); ++k) {
    const std::string key = Key(std::uniform_int_distribution<int>(0, kRows - 1)(random));
    EXPECT_EQ(ListOf(attached, key), ListOf(memory, key)) << key;
  }
  EXPECT_FALSE(attached.Attached());
  for (uint32_t r = 0; r < kRows; r += 7) {
    EXPECT_EQ(ListOf(attached, Key(static_cast<int>(r))), std::vector<uint32_t>{r});
  }
  EXPECT_TRUE(attached.Find("nie").empty());
}

}  // namespace
}  // namespace platform::db
