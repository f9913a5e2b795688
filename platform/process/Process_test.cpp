#include "platform/process/Process.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace platform::process {
namespace {

namespace fs = std::filesystem;

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("process_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name()) /
           "Check In";
    fs::remove_all(dir_.parent_path());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_.parent_path()); }

  // A shell script that writes its folder, its arguments (one per line) and
  // what its standard streams are into `out`.
  std::string Script(const std::string& out) {
    std::string path = (dir_ / "checkin.sh").string();
    std::ofstream(path) << "#!/bin/sh\n"
                        << "out='" << out << "'\n"
                        << "fd1=$(readlink /proc/$$/fd/1)\n"
                        << "pwd > \"$out.tmp\"\n"
                        << "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$out.tmp\"; done\n"
                        << "echo \"$fd1\" >> \"$out.tmp\"\n"
                        << "mv \"$out.tmp\" \"$out\"\n"
                        << "exit 3\n";
    chmod(path.c_str(), 0755);
    return path;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(ProcessTest, ArgumentsWithBlanksArriveAsOneEachInTheProgramsFolder) {
  fs::path out = dir_.parent_path() / "out.txt";
  std::string program = Script(out.string());
  ASSERT_TRUE(ExecAndWait(program, {"-s", "db server", "-p", "pass word \"quoted\" $HOME *", "-d",
                                    "/tmp/Export Ordner", ""}));
  // The exit code 3 does not matter: the program could be started.
  EXPECT_EQ(Read(out), dir_.string() +
                           "\n[-s]\n[db server]\n[-p]\n[pass word \"quoted\" $HOME *]\n"
                           "[-d]\n[/tmp/Export Ordner]\n[]\n/dev/null\n");
}

TEST_F(ProcessTest, ProgramThatDoesNotExistCannotBeStarted) {
  EXPECT_FALSE(ExecAndWait((dir_ / "Checkin.exe").string(), {}));
  EXPECT_FALSE(Exec((dir_ / "Checkin.exe").string(), {}));
  EXPECT_FALSE(ExecAndWait("no-such-program-anywhere-4711", {}));
  EXPECT_FALSE(ExecAndWait("", {}));
}

TEST_F(ProcessTest, FileThatIsNoProgramCannotBeStarted) {
  std::string text = (dir_ / "readme.txt").string();
  std::ofstream(text) << "no program";
  EXPECT_FALSE(ExecAndWait(text, {}));
  EXPECT_FALSE(ExecAndWait(dir_.string(), {}));  // a folder
  chmod(text.c_str(), 0755);                     // executable, but no valid format
  std::ofstream(text) << "\x7F"
                         "ELFbroken";
  EXPECT_FALSE(ExecAndWait(text, {}));
}

TEST_F(ProcessTest, ProgramIsFoundInPath) {
  EXPECT_TRUE(ExecAndWait("true", {}));
}

TEST_F(ProcessTest, ExecReturnsAtOnceAndTheProgramRuns) {
  fs::path out = dir_.parent_path() / "shown.txt";
  std::string program = Script(out.string());
  ASSERT_TRUE(Exec(program, {"log file.log"}));
  // Wait for the detached program through the file it writes last.
  for (int i = 0; i < 1000 && !fs::exists(out); ++i) usleep(10000);
  std::string content = Read(out);
  EXPECT_NE(content.find("[log file.log]"), std::string::npos);
  EXPECT_NE(content.find(dir_.string() + "\n"), std::string::npos);
}

TEST_F(ProcessTest, AWatchedProgramTellsHowItEnded) {
  const std::string program = (dir_ / "Checkin.exe").string();
  auto run = [&](const std::string& body) {
    std::ofstream(program) << "#!/bin/sh\n" << body;
    chmod(program.c_str(), 0755);
    std::unique_ptr<RunningProgram> running = RunningProgram::Start(program, {"-l"});
    EXPECT_NE(running, nullptr);
    if (!running) return RunningProgram::Ending{};
    for (int i = 0; i < 1000 && !running->Ended(); ++i) usleep(10000);
    EXPECT_TRUE(running->HowEnded().has_value());
    return running->HowEnded().value_or(RunningProgram::Ending{});
  };
  const RunningProgram::Ending exited = run("[ \"$1\" = -l ] && exit 3\nexit 0\n");
  EXPECT_FALSE(exited.by_signal);
  EXPECT_EQ(exited.code, 3);
  // A crash after a clean log is still a crash.
  const RunningProgram::Ending crashed = run("echo 'Sachdatenfehler: 0' > log\nkill -SEGV $$\n");
  EXPECT_TRUE(crashed.by_signal);
  EXPECT_EQ(crashed.code, SIGSEGV);
  EXPECT_EQ(RunningProgram::Start((dir_ / "fehlt.exe").string(), {}), nullptr);
}

TEST_F(ProcessTest, StoppingAProgramEndsWhatItStartedToo) {
  // The program starts a helper that would outlive it, and both hang.
  const std::string program = (dir_ / "Checkin.exe").string();
  const fs::path pids = dir_.parent_path() / "pids.txt";
  std::ofstream(program) << "#!/bin/sh\n"
                         << "trap '' TERM\n"  // both deaf to the polite request
                         << "sleep 600 &\n"
                         << "echo $$ $! > '" << pids.string() << ".tmp'\n"
                         << "mv '" << pids.string() << ".tmp' '" << pids.string() << "'\n"
                         << "wait\n";
  chmod(program.c_str(), 0755);
  std::unique_ptr<RunningProgram> running = RunningProgram::Start(program, {});
  ASSERT_NE(running, nullptr);
  for (int i = 0; i < 1000 && !fs::exists(pids); ++i) usleep(10000);
  pid_t shell = 0, helper = 0;
  std::ifstream(pids) >> shell >> helper;
  ASSERT_GT(helper, 0);
  EXPECT_FALSE(running->Ended());
  running->Stop(200);
  ASSERT_TRUE(running->HowEnded().has_value());
  EXPECT_TRUE(running->HowEnded()->by_signal);
  EXPECT_EQ(running->HowEnded()->code, SIGKILL);
  // The helper is gone as well (a zombie of init's at most, for a moment).
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    std::ifstream stat("/proc/" + std::to_string(helper) + "/stat");
    std::string line;
    gone = !std::getline(stat, line) || line.find(") Z ") != std::string::npos;
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone) << "helper " << helper << " still runs";
}

