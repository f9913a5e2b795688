// The hooks that touch the transaction tables, called as the host calls
// them: through the full build loaded with dlopen into the host stand-in, on
// a project whose TA_LIST holds as many rows as the benchmark's argument
// (100,000 or 1,000,000). A mapper must never feel them.
//
// Each row count has a project folder of its own, filled once and opened
// again whenever a benchmark of the other count ran in between (opening is
// never timed).
//
//   build/bin/hooks_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchFolder.h"
#include "host/ktapi32.h"
#include "hostsim/HostModel.h"

namespace {

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

// Fills the transaction tables with dbsql, the driver's own command-line
// tool, in one run and one write: the benchmark itself must not carry a
// second copy of the plug-in's code beside the loaded build. A million rows
// take some ten seconds.
void FillTables(const std::string& project, int rows) {
  const std::string sql = (std::filesystem::path(project).parent_path() / "fill.sql").string();
  {
    std::ofstream out(sql);
    out << "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND "
           "integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50));\n"
           "create Table TA_ID (TID integer, NAME char(75),OWNER char(75));\n"
           "create Table TA_KL (TID integer, KENNUNG char(50));\n"
           "insert into TA_ID (TID,NAME,OWNER) values (1,'Transaktion','Betreuer');\n"
           "begin;\n";
    for (int i = 0; i < rows; ++i) {
      const std::string k = Kennung(i);
      out << "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values ("
          << 1 + i / 5000 << "," << i + 1 << ",-1," << i % 4 << ",'" << k << "','"
          << (DeletedRow(i) ? "DELETE" : "IGNORED") << "','" << k << "');\n";
    }
    out << "commit;\n";
  }
  const std::string command = kBin +
                              "/dbsql \"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + project +
                              ";Extended Properties=DBASE III;\" < " + sql;
  if (std::system(command.c_str()) != 0) std::abort();
  std::filesystem::remove(sql);
}

struct Hooks {
  TKTHookProc OnTablePost = nullptr;
  TKTHookProc AfterEditObject = nullptr;
  TKTHookProc GeometryChanged = nullptr;
  TKTHookProc CheckStatus = nullptr;
  TKTHookProc InsertInTransActionList = nullptr;
  TKTHookProc DeleteFromTransActionList = nullptr;
};

// One project folder and the host's objects in it.
struct Project {
  std::string dir;
  int32_t schreibend = 0;  // an object whose row has status 1
  int32_t neu = 0;         // an object whose row has status 2
  int32_t geloescht = 0;   // an object whose row has status 3
  int32_t vorweg = 0;      // one more with a "DELETE" row, re-created before the loops
  // Objects whose rows are "DELETE" rows, and whether each was re-created
  // since (its row then is an "UPDATE" row).
  std::vector<int32_t> deleted;
  std::vector<bool> recreated;
  size_t next = 0;
};

struct Bench {
  std::string root;
  std::string answers;  // the answer file of the scripted presenter
  Hooks hooks;
  std::map<int, Project> projects;  // by row count
};

Bench& TheBench() {
  static Bench bench = [] {
    Bench b;
    b.root = bench::NewBenchFolder();
    setenv("KARTUL_REGISTRY", (b.root + "/registry.reg").c_str(), 1);
    // The scripted presenter: a box the benchmark did not answer is told on
    // stderr and answered at once instead of waiting for a terminal.
    b.answers = b.root + "/answers.txt";
    std::ofstream(b.answers).flush();
    setenv("KARTUL_ANSWERS", b.answers.c_str(), 1);
    hostsim::Host& host = hostsim::TheHost();
    host.LoadPlugin("VD1TransAction2010", kBin);
    void* library = dlopen((kBin + "/VD1TransAction2010.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) std::abort();
    auto hook = [&](const char* name) {
      auto proc = reinterpret_cast<TKTHookProc>(dlsym(library, name));
      if (proc == nullptr) std::abort();
      return proc;
    };
    b.hooks.OnTablePost = hook("OnTablePost");
    b.hooks.AfterEditObject = hook("AfterEditObject");
    b.hooks.GeometryChanged = hook("GeometryChanged");
    b.hooks.CheckStatus = hook("CheckStatus");
    b.hooks.InsertInTransActionList = hook("InsertInTransActionList");
    b.hooks.DeleteFromTransActionList = hook("DeleteFromTransActionList");
    // Objects of the host under identifiers of the list are loaded as an
    // import loads them: the creation hooks must not run here.
    host.Bind(hostsim::HookEvent::kBeforeCreateObject, "");
    host.Bind(hostsim::HookEvent::kObjectCreated, "");
    return b;
  }();
  return bench;
}

Project MakeProject(const std::string& dir, int rows) {
  hostsim::Host& host = hostsim::TheHost();
  hostsim::Host::CreateProject(dir);
  FillTables(dir, rows);
  host.OpenProject(dir);
  const int32_t klasse = host.FindClass("FFH")->id;
  auto object = [&](int row) {
    return host.CreateObject(klasse, ktSinglePoint, {{1000.0 + row, 2000.0}}, Kennung(row));
  };
  Project p;
  p.dir = host.ProjectDir();
  // In the middle of the table, whatever its size.
  p.schreibend = object(rows / 2 + 1);
  p.neu = object(rows / 2 + 2);
  p.geloescht = object(rows / 2 + 3);
  std::vector<int> rows_taken;
  for (int j = 0; j < kRecreated; ++j) {
    int row = j * (rows / kRecreated) + 7;
    while (!DeletedRow(row)) ++row;
    if (row == rows / 2 + 3) row += 4;
    rows_taken.push_back(row);
    p.deleted.push_back(object(row));
  }
  p.recreated.assign(p.deleted.size(), false);
  int row = rows / 2 + 11;
  while (std::find(rows_taken.begin(), rows_taken.end(), row) != rows_taken.end()) row += 4;
  p.vorweg = object(row);
  return p;
}

// The project of the row count, open in the host, its status-1 object the
// active one, and its tables read. After a project opens, the first look
// at a column reads the whole table into the driver's index of that column
// (BM_FirstHookAfterOpen), and the first write costs more than the later
// ones. Those first calls are made here, untimed, so that they do not land
// in a benchmark's loop: a status check, the deletion of the status-3
// object (which gives its identifier back to the pool, once), and a
// deleted object created anew and deleted again.
Project& Open(int rows) {
  Bench& b = TheBench();
  hostsim::Host& host = hostsim::TheHost();
  auto it = b.projects.find(rows);
  if (it == b.projects.end()) {
    const std::string dir = b.root + "/projekt" + std::to_string(rows);
    it = b.projects.emplace(rows, MakeProject(dir, rows)).first;
  } else if (host.ProjectDir() != it->second.dir) {
    host.OpenProject(it->second.dir);
  }
  host.Activate(it->second.schreibend);
  const Project& p = it->second;
  b.hooks.CheckStatus(0, p.schreibend, 0);
  b.hooks.DeleteFromTransActionList(p.geloescht, 0, 0);
  b.hooks.InsertInTransActionList(1057, p.vorweg, 0);
  b.hooks.DeleteFromTransActionList(p.vorweg, 0, 0);
  return it->second;
}

const Hooks& TheHooks() {
  return TheBench().hooks;
}

void RowCounts(benchmark::internal::Benchmark* b) {
  b->ArgName("rows")->Arg(100000)->Arg(1000000);
}

const char16_t kLinfos[] = u"linfos";

// The active object's row is marked "UPDATE" by the first call of the
// change-marking hooks in the run; every later call finds the mark set and
// writes nothing, as for a mapper's further edits of the object.
void BM_OnTablePost(benchmark::State& state) {
  Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) {
    benchmark::DoNotOptimize(h.OnTablePost(0, reinterpret_cast<intptr_t>(kLinfos), 1));
  }
}
BENCHMARK(BM_OnTablePost)->Apply(RowCounts);

// As OnTablePost: the mark is read, and written only by the first call.
void BM_AfterEditObject(benchmark::State& state) {
  Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) benchmark::DoNotOptimize(h.AfterEditObject(0, 0, 0));
}
BENCHMARK(BM_AfterEditObject)->Apply(RowCounts);

void BM_GeometryChanged(benchmark::State& state) {
  const Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) benchmark::DoNotOptimize(h.GeometryChanged(p.schreibend, 0, 0));
}
BENCHMARK(BM_GeometryChanged)->Apply(RowCounts);

