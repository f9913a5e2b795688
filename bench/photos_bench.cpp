// Speed of the photo catalogue on a project with 10,000 photos and 20,000
// links (20 links on each of 1,000 objects, every photo linked twice),
// through the same code the photo hooks run.
//
//   build/bin/photos_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "hostsim/HostModel.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/ui/ScriptedPresenter.h"

namespace {

constexpr int kPhotos = 10000;
constexpr int kObjects = 1000;
constexpr int kLinksPerObject = 20;

hostsim::Host& TheHost() {
  return hostsim::TheHost();
}

// The project the benchmarks share, made once.
void SharedProject() {
  static const bool made = [] {
    std::string root = (std::filesystem::temp_directory_path() / "vandra-bench-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) std::abort();
    setenv("KARTUL_REGISTRY", (root + "/registry.reg").c_str(), 1);
    platform::ui::SetPresenter(std::make_unique<platform::ui::ScriptedPresenter>());
    hostsim::Host::CreateProject(root + "/projekt");
    hostsim::Host& host = TheHost();
    host.OpenProject(root + "/projekt");
    EnsureTableFotos();
    EnsureSubDirFotos();
    const int32_t klasse = host.FindClass("BIO")->id;
    for (int i = 0; i < kObjects; ++i) {
      const double x = 1000.0 * i;
      host.CreateObject(klasse, ktFlaeche, {{x, 0}, {x + 10, 0}, {x + 10, 10}},
                        "BIO-" + std::to_string(i));
    }
    auto db = platform::db::Connection::Open("Data Source=" + host.ProjectDB());
    db->Execute("begin");
    for (int i = 0; i < kPhotos; ++i) {
      // The central system's photos and local ones, half and half.
      const int id = i % 2 == 0 ? 100000 + i : -1 - i;
      db->Execute("insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (" +
                  std::to_string(id) + ", 'Foto', " + (id > 0 ? "2" : "3") + ", 'KTFoto" +
                  std::to_string(i) + ".jpg')");
    }
    int n = 0;
    for (int32_t object : host.ObjectIds()) {
      for (int k = 0; k < kLinksPerObject; ++k, ++n) {
        const int i = n % kPhotos;
        const int id = i % 2 == 0 ? 100000 + i : -1 - i;
        db->Execute("insert into Objektphotos (KARTULID, PhotoID) values (" +
                    std::to_string(object) + ", " + std::to_string(id) + ")");
      }
    }
    db->Execute("commit");
    return true;
  }();
  (void)made;
}

void OnAnObject() {
  hostsim::Host& host = TheHost();
  host.Activate(host.ObjectIds()[kObjects / 2]);
  host.FirstRow("Objektphotos");
}

void BM_ProcessFotoToTheDialogShown(benchmark::State& state) {
  SharedProject();
  OnAnObject();
  for (auto _ : state) {
    // A fresh project's first photo task: the data module opens too.
    ProcessFotoProc();
    state.PauseTiming();
    CloseFotoverwaltung();
    FreeControlForm();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ProcessFotoToTheDialogShown)->Unit(benchmark::kMillisecond);

void BM_GetFotoID(benchmark::State& state) {
  SharedProject();
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  for (auto _ : state) benchmark::DoNotOptimize(module.GetFotoID());
  FreeControlForm();
}
BENCHMARK(BM_GetFotoID)->Unit(benchmark::kMillisecond);

void BM_OnTablePostPhotoStepStillLinked(benchmark::State& state) {
  SharedProject();
  OnAnObject();
  EnsureFotoverwaltung();
  for (auto _ : state) DeleteFoto();
  FreeControlForm();
}
BENCHMARK(BM_OnTablePostPhotoStepStillLinked)->Unit(benchmark::kMillisecond);

void BM_OnTablePostPhotoStepLastLink(benchmark::State& state) {
  // The last link of a local photo: its row goes (and would take its file).
  SharedProject();
  hostsim::Host& host = TheHost();
  const int32_t object = host.ObjectIds().front();
  auto db = platform::db::Connection::Open("Data Source=" + host.ProjectDB());
  EnsureFotoverwaltung();
  int id = -900000;
  for (auto _ : state) {
    state.PauseTiming();
    --id;
    db->Execute("insert into Fotos (FotoID, IsNew, PicFileName) values (" + std::to_string(id) +
                ", 3, 'gone.jpg')");
    host.Activate(object);
    host.AppendRow("Objektphotos");
    host.EnterValue("Objektphotos", "PhotoID", std::to_string(id));
    host.PostRow("Objektphotos");
    state.ResumeTiming();
    DeleteFoto();
    state.PauseTiming();
    host.DeleteRow("Objektphotos");
    state.ResumeTiming();
  }
  FreeControlForm();
}
BENCHMARK(BM_OnTablePostPhotoStepLastLink)->Unit(benchmark::kMillisecond);

void BM_AfterLoadProjectPhotoSteps(benchmark::State& state) {
  SharedProject();
  for (auto _ : state) {
    EnsureTableFotos();
    EnsureSubDirFotos();
  }
}
BENCHMARK(BM_AfterLoadProjectPhotoSteps)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
