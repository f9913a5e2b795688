// Speed of the printed check report of VD1TransAction on 10,000 objects
// (five transactions of 1,600 new, 200 deleted and 200 changed objects):
// laying the bands out on pages, turning to a page in the preview, and
// printing the whole report to a PDF file.
//
//   build/bin/report_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/BenchFolder.h"
#include "platform/env/Env.h"
#include "platform/print/PdfWriter.h"
#include "report/PrintedReport.h"

namespace {

constexpr int kTransactions = 5;
constexpr int kNew = 1600;
constexpr int kDeleted = 200;
constexpr int kChanged = 200;

std::string Kennung(const char* prefix, int tid, int i) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s-%d-%06d", prefix, tid, i);
  return buffer;
}

const TransActionReport::ReportData& TenThousand() {
  static const TransActionReport::ReportData data = [] {
    TransActionReport::ReportData d;
    d.date = "09.12.2026";
    for (int tid = 1; tid <= kTransactions; ++tid) {
      TransActionReport::ReportGroup group;
      group.tid = std::to_string(4710 + tid);
      group.name = "Naturschutzgebiet Ruhraue bei Hattingen, Teil " + std::to_string(tid);
      group.owner = "Frau Kern";
      group.sections = {
          {"neue Objekte:", {}}, {"gelöschte Objekte:", {}}, {"geänderte Objekte:", {}}};
      for (int i = 0; i < kNew; ++i) group.sections[0].kennungen.push_back(Kennung("NSG", tid, i));
      for (int i = 0; i < kDeleted; ++i)
        group.sections[1].kennungen.push_back(Kennung("DE-4509", tid, i));
      for (int i = 0; i < kChanged; ++i)
        group.sections[2].kennungen.push_back(Kennung("ÖK", tid, i));
      d.groups.push_back(std::move(group));
    }
    return d;
  }();
  return data;
}

void BM_Pagination(benchmark::State& state) {
  size_t pages = 0;
  for (auto _ : state) {
    platform::print::Document document = TransActionReport::LayoutReport(TenThousand());
    pages = document.pages.size();
    benchmark::DoNotOptimize(document);
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["objects"] = kTransactions * (kNew + kDeleted + kChanged);
}
BENCHMARK(BM_Pagination)->Unit(benchmark::kMillisecond);

void BM_PreviewPage(benchmark::State& state) {
  const platform::print::Document document = TransActionReport::LayoutReport(TenThousand());
  size_t page = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::print::PageAsText(document, page));
    page = (page + 1) % document.pages.size();
  }
}
BENCHMARK(BM_PreviewPage)->Unit(benchmark::kMicrosecond);

void BM_PrintToPdf(benchmark::State& state) {
  const platform::print::Document document = TransActionReport::LayoutReport(TenThousand());
  const std::string path = bench::NewBenchFolder() + "/Pruefbericht.pdf";
  for (auto _ : state) {
    platform::print::PrintToPdf(platform::env::Env::Posix(), path, document);
  }
  const auto status = platform::env::Env::Posix().Stat(path);
  state.counters["pages"] = static_cast<double>(document.pages.size());
  state.counters["file_MB"] = status ? static_cast<double>(status->size) / 1e6 : 0;
}
BENCHMARK(BM_PrintToPdf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
