// Speed of the transaction table operations on a project whose TA_LIST holds
// 100,000 rows and whose TA_KL holds 100,000 free identifiers (20,000 of
// them in one transaction), through the same code the hooks use.
//
//   build/bin/transaction_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchFolder.h"
#include "context/PluginContext.h"
#include "hostsim/HostModel.h"
#include "platform/ui/ScriptedPresenter.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTools.h"

namespace {

using namespace TransActTools;

constexpr int kRows = 100000;
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

// The project the benchmarks share, made once: 20 transactions of 5,000
// objects, editing status cycling 0..3; the pool spread over 5 transactions.
void SharedProject() {
  static const bool made = [] {
    const std::string root = bench::NewBenchFolder();
    setenv("KARTUL_REGISTRY", (root + "/registry.reg").c_str(), 1);
    platform::ui::SetPresenter(std::make_unique<platform::ui::ScriptedPresenter>());
    hostsim::Host::CreateProject(root + "/projekt");
    hostsim::TheHost().OpenProject(root + "/projekt");
    CreateTransactionList("TA_LIST");
    CreateKennungList();
    CreateTransactionIDTable();
    platform::db::Connection& c = OpenTransactionConnection();
    for (int t = 0; t < 20; ++t) {
      c.Execute("insert into TA_ID (TID,NAME,OWNER) values (" + std::to_string(t) +
                ",'Transaktion','Betreuer')");
    }
    for (int i = 0; i < kRows; ++i) {
      const std::string k = Kennung(i);
      c.Execute(
          "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)"
          "values (" +
          std::to_string(i / 5000) + "," + std::to_string(i + 1) + ",-1," + std::to_string(i % 4) +
          ",'" + k + "','IGNORED','" + k + "')");
    }
    for (int i = 0; i < kFree; ++i) {
      c.Execute("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(3 + i % 5) + ",'" +
                FreeKennung(i) + "')");
    }
    return true;
  }();
  (void)made;
}

int Next(int& i, int modulo) {
  i = (i * 7919 + 13) % modulo;
  return i;
}

void BM_GetObjectStatus(benchmark::State& state) {
  SharedProject();
  int i = 1;
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectStatus(Kennung(Next(i, kRows))));
}
BENCHMARK(BM_GetObjectStatus);

void BM_GetChangedFlag(benchmark::State& state) {
  SharedProject();
  int i = 2;
  for (auto _ : state) benchmark::DoNotOptimize(GetChangedFlag(Kennung(Next(i, kRows))));
}
BENCHMARK(BM_GetChangedFlag);

void BM_SaveObjectMetadata(benchmark::State& state) {
  SharedProject();
  int i = 3;
  for (auto _ : state) {
    const int n = Next(i, kRows);
    SaveObjectMetadata({n / 5000, n + 1, -1, n % 4, Kennung(n), "IGNORED", Kennung(n)});
  }
}
BENCHMARK(BM_SaveObjectMetadata);

void BM_UpdateChangedFlag(benchmark::State& state) {
  SharedProject();
  int i = 4;
  for (auto _ : state) UpdateChangedFlag(Kennung(Next(i, kRows)), "IGNORED");
}
BENCHMARK(BM_UpdateChangedFlag);

void BM_KennungIsValid(benchmark::State& state) {
  SharedProject();
  int i = 5;
  for (auto _ : state) {
    const int n = Next(i, kFree);
    benchmark::DoNotOptimize(KennungIsValid(FreeKennung(n), 3 + n % 5));
  }
}
BENCHMARK(BM_KennungIsValid);

void BM_GetObjectsByStatusAllRows(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectsByStatus(1, -1));
}
BENCHMARK(BM_GetObjectsByStatusAllRows)->Unit(benchmark::kMillisecond);

void BM_CountObjectsByStatusAllRows(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) benchmark::DoNotOptimize(CountObjectsByStatus(1, -1));
}
BENCHMARK(BM_CountObjectsByStatusAllRows)->Unit(benchmark::kMillisecond);

void BM_GetFittingFreeKennungen20000(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetFittingFreeKennungen("FFH", kBigTransaction, "NRW"));
  }
}
BENCHMARK(BM_GetFittingFreeKennungen20000)->Unit(benchmark::kMillisecond);

// The same tables as the earlier builds reach them: table objects with
// in-memory indexes, each operation opening the table non-exclusively.
class EarlierBuild {
 public:
  EarlierBuild() { SelectBuild(Build::kVD1TransAction); }
  ~EarlierBuild() { SelectBuild(Build::kVD1TransAction2010); }
  EarlierBuild(const EarlierBuild&) = delete;
  EarlierBuild& operator=(const EarlierBuild&) = delete;
};

// A key lookup on idxKennung.
void BM_Earlier_GetObjectStatus(benchmark::State& state) {
  SharedProject();
  EarlierBuild earlier;
  int i = 6;
  for (auto _ : state) benchmark::DoNotOptimize(GetObjectStatus(Kennung(Next(i, kRows))));
}
BENCHMARK(BM_Earlier_GetObjectStatus);

// A transaction's pool of 20,000 identifiers, as the key range of its TID.
void BM_Earlier_GetFreeKennungen20000(benchmark::State& state) {
  SharedProject();
  EarlierBuild earlier;
  for (auto _ : state) benchmark::DoNotOptimize(GetFreeKennungen(kBigTransaction));
}
BENCHMARK(BM_Earlier_GetFreeKennungen20000)->Unit(benchmark::kMillisecond);

// A row changed in place, found by key.
void BM_Earlier_UpdateChangedFlag(benchmark::State& state) {
  SharedProject();
  EarlierBuild earlier;
  int i = 7;
  for (auto _ : state) UpdateChangedFlag(Kennung(Next(i, kRows)), "IGNORED");
}
BENCHMARK(BM_Earlier_UpdateChangedFlag);

void BM_Earlier_SaveObjectMetadata(benchmark::State& state) {
  SharedProject();
  EarlierBuild earlier;
  int i = 8;
  for (auto _ : state) {
    const int n = Next(i, kRows);
    SaveObjectMetadata({n / 5000, n + 1, -1, n % 4, Kennung(n), "IGNORED", Kennung(n)});
  }
}
BENCHMARK(BM_Earlier_SaveObjectMetadata);

// Each iteration takes a different identifier out of the pool, as creations
// do. It runs last, so that the other measures see the whole pool.
void BM_DeleteFreeKennung(benchmark::State& state) {
  SharedProject();
  static int next = 0;
  for (auto _ : state) DeleteFreeKennung(FreeKennung(next++ % kFree));
}
BENCHMARK(BM_DeleteFreeKennung)->Iterations(4000);

}  // namespace

BENCHMARK_MAIN();