void BM_CheckStatus(benchmark::State& state) {
  const Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) benchmark::DoNotOptimize(h.CheckStatus(0, p.schreibend, 0));
}
BENCHMARK(BM_CheckStatus)->Apply(RowCounts);

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
  Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) {
    state.PauseTiming();
    const size_t i = p.next;
    p.next = (p.next + 1) % p.deleted.size();
    const int32_t id = p.deleted[i];
    if (p.recreated[i]) h.DeleteFromTransActionList(id, 0, 0);
    state.ResumeTiming();
    const int16_t answer = h.InsertInTransActionList(1057, id, 0);
    if (answer != kTrue) {
      state.SkipWithError("the object was not entered: its row was no \"DELETE\" row");
      break;
    }
    p.recreated[i] = true;
  }
}
BENCHMARK(BM_InsertInTransActionList)->Apply(RowCounts);

// The refusal: the identifier's row belongs to another object, which stays
// listed, and the mapper is told so in a warning. Each call's warning is
// answered from the answer file, one line appended before the call
// (untimed), so nothing reaches the terminal; reading that line is the
// stand-in's part of showing the box, and is timed.
void BM_InsertInTransActionListRefused(benchmark::State& state) {
  const Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  const std::string kennung = hostsim::TheHost().FindObject(p.neu)->kennung;
  const std::string answer_line = "message OK \"Die Kennung " + kennung +
                                  " ist bereits in der Transaktionsliste eingetragen. Das Objekt "
                                  "wird keiner Transaktion zugewiesen.\"\n";
  std::ofstream answers(TheBench().answers, std::ios::app);
  for (auto _ : state) {
    state.PauseTiming();
    answers << answer_line << std::flush;
    state.ResumeTiming();
    if (h.InsertInTransActionList(1057, p.neu, 0) != kFalse) {
      state.SkipWithError("the object was entered: its identifier's row was not refused");
      break;
    }
  }
}
BENCHMARK(BM_InsertInTransActionListRefused)->Apply(RowCounts);

