// Processes on Windows, with the probe program beside the test
// (ProcessProbe_test.cpp): arguments that survive the command line, exit
// codes and crashes, a stop that ends what the program started, and (with
// the host of ProcessHost_test.cpp) nothing that outlives its host.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/process/Process.h"
#include "platform/process/WinCommandLine.h"

namespace platform::process {
namespace {

namespace fs = std::filesystem;

fs::path Probe() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / "process_probe.exe";
}

fs::path Host() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / "process_host.exe";
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The tests wait for what they check, by the clock: a loaded machine makes
// wine slow to start a program, and a wait that ends early only fails.
constexpr ULONGLONG kPatienceMs = 60000;

// The text the probe writes, once it can be read. The probe renames its
// file into place, and the file shows under its name before the rename's
// handle (with delete access) is closed: an open that does not share
// deletion is refused meanwhile (ERROR_SHARING_VIOLATION under wine), so a
// file that exists cannot always be read yet.
std::string WaitForText(const fs::path& path) {
  const ULONGLONG until = GetTickCount64() + kPatienceMs;
  for (;;) {
    if (std::string text = Read(path); !text.empty()) return text;
    if (GetTickCount64() >= until) return "";
    Sleep(10);
  }
}

// The ids of the program and of the helper it started, as the probe wrote
// them; zeros when none came.
std::pair<DWORD, DWORD> WaitForIds(const fs::path& path) {
  DWORD program = 0, helper = 0;
  std::istringstream(WaitForText(path)) >> program >> helper;
  return {program, helper};
}

// Arguments that each of the quoting rules is needed for.
const std::vector<std::string> kHardArguments = {"db server",
                                                 "",
                                                 "pass word \"quoted\" $HOME * %PATH% &|<>^",
                                                 "C:\\Export Ordner\\",
                                                 "a\\\\b\\c",
                                                 "\\\"",
                                                 "\\\\\"\\",
                                                 "tab\there",
                                                 "\"",
                                                 "Jördis Ørsted \xE2\x9C\x93",
                                                 "-p"};

TEST(CommandLine, EachArgumentComesBackWholeThroughCommandLineToArgvW) {
  std::wstring line = L"program.exe";
  std::vector<std::wstring> wide;
  for (const std::string& arg : kHardArguments) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), w.data(), n);
    wide.push_back(w);
    line += L" " + QuoteArgument(w);
  }
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
  ASSERT_NE(argv, nullptr);
  ASSERT_EQ(argc, static_cast<int>(wide.size()) + 1) << std::string(line.begin(), line.end());
  for (size_t i = 0; i < wide.size(); ++i) EXPECT_TRUE(wide[i] == argv[i + 1]) << i;
  LocalFree(argv);
  EXPECT_TRUE(QuoteArgument(L"plain\\path") == L"plain\\path") << "unquoted when it can be";
}

class WinProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("process_test_" + std::to_string(GetCurrentProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name()) /
           "Check In";
    fs::remove_all(dir_.parent_path());
    fs::create_directories(dir_);
    program_ = (dir_ / "Checkin.exe").string();
    fs::copy_file(Probe(), program_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_.parent_path(), ignored);
  }

  RunningProgram::Ending RunToEnd(const std::vector<std::string>& args) {
    std::unique_ptr<RunningProgram> running = RunningProgram::Start(program_, args);
    EXPECT_NE(running, nullptr);
    if (!running) return {};
    const ULONGLONG until = GetTickCount64() + kPatienceMs;
    while (!running->Ended() && GetTickCount64() < until) Sleep(10);
    EXPECT_TRUE(running->HowEnded().has_value());
    return running->HowEnded().value_or(RunningProgram::Ending{});
  }

  fs::path dir_;
  std::string program_;
};

