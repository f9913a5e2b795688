// A model-based test of the transaction lists: a mapper driven by a seeded
// random source works on a checked-out project through the host stand-in,
// with the plug-in's own code linked into this program as the loaded
// plug-in. It creates objects under the general rule set, the "BRB" rule set
// and the second-generation mode, deletes, edits, moves, renames, switches
// identifiers and assigns selections, answering every dialog as it comes.
// On a share of the steps a write to TA_LIST or TA_KL fails (the disk full,
// an I/O error), through a FaultEnv the plug-in's tables reach because they
// are the plug-in's own platform layer here.
//
// After every step the tables are read by a reader of the test's own and
// held to the rules of Invariants.h. A violation stops the run and prints
// the seed, the step and the steps that led to it; VANDRA_MODEL_SEED and
// VANDRA_MODEL_STEPS replay it. VANDRA_MODEL_STEPS also makes a long run.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "hostsim/HostModel.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Ui.h"
#include "plugin/hooks.h"
#include "tests/model/Invariants.h"
#include "tests/model/ListsSnapshot.h"
#include "tests/model/MapperPresenter.h"
#include "transaction/TransActTools.h"

namespace model {
namespace {

namespace fs = std::filesystem;
using platform::env::Fault;
using platform::env::FaultEnv;
using platform::env::Op;

constexpr uint64_t kSeed = 20240611;
constexpr int kSteps = 2500;
// A checkout is worked on for at most this many steps, then a fresh one
// begins under the next seed: dBase tables keep their deleted records, and a
// longer session would spend its time reading them.
constexpr int kSessionSteps = 5000;
// Steps shown before a violation.
constexpr size_t kHistory = 40;

uint64_t SeedFromEnvironment(uint64_t fallback) {
  const char* text = std::getenv("VANDRA_MODEL_SEED");
  return text && *text ? std::stoull(text) : fallback;
}

int StepsFromEnvironment(int fallback) {
  const char* text = std::getenv("VANDRA_MODEL_STEPS");
  return text && *text ? std::stoi(text) : fallback;
}

// The rule sets a creation can run under; the mapper's procedure folder
// changes between them now and then.
enum class Mode { kGeneral, kBrb, kSecondGeneration };

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::kGeneral:
      return "NRW";
    case Mode::kBrb:
      return "BRB";
    case Mode::kSecondGeneration:
      return "VD2";
  }
  return "?";
}

struct Counts {
  int steps = 0;
  int faults_injected = 0;
  int faults_fired = 0;
  int table_errors = 0;
  int offers = 0;
  std::map<std::string, int> events;
  std::map<std::string, int> outcomes;  // what the steps changed
};

class ListsModel {
 public:
  ListsModel(uint64_t seed, FaultEnv& faults, double fault_share)
      : seed_(seed), rng_(seed), faults_(faults), fault_share_(fault_share) {}

