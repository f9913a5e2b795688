// A child process inserts and updates rows of TA_LIST in a loop and is
// killed with SIGKILL at random moments, many times over. After each kill
// the table must open, every row must be whole, the header count must cover
// exactly the records written, and every statement the child finished must
// be there. A writer killed in the middle of a rewrite at each of its writes
// in turn leaves a file that the next read of ours puts right on disk, for
// readers that know nothing of the undo block.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"
#include "platform/db/TestRows.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/FaultEnv.h"

namespace platform::db {
namespace {

using testing::TestDir;

[[noreturn]] void ChildLoop(const std::string& connection_string, int report_fd) {
  try {
    auto c = Connection::Open(connection_string);
    int64_t next = 0;
    {
      Query q(*c, "select count(*) from TA_LIST");
      next = q.AsInt64(0);
    }
    for (;; ++next) {
      const std::string k = "K" + std::to_string(next);
      c->Execute(
          "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
          std::to_string(next % 5) + "," + std::to_string(next) + "," + std::to_string(next * 3) +
          "," + std::to_string(next % 4) + ",'" + k + "','NEW','" + k + "')");
      // Rewrites in place tag a row twice, in CHANGED and at the end of
      // KENNUNGO, 110 bytes apart: a row cut between the two shows.
      const std::string tag = "U" + std::to_string(next);
      if (next % 3 == 2) {
        c->Execute("update TA_LIST set VGNR = KARTULID * 3, SCHREIBEND = 1, CHANGED = '" + tag +
                   "', KENNUNGO = KENNUNG || '/" + tag + "' where KENNUNG = 'K" +
                   std::to_string(next / 2) + "'");
      }
      if (next % 40 == 39) {
        c->Execute("update TA_LIST set CHANGED = '" + tag + "', KENNUNGO = KENNUNG || '/" + tag +
                   "' where TID = " + std::to_string(next % 5));
      }
      const int64_t done = next;
      if (::write(report_fd, &done, sizeof(done)) != sizeof(done)) ::_exit(3);
    }
  } catch (...) {
    ::_exit(2);
  }
}

TEST(CrashSafetyTest, KilledWritersLeaveWholeTables) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIII());
    c->Execute(
        "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
        "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))");
  }
  const std::string path = dir.File("TA_LIST.dbf");
  std::mt19937 random(20240305);
  std::uniform_int_distribution<int> pause_us(500, 25000);
  int64_t last_done = -1;
  int64_t previous_count = 0;
  int kills_with_extra_record = 0;
  int kills_during_rewrite = 0;  // undone by the next reader
  constexpr int kRounds = 60;
  for (int round = 0; round < kRounds; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      ChildLoop(dir.DBaseIII(), fds[1]);
    }
    ::close(fds[1]);
    // The kill comes at a random moment after the writer finished its first
    // statement of the round, so that every round does real work however
    // slowly the writer starts (under the sanitizers, on a busy machine).
    int64_t first = 0;
    if (::read(fds[0], &first, sizeof(first)) == sizeof(first)) last_done = first;
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status))
        << "the writer stopped on its own with " << WEXITSTATUS(status);
    int64_t done = 0;
    while (::read(fds[0], &done, sizeof(done)) == sizeof(done)) last_done = done;
    ::close(fds[0]);

    auto table = dbase::DbfFile::Open(path, false);
    table->BeginRead();
    const uint32_t count = table->RecordCount();
    // Every finished insert is there, and at most the one under way besides
    // (one the writer finished but had not reported yet counts as finished).
    ASSERT_GE(static_cast<int64_t>(count), last_done + 1) << "round " << round;
    ASSERT_LE(static_cast<int64_t>(count), std::max<int64_t>(last_done + 1, previous_count) + 1)
        << "round " << round;
    previous_count = count;
    for (uint32_t rec = 0; rec < count; ++rec) {
      ASSERT_FALSE(table->IsDeleted(rec));
      const int64_t kartul_id = table->Read(rec, 1).integer;
      ASSERT_EQ(kartul_id, rec) << "round " << round;
      ASSERT_EQ(table->Read(rec, 0).integer, kartul_id % 5);
      ASSERT_EQ(table->Read(rec, 2).integer, kartul_id * 3);
      const std::string k = "K" + std::to_string(kartul_id);
      ASSERT_EQ(table->Read(rec, 4).text, k);
      const std::string changed = table->Read(rec, 5).text;
      const std::string original = table->Read(rec, 6).text;
      if (changed == "NEW") {
        ASSERT_EQ(original, k) << "round " << round;
      } else {
        ASSERT_EQ(original, k + "/" + changed) << "round " << round;
      }
    }
    table->EndRead();
    // The header counts only records the file holds whole. (Behind them may
    // lie a record cut short by the kill, or an undo block.)
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const off_t header = 32 + 7 * 32 + 1;
    const off_t record = 1 + 4 * 11 + 50 + 15 + 50;
    const off_t counted = header + static_cast<off_t>(count) * record;
    ASSERT_GE(st.st_size, counted);
    if (st.st_size > counted + 1) ++kills_with_extra_record;
    // A reader that goes by the end mark instead of the count (as dbfread
    // does) sees the same records, each of them whole.
    const std::string bytes = TestDir::ReadAll(path);
    if (bytes[14] != 0) ++kills_during_rewrite;
    uint32_t scanned = 0;
    for (off_t at = header; at < static_cast<off_t>(bytes.size()) && bytes[at] != '\x1A';
         at += record) {
      ASSERT_LE(at + record, static_cast<off_t>(bytes.size()))
          << "a record cut short is visible, round " << round;
      ASSERT_TRUE(bytes[at] == ' ' || bytes[at] == '*') << "round " << round;
      ++scanned;
    }
    ASSERT_EQ(scanned, count) << "round " << round;
    if (bytes[14] != 0) {
      // A read of ours that may write leaves no half-done statement on disk.
      auto c = Connection::Open(dir.DBaseIII());
      Query q(*c, "select count(*) from TA_LIST");
      ASSERT_EQ(q.AsInt64(0), count) << "round " << round;
      ASSERT_EQ(TestDir::ReadAll(path)[14], 0) << "round " << round;
    }
  }
  EXPECT_GE(last_done, kRounds - 1);  // every round finished a statement before its kill
  std::printf(
      "kills that left bytes behind the counted records: %d, in the middle of a rewrite: %d, of "
      "%d\n",
      kills_with_extra_record, kills_during_rewrite, kRounds);

  // The table is whole for the driver and for another reader, and both see
  // the same rows (dbfread reads up to the end mark, not the header count).
  auto c = Connection::Open(dir.DBaseIII());
  Query q(*c, "select count(*) from TA_LIST where VGNR = KARTULID * 3");
  const std::string script = dir.File("count.py");
  TestDir::WriteAll(script, "import sys, dbfread\nprint(len(list(dbfread.DBF(sys.argv[1]))))\n");
  FILE* p = ::popen((std::string(VANDRA_PYTHON3) + " " + script + " " + path).c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof(line), p), nullptr);
  ::pclose(p);
  EXPECT_EQ(std::stoll(line), q.AsInt64(0));
}