TEST(CurrentUser, NameComesFromTheUserDatabase) {
  const passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(GetCurrentUserName(), pw->pw_name);
}

// A service of another platform, reduced to what reaches it.
class RecordingProcesses : public Processes {
 public:
  bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) override {
    Record("wait", program, args);
    return true;
  }
  std::unique_ptr<RunningProgram> Start(const std::string& program,
                                        const std::vector<std::string>& args) override {
    Record("watch", program, args);
    return nullptr;
  }
  bool Exec(const std::string& program, const std::vector<std::string>& args) override {
    Record("show", program, args);
    return false;
  }
  std::string CurrentUserName() override { return "kartiererin"; }
  std::string HomeFolder() override { return "C:/Users/kartiererin"; }

  std::vector<std::string> calls;

 private:
  void Record(const std::string& how, const std::string& program,
              const std::vector<std::string>& args) {
    std::string call = how + " " + program;
    for (const std::string& arg : args) call += " [" + arg + "]";
    calls.push_back(call);
  }
};

TEST(ProcessService, AServiceInstalledForTheScopeTakesEveryCallAndTheSystemsComesBack) {
  RecordingProcesses other;
  {
    ScopedProcesses scoped(other);
    EXPECT_TRUE(ExecAndWait("Checkin.exe", {"-l", "pass wort"}));
    EXPECT_EQ(RunningProgram::Start("Checkin.exe", {""}), nullptr);
    EXPECT_FALSE(Exec("true", {}));
    EXPECT_EQ(GetCurrentUserName(), "kartiererin");
    EXPECT_EQ(HomeFolder(), "C:/Users/kartiererin");
  }
  EXPECT_EQ(other.calls, (std::vector<std::string>{"wait Checkin.exe [-l] [pass wort]",
                                                   "watch Checkin.exe []", "show true"}));
  EXPECT_EQ(&Processes::Current(), &Processes::Default());
  EXPECT_FALSE(ExecAndWait("Checkin.exe", {}));
  EXPECT_EQ(other.calls.size(), 3u);
}

}  // namespace
}  // namespace platform::process
