// A child process inserts and updates rows of TA_LIST in a loop and is
// killed with SIGKILL at random moments, many times over. After each kill
// the table must open, every row must be whole, the header count must cover
// exactly the records written, and every statement the child finished must
// be there.
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
#include "platform/dbase/DbfFile.h"

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

}  // namespace
}  // namespace platform::db