// Kills its own process in the middle of the n-th write to the file whose
// path ends in `name`: the write stops `short_by` bytes before its end, as a
// kill between two pages stops it.
class KillingEnv : public env::FaultEnv {
 public:
  KillingEnv(std::string name, int kill_at, size_t short_by)
      : FaultEnv(env::Env::Posix()),
        name_(std::move(name)),
        kill_at_(kill_at),
        short_by_(short_by) {}

  std::unique_ptr<env::File> Open(const std::string& path, env::OpenMode mode,
                                  uint32_t create_mode = 0666) override {
    std::unique_ptr<env::File> file = FaultEnv::Open(path, mode, create_mode);
    if (path.size() < name_.size() ||
        path.compare(path.size() - name_.size(), name_.size(), name_) != 0) {
      return file;
    }
    return std::make_unique<File>(*this, std::move(file));
  }

 private:
  class File : public env::File {
   public:
    File(KillingEnv& env, std::unique_ptr<env::File> target)
        : env_(env), target_(std::move(target)) {}
    const std::string& Path() const override { return target_->Path(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
      return target_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
      if (++env_.writes_ == env_.kill_at_) {
        target_->WriteAt(offset, data, n > env_.short_by_ ? n - env_.short_by_ : 0);
        ::kill(::getpid(), SIGKILL);
      }
      target_->WriteAt(offset, data, n);
    }
    uint64_t Size() override { return target_->Size(); }
    void Truncate(uint64_t size) override { target_->Truncate(size); }
    void Sync() override { target_->Sync(); }
    env::FileStatus Status() override { return target_->Status(); }
    void SetMode(uint32_t mode) override { target_->SetMode(mode); }
    env::LockAnswer TryLockAnswer(env::LockKind kind) override {
      return target_->TryLockAnswer(kind);
    }
    void Unlock() override { target_->Unlock(); }

   private:
    KillingEnv& env_;
    std::unique_ptr<env::File> target_;
  };