TEST_F(WinProcessTest, ArgumentsArriveExactlyInTheProgramsFolderWithStreamsOnNul) {
  const fs::path out = dir_.parent_path() / "out.txt";
  std::vector<std::string> args = {"args", out.string()};
  args.insert(args.end(), kHardArguments.begin(), kHardArguments.end());
  ASSERT_TRUE(ExecAndWait(program_, args));
  std::string expected = dir_.string() + "\n";
  for (const std::string& arg : kHardArguments) expected += "[" + arg + "]\n";
  EXPECT_EQ(Read(out), expected + "alike\nchar\n");
}

TEST_F(WinProcessTest, WhatIsNoProgramCannotBeStarted) {
  EXPECT_FALSE(ExecAndWait((dir_ / "fehlt.exe").string(), {}));
  EXPECT_FALSE(Exec((dir_ / "fehlt.exe").string(), {}));
  EXPECT_EQ(RunningProgram::Start((dir_ / "fehlt.exe").string(), {}), nullptr);
  EXPECT_FALSE(ExecAndWait("no-such-program-anywhere-4711", {}));
  EXPECT_FALSE(ExecAndWait("", {}));
  EXPECT_FALSE(ExecAndWait(dir_.string(), {})) << "a folder";
  std::ofstream(dir_ / "readme.exe") << "no program";
  EXPECT_FALSE(ExecAndWait((dir_ / "readme.exe").string(), {}));
  std::ofstream(dir_ / "run.bat") << "@exit 0\r\n";
  EXPECT_FALSE(ExecAndWait((dir_ / "run.bat").string(), {})) << "cmd.exe would read the arguments";
  EXPECT_TRUE(ExecAndWait("cmd", {"/c", "exit", "0"})) << "found in PATH, .exe added";
}

TEST_F(WinProcessTest, ExecReturnsAtOnceAndTheProgramRuns) {
  const fs::path out = dir_.parent_path() / "shown.txt";
  ASSERT_TRUE(Exec(program_, {"args", out.string(), "log file.log"}));
  EXPECT_NE(WaitForText(out).find("[log file.log]"), std::string::npos);
}

