// Nothing thrown in the virtual-table module may cross into SQLite's C code:
// unwound through it, an exception skips SQLite's own clean-up (the
// statement under way, the schema being read, the virtual tables'
// transaction). So every slot answers with an error code, whatever is thrown
// inside it.
//
// The test makes the n-th allocation of the C++ code fail, for every n in
// turn, while a statement runs, and notes whether SQLite's code was on the
// stack when it failed. A failure made inside a call of SQLite must come
// back as an error of the statement (DbError), never as std::bad_alloc, and
// the connection must go on working afterwards. This file replaces the
// global operator new and delete of the test program; unarmed, they are
// malloc and free.
#include <dlfcn.h>
#include <execinfo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/db/Connection.h"
#include "platform/db/TestRows.h"
#include "platform/env/MemEnv.h"

namespace {

thread_local long g_fail_in = -1;  // allocations to go before the one that fails; -1: none
thread_local bool g_failed_inside_sqlite = false;
thread_local int g_failures = 0;

bool SqliteOnTheStack() {
  void* frames[256];
  const int n = ::backtrace(frames, 256);
  for (int i = 0; i < n; ++i) {
    Dl_info info;
    if (::dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
        std::strstr(info.dli_fname, "libsqlite3") != nullptr) {
      return true;
    }
  }
  return false;
}

void* Allocate(std::size_t size) {
  if (g_fail_in >= 0 && g_fail_in-- == 0) {
    ++g_failures;
    g_failed_inside_sqlite = SqliteOnTheStack();
    throw std::bad_alloc();
  }
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace platform::db {
namespace {

using testing::All;
using testing::Rows;

constexpr const char* kSource = "Data Source=/data;Extended Properties=DBASE IV;";

struct Statement {
  const char* sql;
  bool query;
};

// Reads, lookups, writes of one and of many records, a write that fails
// after two records were changed (SQLite then calls the rollback slot), a
// new table and a dropped one.
const Statement kStatements[] = {
    {"select count(*) from T", true},
    {"select S, M from T where N = 2", true},
    {"insert into T (N, S, M) values (9, 'neu', 'Notiz')", false},
    {"update T set S = case when N = 3 then 'zu lang fuer das Feld' else 'kurz' end", false},
    {"update T set N = N + 10, M = 'alle'", false},
    {"delete from T where N = 3", false},
    {"create table U (A integer, B memo)", false},
    {"drop table T", false},
};

class SlotGuardTest : public ::testing::TestWithParam<Statement> {
 protected:
  void SetUp() override {
    mem_.CreateFolder("/data");
    auto c = Connection::Open(kSource);
    c->Execute("create table T (N integer, S char(10), M memo)");
    for (int i = 1; i <= 4; ++i) {
      c->Execute("insert into T (N, S, M) values (" + std::to_string(i) + ", 'S" +
                 std::to_string(i) + "', 'M" + std::to_string(i) + "')");
    }
    dbf_ = env::ReadFile(mem_, "/data/T.dbf");
    dbt_ = env::ReadFile(mem_, "/data/T.dbt");
    SqliteOnTheStack();  // the unwinder sets itself up before any allocation fails
  }

  // The folder as SetUp left it.
  void Restore() {
    for (const std::string& name : mem_.ListFolder("/data")) mem_.Remove("/data/" + name);
    mem_.Open("/data/T.dbf", env::OpenMode::kCreateNew)->WriteAt(0, dbf_.data(), dbf_.size());
    mem_.Open("/data/T.dbt", env::OpenMode::kCreateNew)->WriteAt(0, dbt_.data(), dbt_.size());
  }

  env::MemEnv mem_;
  env::ScopedEnv scoped_{mem_};
  std::string dbf_;
  std::string dbt_;
};

TEST_P(SlotGuardTest, AnAllocationFailingInsideAnySlotComesBackAsAnError) {
  const Statement& st = GetParam();
  constexpr long kMaxAllocations = 20000;
  long n = 0;
  for (; n < kMaxAllocations; ++n) {
    Restore();
    auto c = Connection::Open(kSource);
    g_failures = 0;
    g_failed_inside_sqlite = false;
    bool escaped = false;
    g_fail_in = n;
    try {
      if (st.query) {
        Query q(*c, st.sql);
      } else {
        c->Execute(st.sql);
      }
    } catch (const DbError&) {
    } catch (const std::bad_alloc&) {
      escaped = true;
    }
    g_fail_in = -1;
    if (g_failures == 0) break;  // no allocation was left to fail: all have had their turn
    ASSERT_FALSE(escaped && g_failed_inside_sqlite)
        << st.sql << ": the failure of allocation " << n
        << " was thrown through SQLite instead of coming back as an error";
    // The connection goes on, and another one reads the table whole.
    if (mem_.Stat("/data/T.dbf")) {
      ASSERT_NO_THROW(All(*c, "select * from T")) << st.sql << ", allocation " << n;
      auto other = Connection::Open(kSource);
      ASSERT_NO_THROW(All(*other, "select * from T")) << st.sql << ", allocation " << n;
    } else {
      ASSERT_THROW(All(*c, "select * from T"), DbError) << st.sql << ", allocation " << n;
    }
  }
  EXPECT_LT(n, kMaxAllocations) << st.sql;
  EXPECT_GT(n, 0) << st.sql;
}

void PrintTo(const Statement& st, std::ostream* os) {
  *os << st.sql;
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfStatement, SlotGuardTest, ::testing::ValuesIn(kStatements),
                         [](const auto& info) { return "Statement" + std::to_string(info.index); });

}  // namespace
}  // namespace platform::db
