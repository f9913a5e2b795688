// kartul-sim, the host stand-in's program: opens or creates a project, loads
// one plug-in build and lets a scenario file (batch) or a user at the prompt
// (interactive) act as a mapper. See the README for the scenario language.
#include <readline/history.h>
#include <readline/readline.h>
#include <sys/select.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/HostModel.h"
#include "hostsim/Simulator.h"

namespace fs = std::filesystem;
using hostsim::HostError;

namespace {

constexpr const char* kUsage =
    "usage: kartul-sim [options] [SCENARIO | -]\n"
    "  --build NAME|PATH    load a plug-in build (VD1TransAction2010, VD1TransAction,\n"
    "                       TransactHooks: the .so beside kartul-sim) or a library path\n"
    "  --hooks BUILD        take the hook table of that build (default: the loaded build's)\n"
    "  --project DIR        open the project in DIR\n"
    "  --new-project DIR    create a project in DIR (procedure folder DIR/Verfahren) and open it\n"
    "  --trace              print every hook call with its answer\n"
    "  --quiet              do not echo scenario lines\n"
    "  --step MS            virtual time per scenario line (default 100)\n"
    "  --answers FILE       answer file for the plug-in's dialogs (batch default: a new one)\n"
    "  --transcript FILE    transcript file of the dialogs (batch default: a new one)\n"
    "  --registry FILE      the settings file the plug-in reads and writes (batch default:\n"
    "                       a new one, unless KARTUL_REGISTRY names one; interactive: the user's)\n"
    "  --keep               keep the temporary folder of a batch run\n"
    "  --interactive        prompt for commands even when standard input is no terminal\n"
    "Without SCENARIO, commands are read from the terminal (interactive) or from\n"
    "standard input (batch). Exit status: 0 all went well, 1 a command or an\n"
    "expectation failed, 2 kartul-sim could not start.\n";

std::string ProgramDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

// ---- interactive prompt ------------------------------------------------------

bool g_line_ready = false;
char* g_line = nullptr;
bool g_eof = false;

// Takes the line and gives the terminal back at once, before readline would
// show the next prompt.
void LineHandler(char* line) {
  rl_callback_handler_remove();
  g_line_ready = true;
  g_eof = line == nullptr;
  g_line = line;
}

// What readline may complete the current word with; set before each
// completion, read by the generator.
std::vector<std::string> g_completions;

char* CompletionGenerator(const char* text, int state) {
  static size_t index;
  if (state == 0) index = 0;
  size_t len = std::strlen(text);
  while (index < g_completions.size()) {
    const std::string& n = g_completions[index++];
    if (n.compare(0, len, text) == 0) return strdup(n.c_str());
  }
  return nullptr;
}

// Commands and the kinds of expect and show come from the simulator's
// table; other words are left to readline's file name completion. Readline
// is C: nothing may be thrown through it, so a completion that cannot be
// made is none.
char** Complete(const char* text, int start, int /*end*/) {
  try {
    g_completions = hostsim::Simulator::Completions(std::string_view(rl_line_buffer, start));
  } catch (...) {
    g_completions.clear();
  }
  if (g_completions.empty()) return nullptr;
  rl_attempted_completion_over = 1;
  return rl_completion_matches(text, CompletionGenerator);
}

// The prompt line while timers run: it stays on the terminal as it is
// unless something is to be shown. Then it is taken off the line once, with
// what the user has typed so far, and put back when the timers are done.
class PromptLine {
 public:
  explicit PromptLine(const char* prompt) : prompt_(prompt) {}
  void Take() {
    if (taken_) return;
    taken_ = true;
    typed_ = rl_line_buffer ? rl_line_buffer : "";
    point_ = rl_point;
    rl_clear_visible_line();
    rl_callback_handler_remove();
  }
  void PutBack() {
    if (!taken_) return;
    taken_ = false;
    rl_callback_handler_install(prompt_, LineHandler);
    rl_insert_text(typed_.c_str());
    rl_point = point_;
    rl_redisplay();
  }

 private:
  const char* prompt_;
  bool taken_ = false;
  std::string typed_;
  int point_ = 0;
};

// A stream buffer that takes the prompt line before anything written to it
// reaches the terminal: the simulator's notes and trace from within timers.
class ClaimingBuffer : public std::streambuf {
 public:
  ClaimingBuffer(std::streambuf* target, std::function<void()> claim)
      : target_(target), claim_(std::move(claim)) {}

