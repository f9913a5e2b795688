// The hooks that touch the transaction tables, called as the host calls
// them: through the full build loaded with dlopen into the host stand-in, on
// a project whose TA_LIST holds 100,000 rows. A mapper must never feel them.
//
//   build/bin/hooks_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchFolder.h"
#include "host/ktapi32.h"
#include "hostsim/HostModel.h"

namespace {

constexpr int kRows = 100000;
const std::string kBin = std::string(VANDRA_BINARY_DIR) + "/bin";
// The hooks' answers (plugin/hooks.h, which the benchmark does not include:
// it knows the plug-in only through its exports).
constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;
// Objects whose rows BM_InsertInTransActionList re-creates in turn, spread
// over the table.
constexpr int kRecreated = 64;

std::string Kennung(int i) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "DE-%06d", i);
  return buffer;
}

// Rows of editing status 3 are those of deleted checked-out objects, marked
// "DELETE" as the plug-in marks them; the others carry no change mark yet.
bool DeletedRow(int i) {
  return i % 4 == 3;
}

struct Bench {
  TKTHookProc OnTablePost = nullptr;
  TKTHookProc AfterEditObject = nullptr;
  TKTHookProc GeometryChanged = nullptr;
  TKTHookProc CheckStatus = nullptr;
  TKTHookProc InsertInTransActionList = nullptr;
  TKTHookProc DeleteFromTransActionList = nullptr;
  int32_t schreibend = 0;  // an object whose row has status 1
  int32_t neu = 0;         // an object whose row has status 2
  int32_t geloescht = 0;   // an object whose row has status 3
  // Objects whose rows are "DELETE" rows, and whether each was re-created
  // since (its row then is an "UPDATE" row).
  std::vector<int32_t> deleted;
  std::vector<bool> recreated;
  size_t next = 0;
  std::string answers;  // the answer file of the scripted presenter
};

// Fills the transaction tables with dbsql, the driver's own command-line
// tool, in one run: the benchmark itself must not carry a second copy of
// the plug-in's code beside the loaded build.
void FillTables(const std::string& project) {
  const std::string sql = (std::filesystem::path(project).parent_path() / "fill.sql").string();
  {
    std::ofstream out(sql);
    out << "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND "
           "integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50));\n"
           "create Table TA_ID (TID integer, NAME char(75),OWNER char(75));\n"
           "create Table TA_KL (TID integer, KENNUNG char(50));\n"
           "insert into TA_ID (TID,NAME,OWNER) values (1,'Transaktion','Betreuer');\n";
    for (int i = 0; i < kRows; ++i) {
      const std::string k = Kennung(i);
      out << "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values ("
          << 1 + i / 5000 << "," << i + 1 << ",-1," << i % 4 << ",'" << k << "','"
          << (DeletedRow(i) ? "DELETE" : "IGNORED") << "','" << k << "');\n";
    }
  }
  const std::string command = kBin +
                              "/dbsql \"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + project +
                              ";Extended Properties=DBASE III;\" < " + sql;
  if (std::system(command.c_str()) != 0) std::abort();
}