  std::string name_;
  int kill_at_;
  size_t short_by_;
  int writes_ = 0;
};

TEST(CrashSafetyTest, AReadRepairsOnDiskWhatAWriterKilledMidUpdateLeft) {
  TestDir dir;
  {
    auto c = Connection::Open(dir.DBaseIII());
    c->Execute(
        "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
        "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))");
    for (int i = 0; i < 6; ++i) {
      const std::string k = "K" + std::to_string(i);
      c->Execute("insert into TA_LIST (TID,KARTULID,KENNUNG,CHANGED,KENNUNGO) values (" +
                 std::to_string(i % 2) + "," + std::to_string(i) + ",'" + k + "','NEW','" + k +
                 "')");
    }
  }
  const std::string path = dir.File("TA_LIST.dbf");
  const std::string good = TestDir::ReadAll(path);
  // Readers that know nothing of the undo block see every row as it is on
  // disk: each must be as before the killed statement.
  const std::string script = dir.File("check.py");
  TestDir::WriteAll(script,
                    "import sys, dbfread\n"
                    "rows = list(dbfread.DBF(sys.argv[1]))\n"
                    "bad = [r for r in rows if r['CHANGED'] != 'NEW' or r['KENNUNGO'] != "
                    "r['KENNUNG']]\n"
                    "print(len(rows), [dict(r) for r in bad])\n");
  const auto dbfread = [&] {
    std::string out;
    FILE* p = ::popen((std::string(VANDRA_PYTHON3) + " " + script + " " + path).c_str(), "r");
    if (!p) return std::string("popen failed");
    char buf[4096];
    while (std::fgets(buf, sizeof(buf), p)) out += buf;
    ::pclose(p);
    return out;
  };
  ASSERT_EQ(dbfread(), "6 []\n");
  // The statement rewrites records 2, 4 and 6 (TID = 1), each in a write of
  // its own, after the undo block and the header flag. A record written
  // 48 bytes short has its new CHANGED but the old end of KENNUNGO: torn.
  for (int kill_at = 3; kill_at <= 5; ++kill_at) {
    TestDir::WriteAll(path, good);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      KillingEnv killing("/TA_LIST.dbf", kill_at, 48);
      env::ScopedEnv scoped(killing);
      try {
        auto c = Connection::Open(dir.DBaseIII());
        c->Execute(
            "update TA_LIST set CHANGED = 'UPDATE', KENNUNGO = KENNUNG || '/U' where TID = 1");
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "write " << kill_at << ": the writer was not killed";
    ASSERT_EQ(TestDir::ReadAll(path)[14], 1) << "write " << kill_at;

    auto c = Connection::Open(dir.DBaseIII());
    EXPECT_EQ(testing::All(*c, "select count(*) from TA_LIST where CHANGED = 'NEW'"),
              testing::Rows{{"6"}})
        << "write " << kill_at;
    const std::string after = TestDir::ReadAll(path);
    EXPECT_EQ(after[14], 0) << "write " << kill_at;
    EXPECT_EQ(after, good) << "write " << kill_at;
    EXPECT_EQ(dbfread(), "6 []\n") << "write " << kill_at;
  }
}

}  // namespace
}  // namespace platform::db
