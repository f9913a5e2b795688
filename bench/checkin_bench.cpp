// Reading the check-in program's log the way the check-in dialog judges a
// run: a log of 100 MB of finding lines with the markers at its end, and one
// of 100 MB of binary bytes without a line end. The log is read in blocks;
// peak memory (VmHWM) must stay near the program's own size whatever the
// log.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "bench/BenchFolder.h"
#include "bench/OwnProcess.h"
#include "exchange/VandraCheckIn.h"

namespace {

constexpr size_t kLogBytes = 100u << 20;

// Written block by block, so that writing does not raise the peak either.
std::string WriteLog(const std::string& name, bool binary) {
  const std::string path = bench::NewBenchFolder() + "/" + name;
  std::ofstream out(path, std::ios::binary);
  std::string block;
  if (binary) {
    std::mt19937 random(7);
    block.resize(1 << 20);
    for (char& c : block) {
      c = static_cast<char>(random() % 256);
      if (c == '\r' || c == '\n') c = ' ';
    }
  } else {
    for (int i = 0; block.size() < (1u << 20) - 80; ++i) {
      block += "Objekt DE-4509-" + std::to_string(i % 1000) + ": Kennung fehlt in den Geodaten\r\n";
    }
  }
  for (size_t written = 0; written < kLogBytes; written += block.size()) out << block;
  if (!binary) out << "Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n";
  return path;
}

void BM_ReadCheckInLog(benchmark::State& state) {
  const bool binary = state.range(0) == 1;
  const std::string path = WriteLog(binary ? "binaer.log" : "befunde.log", binary);
  const long before = bench::PeakMemoryKib();
  for (auto _ : state) {
    const std::optional<bool> verdict = VandraCheckIn::ReadCheckInLog(path);
    if (!verdict || *verdict == binary) state.SkipWithError("wrong verdict");
    benchmark::DoNotOptimize(verdict);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLogBytes));
  state.counters["peak_MB"] = static_cast<double>(bench::PeakMemoryKib()) / 1024.0;
  state.counters["peak_growth_MB"] = static_cast<double>(bench::PeakMemoryKib() - before) / 1024.0;
}
BENCHMARK(BM_ReadCheckInLog)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
