// Speed of the transaction table operations on a project whose TA_LIST holds
// as many rows as the benchmark's argument (100,000 or 1,000,000) and whose
// TA_KL holds 100,000 free identifiers (20,000 of them in one transaction),
// through the same code the hooks use. The operations on TA_KL alone run on
// the project of 100,000 rows.
//
//   build/bin/transaction_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "bench/BenchFolder.h"
#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "hostsim/HostModel.h"
#include "platform/ui/ScriptedPresenter.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTools.h"

namespace {

using namespace TransActTools;

constexpr int kSmall = 100000;
constexpr int kFree = 100000;
constexpr int kBigTransaction = 7;  // holds 20,000 of the free identifiers

std::string Kennung(int i) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "DE-%06d", i);
  return buffer;
}

std::string FreeKennung(int i) {
  // Every fifth one fits the class FFH ("DE-"), the others other classes.
  static const char* const kPrefixes[] = {"DE-", "NSG-", "ND-", "OEK-", "BIO-"};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%sF%06d", kPrefixes[(i / 5) % 5], i);
  return buffer;
}

struct Project {
  std::string dir;
  int deleted_free = 0;  // identifiers BM_DeleteFreeKennung took out of the pool so far
};

// A project per row count, made once and opened in the host whenever a
// benchmark of the other count ran in between: 20 transactions, their rows
// spread evenly, editing status cycling 0..3; the pool spread over 5
// transactions. The rows go in one write each table (a million rows row by
// row would take minutes).
Project& SharedProject(int rows) {
  static const std::string root = [] {
    std::string r = bench::NewBenchFolder();
    setenv("KARTUL_REGISTRY", (r + "/registry.reg").c_str(), 1);
    platform::ui::SetPresenter(std::make_unique<platform::ui::ScriptedPresenter>());
    return r;
  }();
  static std::map<int, Project> projects;
  hostsim::Host& host = hostsim::TheHost();
  auto it = projects.find(rows);
  if (it != projects.end()) {
    if (host.ProjectDir() != it->second.dir) host.OpenProject(it->second.dir);
    return it->second;
  }
  const std::string dir = root + "/projekt" + std::to_string(rows);
  hostsim::Host::CreateProject(dir);
  host.OpenProject(dir);
  CreateTransactionList("TA_LIST");
  CreateKennungList();
  CreateTransactionIDTable();
  platform::db::Connection& c = OpenTransactionConnection();
  const int per_transaction = rows / 20;
  platform::db::InOneWrite(c, [&] {
    for (int t = 0; t < 20; ++t) {
      c.Execute("insert into TA_ID (TID,NAME,OWNER) values (" + std::to_string(t) +
                ",'Transaktion','Betreuer')");
    }
  });
  platform::db::InOneWrite(c, [&] {
    for (int i = 0; i < rows; ++i) {
      const std::string k = Kennung(i);
      c.Execute(
          "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)"
          "values (" +
          std::to_string(i / per_transaction) + "," + std::to_string(i + 1) + ",-1," +
          std::to_string(i % 4) + ",'" + k + "','IGNORED','" + k + "')");
    }
  });
  platform::db::InOneWrite(c, [&] {
    for (int i = 0; i < kFree; ++i) {
      c.Execute("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(3 + i % 5) + ",'" +
                FreeKennung(i) + "')");
    }
  });
  return projects.emplace(rows, Project{host.ProjectDir(), 0}).first->second;
}

void RowCounts(benchmark::internal::Benchmark* b) {
  b->ArgName("rows")->Arg(kSmall)->Arg(1000000);
}

// A pseudo-random walk over 0..modulo-1.
int Next(int& i, int modulo) {
  i = static_cast<int>((i * 7919LL + 13) % modulo);
  return i;
}

// The first operation after the project opens reads the whole table into
// the driver's index; it is made before a benchmark's loop, untimed.
void ReadTables() {
  benchmark::DoNotOptimize(GetObjectStatus(Kennung(0)));
  benchmark::DoNotOptimize(KennungIsValid(FreeKennung(0), 3));
}

// The project of the benchmark's row count, its tables read.
int Open(const benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  SharedProject(rows);
  ReadTables();
  return rows;
}

// The project of 100,000 rows, for the operations on TA_KL alone.
void OpenSmall() {
  SharedProject(kSmall);
  ReadTables();
}

// A row of the project as it was filled.
TObjectMetadata FilledRow(int n, int rows) {
  return {n / (rows / 20), n + 1, -1, n % 4, Kennung(n), "IGNORED", Kennung(n)};
}

void BM_GetObjectStatus(benchmark::State& state) {
  const int rows = Open(state);
  int i = 1;
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectStatus(Kennung(Next(i, rows))));
}
BENCHMARK(BM_GetObjectStatus)->Apply(RowCounts);

