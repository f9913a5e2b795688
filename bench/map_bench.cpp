// Speed and memory of the status map: a project of 100,000 objects (areas,
// lines and points) whose transaction list names every one of them with
// every status and change mark, drawn into an SVG file from the host's
// exports of its objects (made once, by the host stand-in). Each map is
// drawn in a process of its own, so its peak memory (VmHWM) is the map's
// alone.
//
//   build/bin/map_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/BenchFolder.h"
#include "bench/OwnProcess.h"
#include "hostsim/HostModel.h"
#include "platform/dbase/DbfFile.h"
#include "tools/kartenbild/Kartenbild.h"

namespace {

constexpr int kObjects = 100000;

std::string Kennung(int i) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "DE-%06d", i);
  return buffer;
}

// The project, made once: KT_OBJEKTE filled in one transaction, TA_LIST and
// TA_ID written with the dBase codec.
const std::string& Project() {
  static const std::string dir = [] {
    const std::string root = bench::NewBenchFolder();
    const std::string project = root + "/gross/";
    hostsim::Host::CreateProject(project);
    sqlite3* db = nullptr;
    if (sqlite3_open((project + "KTProjekt.db").c_str(), &db) != SQLITE_OK) std::abort();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO KT_OBJEKTE (KENNUNG, KLASSE, TYP, GEOMETRIE) "
                       "VALUES (?1, 1002, ?2, ?3)",
                       -1, &s, nullptr);
    for (int i = 0; i < kObjects; ++i) {
      const double x = 2500000 + 100.0 * (i % 1000), y = 5600000 + 100.0 * (i / 1000);
      char g[256];
      int typ = i % 10 < 7 ? 3 : i % 10 < 9 ? 2 : 6;
      if (typ == 3)
        std::snprintf(g, sizeof g, "%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f", x, y,
                      x + 60, y, x + 80, y + 40, x + 50, y + 70, x, y + 50);
      else if (typ == 2)
        std::snprintf(g, sizeof g, "%.1f %.1f,%.1f %.1f,%.1f %.1f", x, y, x + 40, y + 30, x + 90,
                      y + 20);
      else
        std::snprintf(g, sizeof g, "%.1f %.1f", x + 50, y + 50);
      const std::string k = Kennung(i);
      sqlite3_reset(s);
      sqlite3_bind_text(s, 1, k.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 2, typ);
      sqlite3_bind_text(s, 3, g, -1, SQLITE_TRANSIENT);
      if (sqlite3_step(s) != SQLITE_DONE) std::abort();
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    namespace dbase = platform::dbase;
    auto list = dbase::DbfFile::Create(project + "TA_LIST.dbf", dbase::Flavor::kDBase3,
                                       {{"TID", 'N', 11, 0},
                                        {"KARTULID", 'N', 11, 0},
                                        {"VGNR", 'N', 11, 0},
                                        {"SCHREIBEND", 'N', 11, 0},
                                        {"KENNUNG", 'C', 50, 0},
                                        {"CHANGED", 'C', 15, 0},
                                        {"KENNUNGO", 'C', 50, 0}});
    const char* marks[] = {"IGNORED", "UPDATE", "NEW", "DELETE"};
    list->BeginWrite();
    // Every object but a tenth, which stays outside the transaction.
    for (int i = 0; i < kObjects; ++i) {
      if (i % 10 == 5) continue;
      const uint32_t r = list->Append();
      const int status = i % 4;
      list->Write(r, 0, dbase::Cell::Integer(4711));
      list->Write(r, 1, dbase::Cell::Integer(i + 1));
      list->Write(r, 2, dbase::Cell::Integer(90000 + i));
      list->Write(r, 3, dbase::Cell::Integer(status));
      list->Write(r, 4, dbase::Cell::Text(Kennung(i)));
      list->Write(r, 5,
                  dbase::Cell::Text(marks[status == 1 && i % 8 == 1 ? 1
                                          : status == 1             ? 0
                                                                    : status]));
      list->Write(r, 6, dbase::Cell::Text(Kennung(i)));
    }
    list->Commit();
    list.reset();
    auto ids =
        dbase::DbfFile::Create(project + "TA_ID.dbf", dbase::Flavor::kDBase3,
                               {{"TID", 'N', 11, 0}, {"NAME", 'C', 75, 0}, {"OWNER", 'C', 75, 0}});
    ids->BeginWrite();
    const uint32_t r = ids->Append();
    ids->Write(r, 0, dbase::Cell::Integer(4711));
    ids->Write(r, 1, dbase::Cell::Text("Ruhraue bei Hattingen"));
    ids->Write(r, 2, dbase::Cell::Text("Frau Kern"));
    ids->Commit();

    // The host's exports of every object, which the map reads.
    hostsim::Host& host = hostsim::TheHost();
    host.OpenProject(project);
    std::filesystem::create_directories(project + "export");
    if (!host.ExportGeodata(project + "export/objekte.shp", true) ||
        !host.ExportXml(project + "export/objekte.xml", true, false, "T", "F"))
      std::abort();
    host.CloseProject();
    return project;
  }();
  return dir;
}

// In the process started for one measurement: draws the map and prints the
// time it took (ns) and the peak memory (KiB).
int DrawOnce(const std::string& project, const std::string& svg) {
  const auto start = std::chrono::steady_clock::now();
  const auto summary = kartenbild::WriteMapFile(project, project + "export/objekte", svg);
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
          .count();
  if (summary.drawn != static_cast<size_t>(kObjects)) return 1;
  bench::PrintMeasurement(static_cast<long long>(ns));
  return 0;
}

void BM_MapOf100000Objects(benchmark::State& state) {
  const std::string& project = Project();
  const std::string svg = project + "karte.svg";
  double max_rss_mb = 0;
  for (auto _ : state) {
    const std::optional<bench::Measurement> m =
        bench::MeasureInOwnProcess("map_bench", {"--draw", project, svg});
    if (!m) {
      state.SkipWithError("the measuring process failed");
      break;
    }
    state.SetIterationTime(static_cast<double>(m->ns) / 1e9);
    max_rss_mb = std::max(max_rss_mb, static_cast<double>(m->peak_kib) * 1024 / 1e6);
  }
  state.counters["max_rss_MB"] = max_rss_mb;
  std::error_code ec;
  state.counters["svg_MB"] = static_cast<double>(std::filesystem::file_size(svg, ec)) / 1e6;
}
BENCHMARK(BM_MapOf100000Objects)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--draw") == 0) {
    try {
      return DrawOnce(argv[2], argv[3]);
    } catch (const kartenbild::MapError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
