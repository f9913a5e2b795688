// Speed of the preflight on a transaction of 100,000 objects (each with its
// stored fingerprint, a few changed without a mark) and 10,000 local photos
// with their pictures and links, through the host stand-in: the host's
// snapshot of every object (its geodata and attribute exports, read back),
// the tables, the catalogue and the checks. Also the checks alone.
//
//   build/bin/preflight_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/AreasProject.h"
#include "bench/BenchFolder.h"
#include "exchange/HostSnapshot.h"
#include "exchange/Preflight.h"
#include "hostsim/HostModel.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"
#include "platform/ui/ScriptedPresenter.h"
#include "transaction/TransActTools.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kPhotos = 10000;
constexpr int kTid = 7;

std::string Kennung(int i) {
  return bench::AreaKennung(i);
}

void SharedProject() {
  static const bool made = [] {
    bench::MakeAreasProject(kObjects, kTid);
    hostsim::Host& host = hostsim::TheHost();
    platform::db::Connection& ta = TransActTools::OpenTransactionConnection();
    std::vector<std::pair<std::string, int32_t>> kennungen;
    platform::db::InOneWrite(ta, [&] {
      for (int i = 0; i < kObjects; ++i) {
        const std::string k = Kennung(i);
        kennungen.emplace_back(k, kTid);
        ta.Execute(
            "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO) "
            "values (" +
            std::to_string(kTid) + "," + std::to_string(i + 1) + ",-1,1,'" + k + "','IGNORED','" +
            k + "')");
      }
      for (int i = 0; i < 1000; ++i) {
        ta.Execute("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(kTid) + ",'DE-9" +
                   std::to_string(100000 + i) + "')");
      }
    });
    HostSnapshot::StoreFingerprints(kennungen, HostSnapshot::TakeSnapshot());
    // A hundred objects moved while the plug-in was not looking.
    for (int i = 0; i < kObjects; i += 1000) {
      const double x = 2500000 + 100.0 * (i % 1000), y = 5600000 + 100.0 * (i / 1000);
      host.MoveVertex(host.IdOf(Kennung(i)), 1, {x + 60, y});
    }

    platform::db::Connection& db = EnsureFotoverwaltung().ProjectConnection();
    db.Execute("begin");
    for (int i = 0; i < kPhotos; ++i) {
      const std::string file = "KTFoto" + std::to_string(i) + ".jpg";
      db.Execute(
          "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, "
          "Quelle, IsNew, PicFileName, Bildbeschreibung) values (" +
          std::to_string(-1 - i) + ", 'Foto', 2500000, 5600000, 90, '2026-06-05', 'eigene', 3, '" +
          file + "', 'Blick nach Osten')");
      // Every tenth picture is missing.
      if (i % 10 != 0) std::ofstream(FotoDir() + file, std::ios::binary) << "J";
      db.Execute("insert into Objektphotos (KARTULID, PhotoID) values (" +
                 std::to_string(1 + (i * 7) % kObjects) + ", " + std::to_string(-1 - i) + ")");
    }
    db.Execute("commit");
    return true;
  }();
  (void)made;
}

void BM_PreflightEndToEnd(benchmark::State& state) {
  SharedProject();
  size_t findings = 0;
  for (auto _ : state) {
    findings = Preflight::Check(Preflight::Gather(kTid)).size();
  }
  state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_PreflightEndToEnd)->Unit(benchmark::kMillisecond)->Iterations(1);

// The host's snapshot of every object alone.
void BM_HostSnapshot(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) benchmark::DoNotOptimize(HostSnapshot::TakeSnapshot());
}
BENCHMARK(BM_HostSnapshot)->Unit(benchmark::kMillisecond)->Iterations(1);

// The checks, once everything is read.
void BM_Checks(benchmark::State& state) {
  SharedProject();
  const Preflight::Inputs in = Preflight::Gather(kTid);
  for (auto _ : state) benchmark::DoNotOptimize(Preflight::Check(in));
}
BENCHMARK(BM_Checks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
