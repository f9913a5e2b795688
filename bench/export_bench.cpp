// Speed of the transaction export on a transaction of 100,000 changed
// objects and 1,000 local photos (each linked to two of the objects), end to
// end through the host stand-in (its XML and geodata exports included), and
// the plug-in's own share: change list, action table, photo table with the
// picture copies, written straight into the folder and (as the export does)
// staged and moved in.
//
//   build/bin/export_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/AreasProject.h"
#include "bench/BenchFolder.h"
#include "context/PluginContext.h"
#include "exchange/ExportFuncs.h"
#include "exchange/StagedPackage.h"
#include "hostsim/HostModel.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"
#include "platform/ui/ScriptedPresenter.h"
#include "transaction/TransActTools.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kPhotos = 1000;
constexpr int kTid = 7;

std::string Kennung(int i) {
  return bench::AreaKennung(i);
}

platform::ui::ScriptedPresenter* presenter = nullptr;
std::string out_dir;

// The project the benchmarks share, made once.
void SharedProject() {
  static const bool made = [] {
    const std::string root = bench::MakeAreasProject(kObjects, kTid, &presenter);
    out_dir = root + "/aus/";
    std::filesystem::create_directories(out_dir);
    platform::db::Connection& ta = TransActTools::OpenTransactionConnection();
    for (int i = 0; i < kObjects; ++i) {
      const std::string k = Kennung(i);
      ta.Execute(
          "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO) "
          "values (" +
          std::to_string(kTid) + "," + std::to_string(i + 1) + ",-1,1,'" + k + "','UPDATE','" + k +
          "')");
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
      std::ofstream(FotoDir() + file, std::ios::binary) << std::string(20000, 'J');
      for (int k = 0; k < 2; ++k) {
        db.Execute("insert into Objektphotos (KARTULID, PhotoID) values (" +
                   std::to_string(1 + (i * 97 + k * 50000) % kObjects) + ", " +
                   std::to_string(-1 - i) + ")");
      }
    }
    db.Execute("commit");
    return true;
  }();
  (void)made;
}

void BM_ExportEndToEnd(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) {
    presenter->AddActions("message Yes\nfile \"" + out_dir + "paket\"\n");
    if (!ExportFuncs::VD1CustomExportProc()) state.SkipWithError("the export failed");
  }
}
BENCHMARK(BM_ExportEndToEnd)->Unit(benchmark::kMillisecond)->Iterations(1);

// What the plug-in writes itself, once the lists are known.
void BM_PluginShare(benchmark::State& state) {
  SharedProject();
  ExportFuncs::ExportLists lists;
  {
    host::UpdateGuard update;
    ExportFuncs::CollectExportObjects(kTid, lists);
  }
  const Package::Names names{out_dir, "teil"};
  for (auto _ : state) {
    ExportFuncs::WriteChangeList(names.ChangeListFile(), lists);
    TransActTools::OpenExportConnection(names.D);
    ExportFuncs::CreateActionList(names, kTid);
    ExportFuncs::ExportFotoTabelle(names, lists.photos);
    TransActTools::CloseExportConnection();
  }
}
BENCHMARK(BM_PluginShare)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same share written as the export writes it: into the staging folder,
// then moved into the package's folder (over the package of the run before).
void BM_PluginShareStaged(benchmark::State& state) {
  SharedProject();
  ExportFuncs::ExportLists lists;
  {
    host::UpdateGuard update;
    ExportFuncs::CollectExportObjects(kTid, lists);
  }
  const Package::Names names{out_dir, "stufe"};
  for (auto _ : state) {
    StagedPackage::Staging staging(names);
    const Package::Names& staged = staging.Staged();
    ExportFuncs::WriteChangeList(staged.ChangeListFile(), lists);
    Package::WriteTidFile(staged.TidFile(), kTid, 0);
    TransActTools::OpenExportConnection(staged.D);
    ExportFuncs::CreateActionList(staged, kTid);
    ExportFuncs::ExportFotoTabelle(staged, lists.photos);
    TransActTools::CloseExportConnection();
    staging.Commit();
  }
}
BENCHMARK(BM_PluginShareStaged)->Unit(benchmark::kMillisecond)->Iterations(1);

// Selecting the objects in the host.
void BM_CollectExportObjects(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) {
    host::DeselectAll();
    ExportFuncs::ExportLists lists;
    host::UpdateGuard update;
    ExportFuncs::CollectExportObjects(kTid, lists);
    benchmark::DoNotOptimize(lists);
  }
}
BENCHMARK(BM_CollectExportObjects)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
