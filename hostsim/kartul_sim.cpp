// kartul-sim, the host stand-in's program: opens or creates a project, loads
// one plug-in build and lets a scenario file (batch) or a user at the prompt
// (interactive) act as a mapper. See docs/host-standin.md for the scenario
// language.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/HostModel.h"
#include "hostsim/KartulSim.h"
#include "hostsim/Prompt.h"
#include "hostsim/Simulator.h"
#include "hostsim/System.h"

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
    "KARTUL_SIM_TOOLS names the folder of the scenarios' programs (${BIN}) when they\n"
    "are not beside kartul-sim.\n"
    "Without SCENARIO, commands are read from the terminal (interactive) or from\n"
    "standard input (batch). Exit status: 0 all went well, 1 a command or an\n"
    "expectation failed, 2 kartul-sim could not start.\n";

std::string ProgramDir() {
  const std::string exe = hostsim::sys::ProgramPath();
  return exe.empty() ? std::string(".") : fs::path(exe).parent_path().generic_string();
}

// The run's temporary folder, removed entry by entry, deepest first, never
// through a link. What cannot go is named and left: under wine, the
// library's remove_all did not come back from a folder one of whose files
// could not be removed.
void RemoveTemporaryFolder(const fs::path& dir) {
  std::error_code ec;
  std::vector<fs::path> files, folders;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    const bool folder = it->is_directory(kind) && !it->is_symlink(kind);
    (folder ? folders : files).push_back(it->path());
  }
  folders.insert(folders.begin(), dir);
  auto remove = [](const fs::path& path) {
    std::error_code failed;
    if (!fs::remove(path, failed) && failed) {
      std::cerr << "kartul-sim: cannot remove " << path.generic_string() << ": "
                << failed.message() << "\n";
      // A file removed while still open elsewhere stays until it is closed
      // (so on Windows), and keeps its folder.
      std::error_code listing;
      for (fs::directory_iterator it(path, listing), end; !listing && it != end;
           it.increment(listing)) {
        std::cerr << "kartul-sim:   still there: " << it->path().filename().generic_string()
                  << "\n";
      }
    }
  };
  for (const fs::path& file : files) remove(file);
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) remove(*it);
}

}  // namespace

int kartulsim_main(int argc, char** argv) {
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
  bool batch = !interactive && (!scenario.empty() || !hostsim::sys::InputIsTerminal());
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
    std::string error;
    temp_dir = hostsim::sys::MakeTempFolder(error);
    if (temp_dir.empty()) {
      std::cerr << "kartul-sim: cannot create a temporary folder: " << error << "\n";
      return 2;
    }
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
  if (!registry.empty()) hostsim::sys::SetEnvironment("KARTUL_REGISTRY", registry);
  for (const std::string& f : {answers, transcript})
    if (!f.empty()) std::ofstream(f, std::ios::app);
  if (!answers.empty()) hostsim::sys::SetEnvironment("KARTUL_ANSWERS", answers);
  if (!transcript.empty()) hostsim::sys::SetEnvironment("KARTUL_TRANSCRIPT", transcript);

  // The settings the plug-in finds, where it does not take them from the
  // file named above (Windows' registry).
  std::optional<hostsim::sys::PrivateSettings> settings;
  if (batch) {
    settings.emplace(fs::path(temp_dir).filename().string());
    if (!settings->Error().empty()) {
      std::cerr << "kartul-sim: no settings of the run's own: " << settings->Error() << "\n";
      return 2;
    }
  }

  hostsim::Host& host = hostsim::TheHost();
  hostsim::SimOptions options;
  options.trace = trace;
  options.echo = !quiet && batch;
  options.program_dir = ProgramDir();
  if (const char* tools = std::getenv("KARTUL_SIM_TOOLS"); tools && *tools)
    options.tools_dir = tools;
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
                                      ? hostsim::sys::AbsolutePath(".")
                                      : fs::path(hostsim::sys::AbsolutePath(scenario))
                                            .parent_path()
                                            .generic_string();
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
        status = hostsim::Interactive(host, sim);
      }
    }
  }
  std::cout.flush();
  if (keep) {
    std::cerr << "kartul-sim: temporary folder kept: " << temp_dir << "\n";
  } else {
    RemoveTemporaryFolder(temp_dir);
  }
  return status;
}
