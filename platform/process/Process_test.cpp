#include "platform/process/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace platform::process {
namespace {

namespace fs = std::filesystem;

// Whether the process has ended within `ms` (a zombie nobody collected yet
// has: only its entry is left).
bool EndsWithin(pid_t pid, int ms) {
  for (int waited = 0;; waited += 10) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.find(") Z ") != std::string::npos) return true;
    if (waited >= ms) return false;
    usleep(10000);
  }
}

// The processes whose parent is this one, zombies included.
std::vector<pid_t> OurChildren() {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (name) state ppid ...: the name may hold blanks and parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == getpid()) children.push_back(pid);
  }
  closedir(proc);
  return children;
}

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

  // The check-in program "Checkin.exe": it starts a helper that would
  // outlive it (`sleep 600`), notes both pids, and then runs `rest`.
  std::string Spawner(const std::string& rest) {
    const std::string program = (dir_ / "Checkin.exe").string();
    std::ofstream(program) << "#!/bin/sh\n"
                           << "sleep 600 &\n"
                           << "echo $$ $! > '" << Pids().string() << ".tmp'\n"
                           << "mv '" << Pids().string() << ".tmp' '" << Pids().string() << "'\n"
                           << rest;
    chmod(program.c_str(), 0755);
    return program;
  }
  fs::path Pids() const { return dir_.parent_path() / "pids.txt"; }
  // The pids Spawner's program noted, once they are there.
  std::pair<pid_t, pid_t> WaitForPids() {
    for (int i = 0; i < 1000 && !fs::exists(Pids()); ++i) usleep(10000);
    pid_t program = 0, helper = 0;
    std::ifstream(Pids()) >> program >> helper;
    return {program, helper};
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

TEST_F(ProcessTest, WhatAProgramLeftRunningEndsWhenItsObjectGoesAndNothingElseStays) {
  std::unique_ptr<RunningProgram> running = RunningProgram::Start(Spawner("exit 0\n"), {});
  ASSERT_NE(running, nullptr);
  const auto [program, helper] = WaitForPids();
  ASSERT_GT(helper, 0);
  for (int i = 0; i < 1000 && !running->Ended(); ++i) usleep(10000);
  ASSERT_TRUE(running->HowEnded().has_value());
  EXPECT_FALSE(running->HowEnded()->by_signal) << "it ended by itself";
  EXPECT_FALSE(EndsWithin(helper, 0)) << "its helper runs on while the object lives";
  running.reset();
  if (!EndsWithin(helper, 5000)) {
    ADD_FAILURE() << "helper " << helper << " still runs";
    kill(helper, SIGKILL);
  }
  EXPECT_EQ(OurChildren(), std::vector<pid_t>{}) << "all collected, the guard too";
}

TEST_F(ProcessTest, TheProgramHoldsNoneOfTheHostsDescriptorsNorDoesItsGuard) {
  // A pipe of the host's, closed on exec as the platform opens everything:
  // the reader sees its end once the host closes it, program or no program.
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  std::unique_ptr<RunningProgram> running = RunningProgram::Start(Spawner("wait\n"), {});
  ASSERT_NE(running, nullptr);
  ASSERT_GT(WaitForPids().second, 0);
  close(fds[1]);
  pollfd reader{fds[0], POLLIN, 0};
  ASSERT_EQ(poll(&reader, 1, 5000), 1) << "someone else holds the write end";
  char byte;
  EXPECT_EQ(read(fds[0], &byte, 1), 0);
  close(fds[0]);
}

// The host ended by force while the check-in program runs: a helper
// process stands in for it, starts the program through the service, and is
// killed. Nothing of the program may stay: neither the program (the
// parent-death signal) nor the helper it started (its guard kills the group).
TEST_F(ProcessTest, NothingOfAProgramOutlivesItsHostKilled) {
  const std::string program_path = Spawner("wait\n");
  const pid_t host = fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    std::unique_ptr<RunningProgram> running = RunningProgram::Start(program_path, {});
    if (!running) _exit(1);
    for (;;) pause();
  }
  const auto [program, helper] = WaitForPids();
  EXPECT_GT(helper, 0);
  kill(host, SIGKILL);
  int status = 0;
  waitpid(host, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the host stand-in could not start the program";
  ASSERT_GT(helper, 0);
  for (const pid_t pid : {program, helper}) {
    if (!EndsWithin(pid, 5000)) {
      ADD_FAILURE() << pid << " still runs";
      kill(pid, SIGKILL);  // not left behind by a failing test
    }
  }
}

// The parent-death signal follows the thread that forked: a program started
// from a thread that ends goes with it, killed (see Process.h).
TEST_F(ProcessTest, AProgramStartedFromAThreadThatEndsIsKilledWithIt) {
  std::unique_ptr<RunningProgram> running;
  std::thread([&] { running = RunningProgram::Start(Spawner("wait\n"), {}); }).join();
  ASSERT_NE(running, nullptr);
  for (int i = 0; i < 1000 && !running->Ended(); ++i) usleep(10000);
  ASSERT_TRUE(running->HowEnded().has_value());
  EXPECT_TRUE(running->HowEnded()->by_signal);
  EXPECT_EQ(running->HowEnded()->code, SIGKILL);
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