// A deleted row stays; its identifier is already back in the pool.
void BM_DeleteFromTransActionList(benchmark::State& state) {
  const Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  for (auto _ : state) benchmark::DoNotOptimize(h.DeleteFromTransActionList(p.geloescht, 0, 0));
}
BENCHMARK(BM_DeleteFromTransActionList)->Apply(RowCounts);

// ---- The first hook after a project opens ------------------------------------

// The process's resident memory now (VmRSS) and its peak since the last
// reset (VmHWM), in bytes; nothing where /proc does not tell them.
struct Resident {
  long long now = -1;
  long long peak = -1;
};

Resident ReadResident() {
  Resident r;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) r.now = kib * 1024LL;
      if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) r.peak = kib * 1024LL;
    }
    std::fclose(f);
  }
  return r;
}

// Sets the peak back to what the process holds now (Linux 4.0 and later);
// false where that is refused.
bool ResetPeak() {
  FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return false;
  const bool written = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && written;
}

// The first hook call after the project opens: the host opens the project
// again (untimed; the close before it drops the plug-in's connection, so
// the call opens the connection and reads TA_LIST as after any project
// load), then CheckStatus asks for the status of an object in the middle of
// the table, timed. The operating system's file cache stays warm: what is
// measured is the plug-in's and the driver's work, not the disk. The
// process-wide set-up done once for all projects (the driver library, the
// host functions bound at run time) is done already, as for every project
// a mapper opens after the first one of a session.
//
// Memory, as counters: RSS_gain is what the process holds after the call
// more than before it (VmRSS), the memory the open project keeps; peak_gain
// is its highest VmHWM during the call above what it held before, the
// transient part included. ru_maxrss cannot serve: it is the peak of the
// process's whole life and would show nothing after the first call. Before
// each call the freed memory of the project's earlier opening goes back to
// the system (malloc_trim), else the call would reuse it unseen, and the
// peak is reset (/proc/self/clear_refs).
void BM_FirstHookAfterOpen(benchmark::State& state) {
  const Project& p = Open(static_cast<int>(state.range(0)));
  const Hooks& h = TheHooks();
  hostsim::Host& host = hostsim::TheHost();
  double rss_gain = 0;
  double peak_gain = 0;
  bool peak_known = true;
  for (auto _ : state) {
    state.PauseTiming();
    host.OpenProject(p.dir);
    malloc_trim(0);
    peak_known = ResetPeak() && peak_known;
    const Resident before = ReadResident();
    state.ResumeTiming();
    const int16_t answer = h.CheckStatus(0, p.schreibend, 0);
    state.PauseTiming();
    const Resident after = ReadResident();
    if (answer != kTrue) {
      state.SkipWithError("CheckStatus refused the object");
      break;
    }
    rss_gain += static_cast<double>(after.now - before.now);
    peak_gain += static_cast<double>(after.peak - before.now);
    state.ResumeTiming();
  }
  state.counters["RSS_gain"] = benchmark::Counter(rss_gain, benchmark::Counter::kAvgIterations,
                                                  benchmark::Counter::OneK::kIs1024);
  if (peak_known) {
    state.counters["peak_gain"] = benchmark::Counter(
        peak_gain, benchmark::Counter::kAvgIterations, benchmark::Counter::OneK::kIs1024);
  }
}
BENCHMARK(BM_FirstHookAfterOpen)->Apply(RowCounts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