  ~ListsModel() {
    platform::ui::SetPresenter(nullptr);
    try {
      context::Current().Store().CloseAll();
      host_.CloseProject();
    } catch (...) {
    }
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

  // Runs up to `steps` steps, or to the first violation.
  void Run(int steps) {
    Setup();
    for (int n = 1; n <= steps && violations_.empty(); ++n) Step(n);
  }

  const std::vector<std::string>& Violations() const { return violations_; }
  const Counts& Figures() const { return counts_; }

  std::string Summary() const {
    std::ostringstream out;
    out << "lists model: seed " << seed_ << ", " << counts_.steps << " steps, "
        << counts_.faults_injected << " write failures injected (" << counts_.faults_fired
        << " struck), " << counts_.table_errors << " table errors shown, " << counts_.offers
        << " chooser lists checked, " << violations_.size() << " violations\n  events:";
    for (const auto& [name, n] : counts_.events) out << " " << name << " " << n;
    out << "\n  outcomes:";
    for (const auto& [name, n] : counts_.outcomes) out << " " << name << " " << n;
    out << "\n";
    return out.str();
  }

  // The seed, the failing step and the steps before it.
  std::string Report() const {
    std::ostringstream out;
    out << "seed " << seed_ << ", step " << counts_.steps << ":\n";
    for (const std::string& v : violations_) out << "  VIOLATION " << v << "\n";
    out << "the steps up to it:\n";
    for (const std::string& s : history_) out << s;
    out << "replay: VANDRA_MODEL_SEED=" << seed_ << " VANDRA_MODEL_STEPS=" << counts_.steps
        << " lists_model_test\n";
    return out.str();
  }

 private:
  // ---- The checked-out project -------------------------------------------------
  void Setup() {
    char pattern[] = "/tmp/vandra-model-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    project_dir_ = root_ + "/projekt/";
    setenv("KARTUL_REGISTRY", (root_ + "/registry.reg").c_str(), 1);
    SelectBuild(Build::kVD1TransAction2010);
    ResetPluginState();
    context::Current().Store().CloseAll();
    presenter_ = new MapperPresenter(
        rng_, [this](const std::string& form, const std::string& k,
                     const std::vector<std::string>& offered) { CheckChooser(form, k, offered); });
    platform::ui::SetPresenter(std::unique_ptr<platform::ui::Presenter>(presenter_));

    const hostsim::HookTable full = *hostsim::HookTable::ForBuild("VD1TransAction2010");
    host_.SetHookTable(full);
    hostsim::Host::CreateProject(project_dir_);
    host_.OpenProject(project_dir_);
    host_.UseVirtualClock(true);

    // The package's objects come without hooks, as an import brings them.
    host_.SetHookTable(hostsim::HookTable());
    const std::vector<std::pair<std::string, std::string>> objects = {
        {"FFH", "DE-4509-301"}, {"NSG", "NSG-0815"}, {"NSG", "NSG-1"},    {"FFH", "FFH-1"},
        {"ND", "ND-0042"},      {"ND", "ND-1"},      {"OEK", "OEK-0007"}, {"BIO", "BIO-7"},
        {"WEG", "WEG-1"},       {"ND", "ND-Linde"}};
    std::map<std::string, int32_t> ids;
    for (const auto& [klasse, kennung] : objects) ids[kennung] = Create(klasse, kennung);
    host_.SetHookTable(full);

    TransActTools::CreateTransactionList("TA_LIST");
    TransActTools::CreateKennungList();
    TransActTools::CreateTransactionIDTable();
    Execute("insert into TA_ID (TID,NAME,OWNER) values (4711,'Ruhraue bei Hattingen','Kern')");
    Execute("insert into TA_ID (TID,NAME,OWNER) values (4712,'Eifelwiesen','Busch')");
    Execute("insert into TA_ID (TID,NAME,OWNER) values (4713,'Moore im Venn','Kern')");
    // Read-only and checked-out rows; some under the identifiers the host
    // proposes for a new object of their class ("NSG-1", "FFH-1", "ND-1").
    const std::vector<std::tuple<int, std::string, int>> rows = {
        {4711, "DE-4509-301", 1}, {4711, "NSG-0815", 0}, {4711, "NSG-1", 0},   {4711, "FFH-1", 1},
        {4712, "ND-0042", 1},     {4712, "ND-1", 0},     {4713, "OEK-0007", 1}};
    int vgnr = 90001;
    for (const auto& [tid, kennung, status] : rows) {
      Execute(
          "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (" +
          std::to_string(tid) + "," + std::to_string(ids[kennung]) + "," + std::to_string(vgnr++) +
          "," + std::to_string(status) + ",'" + kennung + "','" + kennung + "','IGNORED')");
    }
    // Free identifiers: some of each class, one in two pools, some the host
    // would propose, and "BRB" identifiers of two map sheets.
    const std::vector<std::pair<int, std::string>> pool = {
        {4711, "DE-4509-310"}, {4711, "DE-4509-311"},    {4711, "DE-4509-312"},
        {4711, "NSG-0816"},    {4711, "NSG-0817"},       {4711, "ND-0050"},
        {4711, "ND-0051"},     {4711, "OEK-0001"},       {4711, "BIO-0001"},
        {4711, "FFH-2"},       {4711, "BB-3245NO-0001"}, {4711, "BB-3245NW-0002"},
        {4712, "DE-5505-001"}, {4712, "DE-5505-002"},    {4712, "ND-0051"},
        {4712, "NSG-2"},       {4712, "ND-2"},           {4712, "OEK-0002"},
        {4713, "OEK-0008"},    {4713, "BIO-0100"},       {4713, "BB-3245NO-0003"}};
    for (const auto& [tid, kennung] : pool)
      Execute("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(tid) + ",'" + kennung +
              "')");
    WritePackage(ids);
    SetMode(Mode::kGeneral);
    Tables start = ReadTables(project_dir_);
    std::vector<std::string> problems = CheckState(start, known_);
    for (const std::string& p : problems) violations_.push_back("at the start: " + p);
    presenter_->TakeBoxes();
    presenter_->TakeLines();
    host_.ClearHookLog();
  }

  static void Execute(const std::string& sql) {
    TransActTools::OpenTransactionConnection().Execute(sql);
  }

  // The checkout package of 4711 as the central system would send it
  // again: its objects as the host exports them, its rows (ND-0042, which
  // 4712 holds for writing, read-only), some of its free identifiers and a
  // new one.
  void WritePackage(const std::map<std::string, int32_t>& ids) {
    package_dir_ = root_ + "/paket/";
    fs::create_directories(package_dir_);
    package_rows_ = {{"DE-4509-301", 4711, 1}, {"NSG-0815", 4711, 0}, {"NSG-1", 4711, 0},
                     {"FFH-1", 4711, 1},       {"ND-0042", 4711, 0}};
    package_free_ = {"DE-4509-310", "DE-4509-313", "NSG-0818"};
    host_.DeselectAll();
    for (const auto& [k, tid, status] : package_rows_) host_.Select(ids.at(k));
    host_.ExportGeodata(package_dir_ + "ckout", false);
    host_.ExportXml(package_dir_ + "ckout.xml", false, true, "T", "F");
    host_.DeselectAll();
    auto package =
        platform::db::Connection::Open("Data Source=" + package_dir_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "create table ckoutt (KENNUNG char(50), TID integer, KARTULID integer, VGNR integer, "
        "SCHREIBEND integer)");
    int vgnr = 91001;
    for (const auto& [k, tid, status] : package_rows_) {
      package->Execute("insert into ckoutt values ('" + k + "', " + std::to_string(tid) + ", " +
                       std::to_string(ids.at(k)) + ", " + std::to_string(vgnr++) + ", " +
                       std::to_string(status) + ")");
    }
    package->Execute("create table ckoutkl (TID integer, Kennung char(50))");
    for (const std::string& k : package_free_) {
      package->Execute("insert into ckoutkl values (4711, '" + k + "')");
    }
    std::ofstream(package_dir_ + "ckout.tid")
        << "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue bei Hattingen\r\n"
        << "Owner=Kern\r\n";
  }

  // The mapper imports the checkout package again.
  void Import(StepFacts& facts, const Tables& before, std::ostringstream& what) {
    facts.event = Event::kImport;
    for (const auto& [k, tid, status] : package_rows_) facts.import.rows.emplace_back(k, tid);
    facts.import.free = package_free_;
    what << "import";
    // The rows the package's identifiers meet, for the record of the step.
    std::set<std::string> package;
    for (const auto& [k, tid, status] : package_rows_) package.insert(k);
    for (const ListRow& r : before.rows) {
      if (package.count(r.kennung) || package.count(r.kennungo)) {
        what << "\n      row " << r.Text() << " (host: #" << host_.IdOf(r.kennung) << " "
             << r.kennung << ", #" << host_.IdOf(r.kennungo) << " " << r.kennungo << ")";
      }
    }
    what << "\n     ";
    presenter_->AddActions("file \"" + package_dir_ + "ckout.tid\"\n");
    // Rows another transaction keeps by rank whose object carries another
    // identifier keep it when the checked-out one cannot be given back; an
    // identifier the project tangled up keeps its rows too.
    std::set<std::string> in_list;
    for (const auto& [k, tid, status] : package_rows_) in_list.insert(k);
    for (const auto& [k, tid, status] : package_rows_) {
      int entered = 0;
      for (const ListRow& r : before.rows) {
        if (r.kennungo == k) {
          ++entered;
          if (r.kennung != k && in_list.count(r.kennung)) facts.import.kept_unchanged.insert(k);
        }
        if (r.kennung == k && r.kennungo != k &&
            (in_list.count(r.kennungo) || r.status == 0 || r.status == 1)) {
          facts.import.kept_unchanged.insert(k);
        }
      }
      if (entered > 1) facts.import.kept_unchanged.insert(k);
      for (const ListRow& r : before.rows) {
        if (r.kennungo != k) continue;
        if (r.tid != tid && !Outranks(status, r.status) && r.kennung != k &&
            (host_.IdOf(k) != 0 || host_.IdOf(r.kennung) == 0)) {
          facts.import.kept_unchanged.insert(k);
        }
        break;
      }
    }
    facts.import.imported = host_.RunMenuCommand("VD1CustomImport");
    if (const auto question = presenter_->TakeImportQuestion()) {
      facts.import.local.insert(question->listed.begin(), question->listed.end());
      facts.import.answer = question->button == "BtnBehalten"
                                ? ImportFacts::Answer::kKeep
                                : question->button == "BtnUebernehmen" ? ImportFacts::Answer::kTake
                                                                       : ImportFacts::Answer::kCancel;
      what << " [" << question->button << ", local work:";
      for (const std::string& k : question->listed) what << " " << k;
      what << "]";
    }
    what << (facts.import.imported ? " -> imported" : " -> not imported");
    if (!facts.import.imported) return;
    const Tables after = ReadTables(project_dir_);
    std::set<std::string> concerned = package;
    for (const ListRow& r : before.rows) {
      if (package.count(r.kennungo)) concerned.insert(r.kennung);
    }
    for (const ListRow& r : after.rows) {
      if (concerned.count(r.kennung) || concerned.count(r.kennungo)) what << "\n      now " << r.Text();
    }
    for (const PoolEntry& e : after.pool) {
      if (concerned.count(e.kennung)) what << "\n      pool " << e.tid << " " << e.kennung;
    }
    // Every object of the package is in the host, but those kept: for their
    // local work, or because another transaction's row outranks the package.
    for (const auto& [k, tid, status] : package_rows_) {
      const bool kept_local = facts.import.answer == ImportFacts::Answer::kKeep &&
                              facts.import.local.count(k);
      const ListRow* row = nullptr;
      for (const ListRow& r : before.rows) {
        if (r.kennungo == k) {
          row = &r;
          break;
        }
      }
      const bool kept_by_rank = row && row->tid != tid && !Outranks(status, row->status);
      if (!kept_local && !kept_by_rank && !facts.import.kept_unchanged.count(k) &&
          host_.IdOf(k) == 0) {
        step_violations_.push_back("import: the package's " + k + " is not in the host");
      }
    }
  }

  // Whether an imported status replaces the existing one.
  static bool Outranks(int imported, int existing) {
    switch (existing) {
      case 1:
        return false;
      case 0:
        return imported == 1;
      case 2:
        return imported == 0 || imported == 1;
      default:
        return imported != 3;
    }
  }

  int32_t Create(const std::string& klasse, const std::string& kennung) {
    const hostsim::ObjectClass* c = host_.FindClass(klasse);
    return host_.CreateObject(c->id, c->typ, Geometry(c->typ), kennung);
  }

  std::vector<hostsim::Point> Geometry(TDrawTyp typ) {
    const double x = 2575000 + 10.0 * static_cast<double>(rng_.Below(1000));
    const double y = 5695000 + 10.0 * static_cast<double>(rng_.Below(1000));
    if (typ == ktSinglePoint) return {{x, y}};
    if (typ == ktLinie) return {{x, y}, {x + 50, y + 20}};
    return {{x, y}, {x + 60, y}, {x + 60, y + 40}, {x, y + 40}};
  }

  void SetMode(Mode mode) {
    mode_ = mode;
    platform::ini::IniFile ini(host_.ProcedureDir() + "applicat.ini");
    ini.WriteString("Config", "Bundesland", mode == Mode::kBrb ? "BRB" : "NRW");
    ini.WriteString("VANDRA II", "VD2Transaktion", mode == Mode::kSecondGeneration ? "1" : "0");
  }

  // ---- One step --------------------------------------------------------------
  void Step(int n) {
    counts_.steps = n;
    if (rng_.Chance(0.12)) SetMode(static_cast<Mode>(rng_.Below(3)));
    Tables before = ReadTables(project_dir_);
    step_violations_.clear();
    std::ostringstream what;
    what << "step " << n << " [" << ModeName(mode_) << "] ";

    const int fired_before = faults_.Failures();
    if (rng_.Chance(fault_share_)) {
      const int code = rng_.Chance(0.5) ? ENOSPC : EIO;
      const char* file = rng_.Chance(0.5) ? "TA_LIST.dbf" : "TA_KL.dbf";
      const int after = static_cast<int>(rng_.Below(4));
      faults_.Inject(Fault(Op::kWrite, code).On(file).After(after).Times(1));
      ++counts_.faults_injected;
      what << "{" << (code == ENOSPC ? "ENOSPC" : "EIO") << " at write " << after + 1 << " of "
           << file << "} ";
    }
    StepFacts facts;
    presenter_->TakeTarget();
    try {
      Act(facts, before, what);
    } catch (const std::exception& e) {
      // The model only gives commands the host takes.
      step_violations_.push_back("the host refused the mapper's command: " + std::string(e.what()));
    }
    faults_.Clear();
    const int fired = faults_.Failures() - fired_before;
    counts_.faults_fired += fired > 0 ? 1 : 0;
    if (fired > 0) what << " {the write failed}";
    ++counts_.events[EventName(facts.event)];

    const std::vector<MapperPresenter::Box> boxes = presenter_->TakeBoxes();
    int plain = 0;
    for (const auto& box : boxes) {
      // A deletion is recorded also when the pool cannot take the
      // identifier back; the mapper is warned instead of shown a table error.
      if (facts.event == Event::kDelete && box.kind == platform::ui::MsgKind::kWarning &&
          box.text.rfind("Das Löschen von ", 0) == 0 &&
          box.text.find("Kennungsliste") != std::string::npos) {
        facts.pool_refused = true;
      }
      if (box.kind == platform::ui::MsgKind::kPlain) {
        ++plain;
        what << "\n      table error: " << box.text;
      } else {
        what << "\n      " << platform::ui::MsgKindName(box.kind) << ": " << box.text;
      }
    }
    for (const std::string& line : presenter_->TakeLines()) what << "\n      > " << line;
    facts.table_error = plain > 0;
    facts.target = presenter_->TakeTarget();
    for (const auto& box : boxes) facts.warnings += box.kind == platform::ui::MsgKind::kWarning;
    if (facts.table_error) ++counts_.table_errors;

    Tables after = ReadTables(project_dir_);
    Forget(facts, known_);
    std::vector<std::string> found = CheckState(after, known_);
    for (std::string& v : CheckStep(facts, before, after)) found.push_back(std::move(v));
    if (plain > 1) found.push_back("the table error was shown " + std::to_string(plain) + " times");
    // An import tells a failed step in an error box of its own.
    int errors = 0;
    for (const auto& box : boxes) errors += box.kind == platform::ui::MsgKind::kError;
    const bool told = plain > 0 || (facts.event == Event::kImport && errors > 0);
    if (fired > 0 && !told && !facts.pool_refused)
      found.push_back("a write failed and the mapper was not told");
    if (fired == 0 && facts.pool_refused) found.push_back("a pool refusal nobody injected");
    if (fired == 0 && plain > 0) found.push_back("a table error nobody injected");
    if (auto failure = host_.TakeHookFailure()) found.push_back(*failure);
    if (presenter_->Failures().size() > presenter_failures_) {
      for (size_t i = presenter_failures_; i < presenter_->Failures().size(); ++i)
        found.push_back("a dialog the mapper could not answer: " + presenter_->Failures()[i]);
      presenter_failures_ = presenter_->Failures().size();
    }
    for (std::string& v : step_violations_) found.push_back(std::move(v));
    Outcome(facts, before, after);

    what << "\n";
    history_.push_back(what.str());
    if (history_.size() > kHistory) history_.pop_front();
    for (std::string& v : found) violations_.push_back(std::move(v));
  }

  void Act(StepFacts& facts, const Tables& before, std::ostringstream& what) {
    if (rng_.Chance(0.02)) return Import(facts, before, what);
    std::vector<int32_t> ids = host_.ObjectIds();
    size_t pick = rng_.Below(100);
    // Keep the map between a handful and a few dozen objects.
    if (ids.size() < 6) pick = 0;
    if (ids.size() > 40 && pick < 30) pick = 30;
    const int32_t id = ids.empty() ? 0 : ids[rng_.Below(ids.size())];
    const std::string k = id ? host_.FindObject(id)->kennung : "";
    if (pick < 28) {
      const char* classes[] = {"FFH", "NSG", "ND", "OEK", "BIO", "VSG", "ND_GLB", "OEK_TF"};
      const hostsim::ObjectClass* c = host_.FindClass(classes[rng_.Below(std::size(classes))]);
      const std::string given = rng_.Chance(0.25) ? Interesting(before) : "";
      what << "create " << c->short_name << (given.empty() ? "" : " as " + given);
      facts.event = Event::kCreate;
      host_.SetCurrentClass(c->id);
      const int32_t made = host_.CreateObject(c->id, c->typ, Geometry(c->typ), given);
      facts.objects.push_back({made, "", made ? host_.FindObject(made)->kennung : ""});
      what << (made ? " -> " + facts.objects.back().after : " -> refused");
    } else if (pick < 40) {
      what << "delete " << k;
      facts.event = Event::kDelete;
      host_.DeleteObject(id);
      facts.objects.push_back({id, k, host_.FindObject(id) ? "still there" : ""});
    } else if (pick < 50) {
      what << "edit " << k;
      facts.event = Event::kEdit;
      host_.Activate(id);
      host_.EnterValue("linfos", "NAME", "Fläche " + std::to_string(rng_.Below(1000)));
      host_.PostRow("linfos");
      facts.objects.push_back({id, k, host_.FindObject(id)->kennung});
    } else if (pick < 54) {
      const char* classes[] = {"BIO", "NSG", "FFH"};
      const hostsim::ObjectClass* c = host_.FindClass(classes[rng_.Below(std::size(classes))]);
      what << "reclass " << k << " " << c->short_name;
      facts.event = Event::kEdit;
      host_.Activate(id);
      host_.ChangeClass(id, c->id);
      facts.objects.push_back({id, k, host_.FindObject(id)->kennung});
    } else if (pick < 64) {
      what << "move " << k;
      facts.event = Event::kMove;
      const hostsim::Point to{2574000 + 10.0 * static_cast<double>(rng_.Below(500)), 5694000};
      facts.moved = host_.MoveVertex(id, 0, to);
      what << (facts.moved ? " -> moved" : " -> vetoed");
      facts.objects.push_back({id, k, host_.FindObject(id)->kennung});
    } else if (pick < 72) {
      facts.event = Event::kRename;
      facts.requested = Interesting(before);
      what << "rename " << k << " " << facts.requested;
      host_.RenameObject(id, facts.requested);
      facts.objects.push_back({id, k, host_.FindObject(id)->kennung});
      what << " -> " << facts.objects.back().after;
    } else if (pick < 86) {
      what << "switch " << k;
      facts.event = Event::kSwitch;
      host_.Activate(id);
      host_.RunMenuCommand("SwitchKennung");
      facts.objects.push_back({id, k, host_.FindObject(id)->kennung});
      what << " -> " << facts.objects.back().after;
    } else {
      facts.event = Event::kAssign;
      host_.DeselectAll();
      const size_t count = 1 + rng_.Below(std::min<size_t>(3, ids.size()));
      std::set<int32_t> chosen;
      while (chosen.size() < count) chosen.insert(ids[rng_.Below(ids.size())]);
      what << "assign";
      for (int32_t c : chosen) {
        host_.Select(c);
        what << " " << host_.FindObject(c)->kennung;
        facts.objects.push_back({c, host_.FindObject(c)->kennung, ""});
      }
      host_.RunMenuCommand("AssignToTransaction");
      what << " ->";
      for (Touched& o : facts.objects) {
        o.after = host_.FindObject(o.id)->kennung;
        what << " " << o.after;
      }
    }
  }

  // An identifier no host object carries that the lists know of, or that
  // the host would propose, or a new one.
  std::string Interesting(const Tables& now) {
    std::vector<std::string> candidates;
    for (const PoolEntry& e : now.pool) candidates.push_back(e.kennung);
    for (const ListRow& r : now.rows) {
      candidates.push_back(r.kennung);
      candidates.push_back(r.kennungo);
    }
    for (const char* proposed : {"NSG-1", "NSG-2", "FFH-1", "FFH-2", "ND-1", "ND-2", "BIO-1"})
      candidates.push_back(proposed);
    for (size_t tries = 0; tries < 8; ++tries) {
      const std::string& k = candidates[rng_.Below(candidates.size())];
      if (!k.empty() && host_.IdOf(k) == 0) return k;
    }
    return "M-" + std::to_string(++fresh_);
  }

  void CheckChooser(const std::string& form, const std::string& for_kennung,
                    const std::vector<std::string>& offered) {
    ++counts_.offers;
    const Tables now = ReadTables(project_dir_);
    auto carried = [this](const std::string& k) { return host_.IdOf(k); };
    std::vector<std::string> found = form == "TFormGetKennungBB"
                                         ? CheckProposal(offered.front(), now, carried)
                                         : CheckOffer(form, for_kennung, offered, now, carried);
    for (std::string& v : found) step_violations_.push_back(std::move(v));
  }

  // Tallies what kind of change the step made, so a run shows it reached
  // the transitions it is meant to test.
  void Outcome(const StepFacts& facts, const Tables& before, const Tables& after) {
    std::string name = EventName(facts.event);
    if (facts.table_error) {
      ++counts_.outcomes[name + ":failed"];
      return;
    }
    for (const Touched& o : facts.objects) {
      const ListRow* b = before.Row(o.before.empty() ? o.after : o.before);
      const ListRow* a = after.Row(o.after.empty() ? o.before : o.after);
      std::string from = b ? std::to_string(b->status) + b->changed.substr(0, 1) : "-";
      std::string to = a ? std::to_string(a->status) + a->changed.substr(0, 1) : "-";
      if (o.after != o.before && !o.before.empty() && !o.after.empty()) to += "*";
      ++counts_.outcomes[name + ":" + from + ">" + to];
    }
  }

  uint64_t seed_;
  Rng rng_;
  FaultEnv& faults_;
  double fault_share_;
  hostsim::Host& host_ = hostsim::TheHost();
  MapperPresenter* presenter_ = nullptr;  // owned by the platform's presenter slot
  size_t presenter_failures_ = 0;
  std::string root_;
  std::string project_dir_;
  Mode mode_ = Mode::kGeneral;
  std::set<std::string> known_;
  std::vector<std::string> violations_;
  std::vector<std::string> step_violations_;
  std::deque<std::string> history_;
  Counts counts_;
  int fresh_ = 0;
  std::string package_dir_;
  std::vector<std::tuple<std::string, int, int>> package_rows_;  // identifier, TID, status
  std::vector<std::string> package_free_;
};

class ListsModelTest : public ::testing::Test {
 protected:
  // The plug-in starts as its entry starts it when the host loads the full
  // build, with every file call of its platform layer going through the
  // FaultEnv from the start: connections keep the Env they opened with.
  static void SetUpTestSuite() {
    unsetenv("KARTUL_ANSWERS");
    unsetenv("KARTUL_TRANSCRIPT");
    faults_ = new FaultEnv(platform::env::Env::Posix());
    // For the rest of the program: the plug-in's connections outlive the
    // suite. A static object rather than a pointer nobody reads, which an
    // optimiser may drop and the leak checker then report.
    static platform::env::ScopedEnv scoped(*faults_);
    PluginLoaded(ProfileOf(Build::kVD1TransAction2010));
    hostsim::TheHost().LoadLinkedPlugin("VD1TransAction2010");
  }