 protected:
  int overflow(int c) override {
    claim_();
    return c == traits_type::eof() ? traits_type::not_eof(c) : target_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    claim_();
    return target_->sputn(s, n);
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  std::function<void()> claim_;
};

// Runs the due timers behind the prompt: nothing is redrawn unless a timer
// (a dialog coming back, a note of the simulator) shows something.
bool RunTimersBehindPrompt(hostsim::Host& host, hostsim::Simulator& sim, PromptLine& line) {
  const std::function<void()> take = [&line] { line.Take(); };
  ClaimingBuffer out(std::cout.rdbuf(), take), err(std::cerr.rdbuf(), take);
  std::streambuf* const cout_buffer = std::cout.rdbuf(&out);
  std::streambuf* const cerr_buffer = std::cerr.rdbuf(&err);
  host.SetTerminalClaim(take);
  struct Restore {
    hostsim::Host& host;
    std::streambuf* cout_buffer;
    std::streambuf* cerr_buffer;
    ~Restore() {
      host.SetTerminalClaim(nullptr);
      std::cout.rdbuf(cout_buffer);
      std::cerr.rdbuf(cerr_buffer);
    }
  } restore{host, cout_buffer, cerr_buffer};
  host.RunDueTimers();
  sim.PollTranscript();
  const bool failed = sim.ReportHookFailure("timer");
  std::cout.flush();
  return failed;
}

// Reads commands with line editing. Readline owns the terminal only while
// the prompt waits; commands (and the plug-in's terminal dialogs) run with
// the terminal as it was. Timers run while the prompt waits.
int Interactive(hostsim::Host& host, hostsim::Simulator& sim) {
  const char* prompt = "kartul> ";
  rl_attempted_completion_function = Complete;
  std::cout << "kartul-sim: type help for the commands, quit or Ctrl-D to leave\n";
  rl_callback_handler_install(prompt, LineHandler);
  PromptLine prompt_line(prompt);
  int number = 0;
  bool failed = false;
  while (true) {
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(STDIN_FILENO, &fds);
    timeval tv{};
    timeval* timeout = nullptr;
    if (auto due = host.NextTimerDue()) {
      const long ms = std::max<long>(static_cast<long>(due->count()), 0);
      tv.tv_sec = ms / 1000;
      tv.tv_usec = (ms % 1000) * 1000;
      timeout = &tv;
    }
    int ready = select(STDIN_FILENO + 1, &fds, nullptr, nullptr, timeout);
    if (ready > 0 && FD_ISSET(STDIN_FILENO, &fds)) rl_callback_read_char();
    if (!g_line_ready && host.NextTimerDue() && host.NextTimerDue()->count() == 0) {
      if (RunTimersBehindPrompt(host, sim, prompt_line)) failed = true;
      prompt_line.PutBack();
    }
    if (!g_line_ready) continue;
    g_line_ready = false;
    if (g_eof) {
      std::cout << "\n";
      break;
    }
    std::string line = g_line;
    std::free(g_line);
    g_line = nullptr;
    ++number;
    if (line == "quit" || line == "exit") break;
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    if (!sim.RunLine(line, "line " + std::to_string(number))) failed = true;
    host.RunDueTimers();
    sim.PollTranscript();
    if (sim.ReportHookFailure("line " + std::to_string(number) + " (timer)")) failed = true;
    rl_callback_handler_install(prompt, LineHandler);
  }
  try {
    host.CloseProject();
  } catch (const std::exception& e) {
    std::cout << "error at close: " << e.what() << "\n";
    return 1;
  }
  if (sim.ReportHookFailure("close")) failed = true;
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string build, hooks, project, new_project, scenario, answers, transcript, registry;
  bool trace = false, keep = false, interactive = false, quiet = false;
  long step = 100;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) {
        std::cerr << "kartul-sim: " << a << " needs a value\n" << kUsage;
        std::exit(2);
      }
      return args[++i];
    };
    if (a == "--build")
      build = value();
    else if (a == "--hooks")
      hooks = value();
    else if (a == "--project")
      project = value();
    else if (a == "--new-project")
      new_project = value();
    else if (a == "--answers")
      answers = value();
    else if (a == "--transcript")
      transcript = value();
    else if (a == "--registry")
      registry = value();
    else if (a == "--step") {
      try {
        step = std::stol(value());
      } catch (...) {
        step = -1;
      }
      if (step < 0) {
        std::cerr << "kartul-sim: --step takes milliseconds\n";
        return 2;
      }
    } else if (a == "--trace")
      trace = true;
    else if (a == "--keep")
      keep = true;
    else if (a == "--quiet")
      quiet = true;
    else if (a == "--interactive")
      interactive = true;
    else if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::cerr << "kartul-sim: unknown option " << a << "\n" << kUsage;
      return 2;
    } else if (scenario.empty())
      scenario = a;
    else {
      std::cerr << "kartul-sim: only one scenario at a time\n";
      return 2;
    }
  }
  bool batch = !interactive && (!scenario.empty() || !isatty(STDIN_FILENO));
  std::ifstream scenario_file;
  if (!scenario.empty() && scenario != "-") {
    scenario_file.open(scenario);
    if (!scenario_file) {
      std::cerr << "kartul-sim: cannot read scenario " << scenario << "\n";
      return 2;
    }
  }

  // The dialog files must be named before the plug-in is loaded: its
  // presenter is chosen then.
  std::string temp_dir;
  {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kartul-sim-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
      std::cerr << "kartul-sim: cannot create a temporary folder: " << std::strerror(errno) << "\n";
      return 2;
    }
    temp_dir = buf.data();
  }
  if (batch) {
    if (answers.empty()) answers = temp_dir + "/answers.txt";
    if (transcript.empty()) transcript = temp_dir + "/transcript.txt";
    // A scenario starts from no settings and leaves the user's as they
    // were; what one run stores (an export folder, a chosen strip) must not
    // steer the next.
    const char* env_registry = std::getenv("KARTUL_REGISTRY");
    if (registry.empty() && (env_registry == nullptr || *env_registry == '\0'))
      registry = temp_dir + "/registry.reg";
  }
  if (!registry.empty()) setenv("KARTUL_REGISTRY", registry.c_str(), 1);
  for (const std::string& f : {answers, transcript})
    if (!f.empty()) std::ofstream(f, std::ios::app);
  if (!answers.empty()) setenv("KARTUL_ANSWERS", answers.c_str(), 1);
  if (!transcript.empty()) setenv("KARTUL_TRANSCRIPT", transcript.c_str(), 1);

  hostsim::Host& host = hostsim::TheHost();
  hostsim::SimOptions options;
  options.trace = trace;
  options.echo = !quiet && batch;
  options.program_dir = ProgramDir();
  options.temp_dir = temp_dir;
  options.answers_path = answers;
  options.transcript_path = transcript;
  options.step = std::chrono::milliseconds(step);
  host.UseVirtualClock(batch);
  int status = 0;
  {
    hostsim::Simulator sim(host, std::cout, options);
    try {
      if (!hooks.empty()) {
        auto table = hostsim::HookTable::ForBuild(hooks);
        if (!table) throw HostError("no hook table for " + hooks);
        host.SetHookTable(*table);
      }
      if (!build.empty()) {
        host.LoadPlugin(build, options.program_dir);
        std::cout << "loaded " << host.PluginFile() << "\n";
      }
      if (!new_project.empty()) {
        hostsim::Host::CreateProject(new_project);
        host.OpenProject(new_project);
      } else if (!project.empty()) {
        host.OpenProject(project);
      }
    } catch (const std::exception& e) {
      std::cerr << "kartul-sim: " << e.what() << "\n";
      status = 2;
    }
    if (status == 0) {
      if (batch) {
        std::string name =
            scenario.empty() || scenario == "-" ? "stdin" : fs::path(scenario).filename().string();
        // Files that belong to a scenario (expected results) lie beside it.
        sim.Variables()["HERE"] = scenario.empty() || scenario == "-"
                                      ? fs::current_path().string()
                                      : fs::absolute(scenario).parent_path().string();
        bool ok = sim.RunBatch(
            scenario_file.is_open() ? static_cast<std::istream&>(scenario_file) : std::cin, name);
        try {
          host.CloseProject();
        } catch (const std::exception& e) {
          std::cout << name << ": error at close: " << e.what() << "\n";
          ok = false;
        }
        if (sim.ReportHookFailure(name + ": close")) ok = false;
        if (sim.PollTranscript()) ok = false;
        status = ok ? 0 : 1;
        std::cout << (ok ? "scenario passed\n" : "scenario FAILED\n");
      } else {
        status = Interactive(host, sim);
      }
    }
  }
  std::cout.flush();
  if (keep) {
    std::cerr << "kartul-sim: temporary folder kept: " << temp_dir << "\n";
  } else {
    std::error_code ec;
    fs::remove_all(temp_dir, ec);
  }
  return status;
}