void BM_GetChangedFlag(benchmark::State& state) {
  const int rows = Open(state);
  int i = 2;
  for (auto _ : state) benchmark::DoNotOptimize(GetChangedFlag(Kennung(Next(i, rows))));
}
BENCHMARK(BM_GetChangedFlag)->Apply(RowCounts);

void BM_SaveObjectMetadata(benchmark::State& state) {
  const int rows = Open(state);
  int i = 3;
  for (auto _ : state) SaveObjectMetadata(FilledRow(Next(i, rows), rows));
}
BENCHMARK(BM_SaveObjectMetadata)->Apply(RowCounts);

void BM_UpdateChangedFlag(benchmark::State& state) {
  const int rows = Open(state);
  int i = 4;
  for (auto _ : state) UpdateChangedFlag(Kennung(Next(i, rows)), "IGNORED");
}
BENCHMARK(BM_UpdateChangedFlag)->Apply(RowCounts);

void BM_KennungIsValid(benchmark::State& state) {
  OpenSmall();
  int i = 5;
  for (auto _ : state) {
    const int n = Next(i, kFree);
    benchmark::DoNotOptimize(KennungIsValid(FreeKennung(n), 3 + n % 5));
  }
}
BENCHMARK(BM_KennungIsValid);

void BM_GetObjectsByStatusAllRows(benchmark::State& state) {
  Open(state);
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectsByStatus(1, -1));
}
BENCHMARK(BM_GetObjectsByStatusAllRows)->Apply(RowCounts)->Unit(benchmark::kMillisecond);

void BM_CountObjectsByStatusAllRows(benchmark::State& state) {
  Open(state);
  for (auto _ : state) benchmark::DoNotOptimize(CountObjectsByStatus(1, -1));
}
BENCHMARK(BM_CountObjectsByStatusAllRows)->Apply(RowCounts)->Unit(benchmark::kMillisecond);

void BM_GetFittingFreeKennungen20000(benchmark::State& state) {
  OpenSmall();
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetFittingFreeKennungen("FFH", kBigTransaction, "NRW"));
  }
}
BENCHMARK(BM_GetFittingFreeKennungen20000)->Unit(benchmark::kMillisecond);

// The same tables as the earlier builds reach them: table objects with
// in-memory indexes, each operation opening the table non-exclusively. The
// table objects are read when the build is selected, untimed.
class EarlierBuild {
 public:
  EarlierBuild() {
    SelectBuild(Build::kVD1TransAction);
    ReadTables();
  }
  ~EarlierBuild() { SelectBuild(Build::kVD1TransAction2010); }
  EarlierBuild(const EarlierBuild&) = delete;
  EarlierBuild& operator=(const EarlierBuild&) = delete;
};

// A key lookup on idxKennung.
void BM_Earlier_GetObjectStatus(benchmark::State& state) {
  const int rows = Open(state);
  EarlierBuild earlier;
  int i = 6;
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectStatus(Kennung(Next(i, rows))));
}
BENCHMARK(BM_Earlier_GetObjectStatus)->Apply(RowCounts);

// A transaction's pool of 20,000 identifiers, as the key range of its TID.
void BM_Earlier_GetFreeKennungen20000(benchmark::State& state) {
  OpenSmall();
  EarlierBuild earlier;
  for (auto _ : state) benchmark::DoNotOptimize(GetFreeKennungen(kBigTransaction));
}
BENCHMARK(BM_Earlier_GetFreeKennungen20000)->Unit(benchmark::kMillisecond);

// A row changed in place, found by key.
void BM_Earlier_UpdateChangedFlag(benchmark::State& state) {
  const int rows = Open(state);
  EarlierBuild earlier;
  int i = 7;
  for (auto _ : state) UpdateChangedFlag(Kennung(Next(i, rows)), "IGNORED");
}
BENCHMARK(BM_Earlier_UpdateChangedFlag)->Apply(RowCounts);

void BM_Earlier_SaveObjectMetadata(benchmark::State& state) {
  const int rows = Open(state);
  EarlierBuild earlier;
  int i = 8;
  for (auto _ : state) SaveObjectMetadata(FilledRow(Next(i, rows), rows));
}
BENCHMARK(BM_Earlier_SaveObjectMetadata)->Apply(RowCounts);

// Each iteration takes a different identifier out of the pool, as creations
// do. It runs last, so that the other measures see the whole pool.
void BM_DeleteFreeKennung(benchmark::State& state) {
  OpenSmall();
  Project& p = SharedProject(kSmall);
  for (auto _ : state) DeleteFreeKennung(FreeKennung(p.deleted_free++ % kFree));
}
BENCHMARK(BM_DeleteFreeKennung)->Iterations(4000);

}  // namespace

BENCHMARK_MAIN();