  // Sessions of kSessionSteps under the seeds seed, seed + 1, ...; a
  // violation's report names its session's seed for the replay.
  static void Run(uint64_t seed, int steps, double fault_share) {
    int done = 0, sessions = 0, injected = 0, fired = 0, errors = 0;
    while (done < steps) {
      const int n = std::min(kSessionSteps, steps - done);
      ListsModel model(seed + static_cast<uint64_t>(sessions++), *faults_, fault_share);
      model.Run(n);
      std::cout << model.Summary();
      ASSERT_TRUE(model.Violations().empty()) << model.Report();
      ASSERT_EQ(model.Figures().steps, n);
      done += n;
      injected += model.Figures().faults_injected;
      fired += model.Figures().faults_fired;
      errors += model.Figures().table_errors;
    }
    if (sessions > 1)
      std::cout << "lists model: " << sessions << " sessions from seed " << seed << ", " << done
                << " steps, " << injected << " write failures injected (" << fired << " struck), "
                << errors << " table errors shown, 0 violations\n";
    // The failures must reach the plug-in's own tables, or the test would
    // pass without trying a single one.
    EXPECT_GT(fired, 0);
  }

  static FaultEnv* faults_;
};

FaultEnv* ListsModelTest::faults_ = nullptr;

TEST_F(ListsModelTest, ARandomMapperKeepsTheTransactionListsTrue) {
  Run(SeedFromEnvironment(kSeed), StepsFromEnvironment(kSteps), 0.15);
}

TEST_F(ListsModelTest, EveryFailedWriteIsToldOnceAndTakenBack) {
  Run(SeedFromEnvironment(kSeed + 5000), StepsFromEnvironment(kSteps / 2), 0.6);
}

}  // namespace
}  // namespace model
