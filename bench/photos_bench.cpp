// Speed of the photo catalogue on a project with 10,000 photos and 20,000
// links (20 links on each of 1,000 objects, every photo linked twice),
// through the same code the photo hooks run, and of the photo dialog on it
// with a picture of 5 MB.
//
//   build/bin/photos_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchFolder.h"
#include "hostsim/HostModel.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/support/JpegWriter.h"

namespace {

constexpr int kPhotos = 10000;
constexpr int kObjects = 1000;
constexpr int kLinksPerObject = 20;

hostsim::Host& TheHost() {
  return hostsim::TheHost();
}

std::string bench_root;
platform::ui::ScriptedPresenter* presenter = nullptr;

// The project the benchmarks share, made once.
void SharedProject() {
  static const bool made = [] {
    const std::string root = bench::NewBenchFolder();
    bench_root = root;
    setenv("KARTUL_REGISTRY", (root + "/registry.reg").c_str(), 1);
    auto scripted = std::make_unique<platform::ui::ScriptedPresenter>();
    presenter = scripted.get();
    platform::ui::SetPresenter(std::move(scripted));
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

// A photo of at least 5 MB (noise compresses badly), outside the project;
// made once.
const std::string& BigPicture() {
  static const std::string path = [] {
    std::string bytes;
    for (int side = 1200; bytes.size() < 5'000'000; side += 200) {
      bytes = testsupport::EncodeJpeg(side, side * 3 / 4, 1, 95);
    }
    std::filesystem::create_directories(bench_root + "/kamera");
    const std::string file = bench_root + "/kamera/DSC0001.jpg";
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }();
  return path;
}

// "Foto übernehmen" on a new photo whose 5 MB picture was chosen: the copy
// into KTPhotos, the free name, the new id, the catalogue row, the link.
void BM_FotoUebernehmen5MB(benchmark::State& state) {
  SharedProject();
  hostsim::Host& host = TheHost();
  const std::string& picture = BigPicture();
  state.counters["picture_MB"] = static_cast<double>(std::filesystem::file_size(picture)) / 1e6;
  const int32_t object = host.ObjectIds()[1];
  for (auto _ : state) {
    state.PauseTiming();
    host.Activate(object);
    host.AppendRow("Objektphotos");
    ProcessFotoProc();
    TFormEditFoto& form = *FotoTask().fvControlForm;
    presenter->AddActions("file \"" + picture + "\"");
    form.BtnGetFoto.Click();
    if (!form.Image1.HasPicture()) state.SkipWithError("the picture was not taken");
    state.ResumeTiming();
    form.BtnOK.Click();
    state.PauseTiming();
    if (form.Showing()) state.SkipWithError("the photo was not saved");
    state.ResumeTiming();
  }
  FreeControlForm();
}
BENCHMARK(BM_FotoUebernehmen5MB)->Unit(benchmark::kMillisecond);

// The photo command on a link row of a stored local photo with a 5 MB
// picture, up to the dialog shown with the picture decoded; the dialog and
// its data module are there from an earlier task, as in a working session.
void BM_OpenDialogOnExistingPhoto(benchmark::State& state) {
  SharedProject();
  hostsim::Host& host = TheHost();
  // The benchmark runs this function more than once: the photo is made once.
  static const int32_t object = [&] {
    std::filesystem::copy_file(BigPicture(), FotoDir() + "gross.jpg",
                               std::filesystem::copy_options::overwrite_existing);
    auto db = platform::db::Connection::Open("Data Source=" + host.ProjectDB());
    db->Execute("delete from Fotos where FotoID = -999999");
    db->Execute(
        "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, IsNew, PicFileName) values "
        "(-999999, 'gross', 3400000, 5800000, 90, 3, 'gross.jpg')");
    const int32_t id = host.ObjectIds()[2];
    host.Activate(id);
    host.AppendRow("Objektphotos");
    host.EnterValue("Objektphotos", "PhotoID", "-999999");
    host.PostRow("Objektphotos");
    return id;
  }();
  host.Activate(object);
  // The mapper stands on the row of that photo.
  host.FirstRow("Objektphotos");
  while (host.Value("Objektphotos", "PhotoID") != "-999999") host.NextRow("Objektphotos");
  ProcessFotoProc();
  if (!FotoTask().fvControlForm || !FotoTask().fvControlForm->Showing()) {
    state.SkipWithError("the dialog did not open");
    return;
  }
  FotoTask().fvControlForm->btnCancel.Click();
  for (auto _ : state) {
    ProcessFotoProc();
    state.PauseTiming();
    TFormEditFoto& form = *FotoTask().fvControlForm;
    if (form.Image1.width == 0) state.SkipWithError("the picture was not shown");
    form.btnCancel.Click();
    state.ResumeTiming();
  }
  host.Activate(object);
  FreeControlForm();
}
BENCHMARK(BM_OpenDialogOnExistingPhoto)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
