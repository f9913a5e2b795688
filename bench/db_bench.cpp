// Speed of the driver stand-in on a dBase III TA_LIST of 100,000 rows,
// through Connection as the system uses it: point lookups by KENNUNG, a
// count with two equalities, single-row updates, 100,000 single inserts, and
// the first statement after another process changed the file; and the
// first lookup on a freshly opened connection to tables of 100,000 and
// 1,000,000 rows, each in a process of its own whose peak memory (max RSS)
// is reported beside the file's size.
//
//   build/bin/db_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "bench/OwnProcess.h"
#include "platform/db/Connection.h"
#include "platform/dbase/DbfFile.h"

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
  // Never destroyed: the exit handler that removes the folder needs it.
  static const std::string& folder = *new std::string([] {
    const std::string f = NewFolder();
    auto c = Connection::Open(ConnectionString(f));
    c->Execute(kCreate);
    for (int i = 0; i < kRows; ++i) c->Execute(InsertSql(i));
    std::atexit([] { std::filesystem::remove_all(SharedFolder()); });
    return f;
  }());
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

// --- the first lookup on a cold connection --------------------------------

constexpr int kBigRows = 1000000;

// A table written a minute ago, as a project's is when it is opened: an
// index file written within a second of the table's last change is not
// trusted (a change in the same tick of the file clock would not show).
void AgeTable(const std::string& folder) {
  const std::filesystem::path path = folder + "/TA_LIST.dbf";
  std::filesystem::last_write_time(
      path, std::filesystem::last_write_time(path) - std::chrono::minutes(1));
}

// The 1,000,000-row table, written through the codec in a process of its
// own so that the memory the writing takes stays out of the measurements.
const std::string& BigFolder() {
  static const std::string& folder = *new std::string([] {
    const std::string f = NewFolder();
    const pid_t pid = ::fork();
    if (pid == 0) {
      try {
        Connection::Open(ConnectionString(f))->Execute(kCreate);
        using platform::dbase::Cell;
        auto table = platform::dbase::DbfFile::Open(f + "/TA_LIST.dbf", true);
        table->BeginWrite();
        for (int i = 0; i < kBigRows; ++i) {
          const uint32_t rec = table->Append();
          const std::string k = Kennung(i);
          table->Write(rec, 0, Cell::Integer(i / 5000));
          table->Write(rec, 1, Cell::Integer(i + 1));
          table->Write(rec, 2, Cell::Integer(700000 + i));
          table->Write(rec, 3, Cell::Integer(i % 4));
          table->Write(rec, 4, Cell::Text(k));
          table->Write(rec, 5, Cell::Text("IGNORED"));
          table->Write(rec, 6, Cell::Text(k));
        }
        table->Commit();
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    std::atexit([] { std::filesystem::remove_all(BigFolder()); });
    AgeTable(f);
    return f;
  }());
  return folder;
}

// In the process started for one measurement: opens the connection, looks
// up one identifier, and prints the time it took (ns) and the process's
// peak memory (KiB).
int ColdOpen(const std::string& folder, int rows) {
  const auto start = std::chrono::steady_clock::now();
  auto c = Connection::Open(ConnectionString(folder));
  Query q(*c, "select SCHREIBEND from TA_LIST\r\nwhere KENNUNG= '" + Kennung(rows / 2) + "'");
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
          .count();
  if (q.Eof() || q.AsInt32(0) != (rows / 2) % 4) return 1;
  bench::PrintMeasurement(static_cast<long long>(ns));
  return 0;
}

// Arguments: the rows, and whether the index file beside the table is there
// (written by an earlier process) or not (the first process ever to look,
// or the file deleted): the file is then written by the measured process.
void BM_ColdOpenFirstLookup(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const bool index_file = state.range(1) != 0;
  const std::string folder = rows == kBigRows ? BigFolder() : SharedFolder();
  const std::string index = folder + "/TA_LIST.dbf.KENNUNG.vkx";
  if (index_file && !std::filesystem::exists(index)) {
    AgeTable(folder);
    bench::MeasureInOwnProcess("db_bench", {"--cold-open", folder, std::to_string(rows)});
  }
  double max_rss_mb = 0;
  for (auto _ : state) {
    if (!index_file) std::filesystem::remove(index);
    const std::optional<bench::Measurement> m =
        bench::MeasureInOwnProcess("db_bench", {"--cold-open", folder, std::to_string(rows)});
    if (!m) {
      state.SkipWithError("the measuring process failed");
      break;
    }
    state.SetIterationTime(static_cast<double>(m->ns) / 1e9);
    max_rss_mb = std::max(max_rss_mb, static_cast<double>(m->peak_kib) * 1024 / 1e6);
  }
  state.counters["max_rss_MB"] = max_rss_mb;
  state.counters["file_MB"] =
      static_cast<double>(std::filesystem::file_size(folder + "/TA_LIST.dbf")) / 1e6;
}
BENCHMARK(BM_ColdOpenFirstLookup)
    ->ArgNames({"rows", "index_file"})
    ->Args({kRows, 0})
    ->Args({kRows, 1})
    ->Args({kBigRows, 0})
    ->Args({kBigRows, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--cold-open") == 0) {
    return ColdOpen(argv[2], std::atoi(argv[3]));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