TEST_F(WinProcessTest, AWatchedProgramTellsHowItEnded) {
  const RunningProgram::Ending exited = RunToEnd({"exit", "3"});
  EXPECT_FALSE(exited.by_signal);
  EXPECT_EQ(exited.code, 3);
  const RunningProgram::Ending crashed = RunToEnd({"crash"});
  EXPECT_TRUE(crashed.by_signal);
  EXPECT_EQ(static_cast<DWORD>(crashed.code), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST_F(WinProcessTest, OnlyAnExceptionsStatusIsACrashNotAnExitCodeWithTheTopBitsSet) {
  // 0xFFFFFFFF, the program's own -1: both top bits set, yet no crash.
  const RunningProgram::Ending minus_one = RunToEnd({"exit", "-1"});
  EXPECT_FALSE(minus_one.by_signal);
  EXPECT_EQ(minus_one.code, -1);
  // 0xD0000000 and 0xE0000000: beyond the statuses of error severity.
  for (const char* code : {"-805306368", "-536870912"}) {
    const RunningProgram::Ending ending = RunToEnd({"exit", code});
    EXPECT_FALSE(ending.by_signal) << code;
    EXPECT_EQ(std::to_string(ending.code), code);
  }
  const RunningProgram::Ending crashed = RunToEnd({"crash"});
  EXPECT_TRUE(crashed.by_signal);
  EXPECT_EQ(static_cast<DWORD>(crashed.code), 0xC0000005u);
}

TEST_F(WinProcessTest, StoppingAProgramEndsWhatItStartedTooAndAsksNoWindowless) {
  const fs::path pids = dir_.parent_path() / "pids.txt";
  std::unique_ptr<RunningProgram> running =
      RunningProgram::Start(program_, {"spawn", pids.string()});
  ASSERT_NE(running, nullptr);
  const auto [program, helper] = WaitForIds(pids);
  ASSERT_GT(program, 0u);
  ASSERT_GT(helper, 0u);
  HANDLE helper_process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, helper);
  ASSERT_NE(helper_process, nullptr) << GetLastError();
  EXPECT_FALSE(running->Ended());
  const ULONGLONG before = GetTickCount64();
  running->Stop(60000);
  EXPECT_LT(GetTickCount64() - before, 30000u) << "no window to ask: forced at once";
  ASSERT_TRUE(running->HowEnded().has_value());
  EXPECT_TRUE(running->HowEnded()->by_signal);
  if (WaitForSingleObject(helper_process, static_cast<DWORD>(kPatienceMs)) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "helper still runs";
    TerminateProcess(helper_process, 1);  // it would keep the test's output open
  }
  CloseHandle(helper_process);
}

TEST_F(WinProcessTest, AProgramStillRunningWhenItsObjectGoesIsEnded) {
  const fs::path pids = dir_.parent_path() / "pids.txt";
  std::unique_ptr<RunningProgram> running =
      RunningProgram::Start(program_, {"spawn", pids.string()});
  ASSERT_NE(running, nullptr);
  const auto [program, helper] = WaitForIds(pids);
  ASSERT_GT(program, 0u);
  ASSERT_GT(helper, 0u);
  const DWORD access = SYNCHRONIZE | PROCESS_TERMINATE;
  HANDLE both[] = {OpenProcess(access, FALSE, program), OpenProcess(access, FALSE, helper)};
  ASSERT_NE(both[0], nullptr) << GetLastError();
  ASSERT_NE(both[1], nullptr) << GetLastError();
  running.reset();
  for (HANDLE process : both) {
    if (WaitForSingleObject(process, static_cast<DWORD>(kPatienceMs)) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "still runs";
      TerminateProcess(process, 1);
    }
    CloseHandle(process);
  }
}

// The host gone while the check-in program runs, killed or ended without
// ending the program (process_host, ProcessHost_test.cpp): the system
// closes the host's handle of the job, which kills the program and the
// helper it started.
TEST_F(WinProcessTest, NothingOfAProgramOutlivesItsHostKilledOrEnded) {
  for (const std::wstring how : {L"hang", L"exit"}) {
    SCOPED_TRACE(std::string(how.begin(), how.end()));
    const fs::path pids = dir_.parent_path() / (L"pids_" + how + L".txt");
    std::wstring command = L"\"" + Host().wstring() + L"\" \"" + fs::path(program_).wstring() +
                           L"\" \"" + pids.wstring() + L"\" " + how;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION host{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &host))
        << GetLastError();
    CloseHandle(host.hThread);
    const auto [program, helper] = WaitForIds(pids);
    const DWORD access = SYNCHRONIZE | PROCESS_TERMINATE;
    HANDLE both[] = {OpenProcess(access, FALSE, program), OpenProcess(access, FALSE, helper)};
    EXPECT_NE(both[0], nullptr) << GetLastError();
    EXPECT_NE(both[1], nullptr) << GetLastError();
    if (how == L"hang") {
      TerminateProcess(host.hProcess, 1);
    } else {
      std::ofstream(fs::path(pids.wstring() + L".ende")) << "\n";
    }
    EXPECT_EQ(WaitForSingleObject(host.hProcess, static_cast<DWORD>(kPatienceMs)), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(host.hProcess, &code);
    EXPECT_EQ(code, how == L"hang" ? 1u : 0u) << "the host started the program and ended so";
    CloseHandle(host.hProcess);
    for (HANDLE process : both) {
      if (process == nullptr) continue;
      if (WaitForSingleObject(process, static_cast<DWORD>(kPatienceMs)) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "still runs";
        TerminateProcess(process, 1);
      }
      CloseHandle(process);
    }
  }
}

TEST(CurrentUser, NameAndHomeComeFromWindows) {
  wchar_t name[257];
  DWORD n = 257;
  ASSERT_TRUE(GetUserNameW(name, &n));
  EXPECT_FALSE(GetCurrentUserName().empty());
  EXPECT_EQ(GetCurrentUserName().size() + 1, static_cast<size_t>(n)) << "ASCII names here";
  EXPECT_FALSE(HomeFolder().empty());
}

}  // namespace
}  // namespace platform::process