Bench& Setup() {
  static Bench bench = [] {
    const std::string root = bench::NewBenchFolder();
    setenv("KARTUL_REGISTRY", (root + "/registry.reg").c_str(), 1);
    // The scripted presenter: a box the benchmark did not answer is told on
    // stderr and answered at once instead of waiting for a terminal.
    const std::string answers = root + "/answers.txt";
    std::ofstream(answers).flush();
    setenv("KARTUL_ANSWERS", answers.c_str(), 1);
    const std::string project = root + "/projekt";
    hostsim::Host& host = hostsim::TheHost();
    hostsim::Host::CreateProject(project);
    FillTables(project);
    host.LoadPlugin("VD1TransAction2010", kBin);
    host.OpenProject(project);

    Bench b;
    b.answers = answers;
    void* library = dlopen((kBin + "/VD1TransAction2010.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) std::abort();
    auto hook = [&](const char* name) {
      auto proc = reinterpret_cast<TKTHookProc>(dlsym(library, name));
      if (proc == nullptr) std::abort();
      return proc;
    };
    b.OnTablePost = hook("OnTablePost");
    b.AfterEditObject = hook("AfterEditObject");
    b.GeometryChanged = hook("GeometryChanged");
    b.CheckStatus = hook("CheckStatus");
    b.InsertInTransActionList = hook("InsertInTransActionList");
    b.DeleteFromTransActionList = hook("DeleteFromTransActionList");
    // Objects of the host under identifiers of the list, loaded as an import
    // loads them: the creation hooks must not run here.
    const int32_t klasse = host.FindClass("FFH")->id;
    auto object = [&](int row) {
      return host.CreateObject(klasse, ktSinglePoint, {{1000.0 + row, 2000.0}}, Kennung(row));
    };
    host.Bind(hostsim::HookEvent::kBeforeCreateObject, "");
    host.Bind(hostsim::HookEvent::kObjectCreated, "");
    b.schreibend = object(50001);
    b.neu = object(50002);
    b.geloescht = object(50003);
    for (int j = 0; j < kRecreated; ++j) {
      int row = j * (kRows / kRecreated) + 7;
      while (!DeletedRow(row)) ++row;
      if (row == 50003) row += 4;
      b.deleted.push_back(object(row));
    }
    b.recreated.assign(b.deleted.size(), false);
    host.Activate(b.schreibend);
    return b;
  }();
  return bench;
}

const char16_t kLinfos[] = u"linfos";

void BM_OnTablePost(benchmark::State& state) {
  const Bench& b = Setup();
  for (auto _ : state) {
    benchmark::DoNotOptimize(b.OnTablePost(0, reinterpret_cast<intptr_t>(kLinfos), 1));
  }
}
BENCHMARK(BM_OnTablePost);

void BM_AfterEditObject(benchmark::State& state) {
  const Bench& b = Setup();
  for (auto _ : state) benchmark::DoNotOptimize(b.AfterEditObject(0, 0, 0));
}
BENCHMARK(BM_AfterEditObject);

void BM_GeometryChanged(benchmark::State& state) {
  const Bench& b = Setup();
  for (auto _ : state) benchmark::DoNotOptimize(b.GeometryChanged(b.schreibend, 0, 0));
}
BENCHMARK(BM_GeometryChanged);

void BM_CheckStatus(benchmark::State& state) {
  const Bench& b = Setup();
  for (auto _ : state) benchmark::DoNotOptimize(b.CheckStatus(0, b.schreibend, 0));
}
BENCHMARK(BM_CheckStatus);

// A deleted checked-out object created anew under its identifier: its
// "DELETE" row is rewritten in place as the object's "UPDATE" row, and the
// identifier is taken out of the pools. The objects take turns, spread over
// the table; between two calls, untimed, the next one's row is made a
// "DELETE" row again by DeleteFromTransActionList, as the mapper's deletion
// makes it. The transaction the object enters is the plug-in's target at
// load (0), so that deletion gives no identifier back to a pool and every
// call does the same work. A call that is refused ends the benchmark with
// an error rather than measure the refusal under this name.
void BM_InsertInTransActionList(benchmark::State& state) {
  Bench& b = Setup();
  for (auto _ : state) {
    state.PauseTiming();
    const size_t i = b.next;
    b.next = (b.next + 1) % b.deleted.size();
    const int32_t id = b.deleted[i];
    if (b.recreated[i]) b.DeleteFromTransActionList(id, 0, 0);
    state.ResumeTiming();
    const int16_t answer = b.InsertInTransActionList(1057, id, 0);
    if (answer != kTrue) {
      state.SkipWithError("the object was not entered: its row was no \"DELETE\" row");
      break;
    }
    b.recreated[i] = true;
  }
}
BENCHMARK(BM_InsertInTransActionList);

// The refusal: the identifier's row belongs to another object, which stays
// listed, and the mapper is told so in a warning. Each call's warning is
// answered from the answer file, one line appended before the call
// (untimed), so nothing reaches the terminal; reading that line is the
// stand-in's part of showing the box, and is timed.
void BM_InsertInTransActionListRefused(benchmark::State& state) {
  const Bench& b = Setup();
  const std::string answer_line = "message OK \"Die Kennung " + Kennung(50002) +
                                  " ist bereits in der Transaktionsliste eingetragen. Das Objekt "
                                  "wird keiner Transaktion zugewiesen.\"\n";
  std::ofstream answers(b.answers, std::ios::app);
  for (auto _ : state) {
    state.PauseTiming();
    answers << answer_line << std::flush;
    state.ResumeTiming();
    if (b.InsertInTransActionList(1057, b.neu, 0) != kFalse) {
      state.SkipWithError("the object was entered: its identifier's row was not refused");
      break;
    }
  }
}
BENCHMARK(BM_InsertInTransActionListRefused);

// A deleted row stays; its identifier is already back in the pool.
void BM_DeleteFromTransActionList(benchmark::State& state) {
  const Bench& b = Setup();
  for (auto _ : state) benchmark::DoNotOptimize(b.DeleteFromTransActionList(b.geloescht, 0, 0));
}
BENCHMARK(BM_DeleteFromTransActionList);

}  // namespace

BENCHMARK_MAIN();
