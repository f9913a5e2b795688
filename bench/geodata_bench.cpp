// Speed of reading a package's geodata: a layer of 5,000 areas (two rings
// of 24 vertices each), read whole for its identifiers as the import checks
// it, and shape by shape as the status map draws it. The layer is written
// once with shapelib, an independent writer.
//
//   build/bin/geodata_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench/BenchFolder.h"
#include "platform/geodata/ShapeFiles.h"

namespace {

constexpr int kAreas = 5000;
constexpr int kRing = 24;

const std::string& Layer() {
  static const std::string shp = [] {
    const std::string base = bench::NewBenchFolder() + "/flaechen";
    SHPHandle shp = SHPCreate(base.c_str(), SHPT_POLYGON);
    DBFHandle dbf = DBFCreate(base.c_str());
    DBFAddField(dbf, "KENNUNG", FTString, 20, 0);
    DBFAddField(dbf, "KLASSE", FTInteger, 6, 0);
    for (int i = 0; i < kAreas; ++i) {
      std::vector<double> x, y;
      const double cx = (i % 100) * 1000.0, cy = (i / 100) * 1000.0;
      for (const double r : {400.0, 100.0}) {
        for (int v = 0; v <= kRing; ++v) {
          const double a = 2 * M_PI * (v % kRing) / kRing * (r > 200 ? -1 : 1);
          x.push_back(cx + r * std::cos(a));
          y.push_back(cy + r * std::sin(a));
        }
      }
      int starts[] = {0, kRing + 1};
      SHPObject* o =
          SHPCreateObject(SHPT_POLYGON, -1, 2, starts, nullptr, static_cast<int>(x.size()),
                          x.data(), y.data(), nullptr, nullptr);
      SHPWriteObject(shp, -1, o);
      SHPDestroyObject(o);
      DBFWriteStringAttribute(dbf, i, 0, ("DE-" + std::to_string(i)).c_str());
      DBFWriteIntegerAttribute(dbf, i, 1, i % 7);
    }
    SHPClose(shp);
    DBFClose(dbf);
    return base + ".shp";
  }();
  return shp;
}

void BM_ReadLayer(benchmark::State& state) {
  const std::string& shp = Layer();
  for (auto _ : state) {
    const platform::geodata::ShapeLayer layer =
        platform::geodata::ReadLayer(platform::env::Env::Default(), shp, "KENNUNG", "KLASSE");
    if (layer.ids.size() != kAreas) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_ReadLayer)->Unit(benchmark::kMillisecond);

void BM_ReadShapes(benchmark::State& state) {
  const std::string& shp = Layer();
  for (auto _ : state) {
    platform::geodata::LayerReader reader(platform::env::Env::Default(), shp);
    size_t points = 0;
    for (size_t i = 0; i < reader.Count(); ++i) points += reader.Read(i).points.size();
    benchmark::DoNotOptimize(points);
    benchmark::DoNotOptimize(reader.Texts("KENNUNG"));
  }
}
BENCHMARK(BM_ReadShapes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
