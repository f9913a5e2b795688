// Speed of the driver stand-in on a dBase III TA_LIST of 100,000 rows,
// through Connection as the system uses it: point lookups by KENNUNG, a
// count with two equalities, single-row updates, 100,000 single inserts, and
// the first statement after another process changed the file.
//
//   build/bin/db_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/db/Connection.h"

namespace {

using platform::db::Connection;
using platform::db::Query;

constexpr int kRows = 100000;

const char* kCreate =
    "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
    "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))";

std::string Kennung(int i) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "NSG-%06d", i);
  return buf;
}

std::string InsertSql(int i) {
  const std::string k = Kennung(i);
  // 20 transactions of 5,000 objects; the editing status cycles 0..3.
  return "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
         std::to_string(i / 5000) + "," + std::to_string(i + 1) + "," + std::to_string(700000 + i) +
         "," + std::to_string(i % 4) + ",'" + k + "','IGNORED','" + k + "')";
}

std::string NewFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vandra-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}

std::string ConnectionString(const std::string& folder) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder +
         ";Extended Properties=DBASE III;";
}

// The 100,000-row table the read and update benchmarks share.
const std::string& SharedFolder() {
  static const std::string folder = [] {
    const std::string f = NewFolder();
    auto c = Connection::Open(ConnectionString(f));
    c->Execute(kCreate);
    for (int i = 0; i < kRows; ++i) c->Execute(InsertSql(i));
    std::atexit([] { std::filesystem::remove_all(SharedFolder()); });
    return f;
  }();
  return folder;
}

void BM_PointLookup(benchmark::State& state) {
  auto c = Connection::Open(ConnectionString(SharedFolder()));
  std::mt19937 random(1);
  std::uniform_int_distribution<int> pick(0, kRows - 1);
  { Query warm(*c, "select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= '" + Kennung(0) + "'"); }
  for (auto _ : state) {
    Query q(*c, "select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= '" + Kennung(pick(random)) + "'");
    benchmark::DoNotOptimize(q.AsInt32(0));
  }
}
BENCHMARK(BM_PointLookup)->Unit(benchmark::kMicrosecond);

void BM_CountTwoEqualities(benchmark::State& state) {
  auto c = Connection::Open(ConnectionString(SharedFolder()));
  int64_t count = 0;
  for (auto _ : state) {
    Query q(*c, "select count(*) from TA_LIST where SCHREIBEND = 1 and TID = 3");
    count = q.AsInt64(0);
  }
  if (count != 1250) state.SkipWithError("wrong count");
}
BENCHMARK(BM_CountTwoEqualities)->Unit(benchmark::kMicrosecond);

void BM_SingleRowUpdate(benchmark::State& state) {
  auto c = Connection::Open(ConnectionString(SharedFolder()));
  std::mt19937 random(2);
  std::uniform_int_distribution<int> pick(0, kRows - 1);
  // The change-mark index exists, as after the first status query of a session.
  { Query warm(*c, "select count(*) from TA_LIST where CHANGED = 'UPDATE'"); }
  int n = 0;
  for (auto _ : state) {
    c->Execute(std::string("update TA_LIST set CHANGED = '") + (++n % 2 ? "UPDATE" : "IGNORED") +
               "' where KENNUNG = '" + Kennung(pick(random)) + "'");
  }
}
BENCHMARK(BM_SingleRowUpdate)->Unit(benchmark::kMicrosecond);

void BM_Inserts100k(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = NewFolder();
    auto c = Connection::Open(ConnectionString(folder));
    c->Execute(kCreate);
    state.ResumeTiming();
    for (int i = 0; i < kRows; ++i) c->Execute(InsertSql(i));
    state.PauseTiming();
    c.reset();
    std::filesystem::remove_all(folder);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Inserts100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FirstStatementAfterAnotherProcess(benchmark::State& state) {
  const std::string folder = SharedFolder();
  auto c = Connection::Open(ConnectionString(folder));
  { Query warm(*c, "select SCHREIBEND from TA_LIST where KENNUNG= '" + Kennung(1) + "'"); }
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const pid_t pid = ::fork();
    if (pid == 0) {
      try {
        auto other = Connection::Open(ConnectionString(folder));
        other->Execute("update TA_LIST set SCHREIBEND = " + std::to_string(n % 4) +
                       " where KENNUNG = '" + Kennung(n) + "'");
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      state.SkipWithError("the other process failed");
    state.ResumeTiming();
    Query q(*c, "select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= '" + Kennung(n + 7) + "'");
    benchmark::DoNotOptimize(q.AsInt32(0));
    ++n;
  }
}
BENCHMARK(BM_FirstStatementAfterAnotherProcess)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
