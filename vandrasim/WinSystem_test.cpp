// Checkin.exe on Windows (WinSystem.cpp), started as the plug-in starts it,
// through the platform's process service: the crash of its test switch is
// a crash to the service, an exception's status and no exit code; its exit
// code -1 is an exit code, after which the log tells how the run went; and
// its arguments arrive whole, blanks and umlauts included.
#include <windows.h>
// A macro of windows.h that would rename the Env's own helper.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "platform/process/Process.h"
#include "platform/text/Encoding.h"

namespace {

namespace fs = std::filesystem;
using platform::process::RunningProgram;

std::string Utf8(const fs::path& path) {
  const std::wstring wide = path.wstring();
  return platform::text::Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

fs::path Beside(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / name;
}

// Wine under the emulator takes seconds to start a program; the test waits
// for the end by the clock, never by a count of naps.
constexpr ULONGLONG kPatienceMs = 120000;

class CheckInProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("checkin_" + std::to_string(GetCurrentProcessId()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    // A store and a package folder whose names need more than the ANSI
    // code page of a German Windows could give argv.
    store_ = root_ / L"Speicher \u00DC \u0141\u00F3d\u017A";
    package_ = root_ / L"Paket J\u00F6rdis \u2713";
    fs::create_directories(store_);
    fs::create_directories(package_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void Store(const std::string& test_switch) {
    // The user and password in the Windows code page, as the central
    // system's ini file holds them.
    platform::env::ReplaceFile(platform::env::Env::Default(), Utf8(store_ / "checkin.ini"),
                               "[Nutzer]\r\nj\xF6rdis=T\xFCr zu 7\r\n[Datenbanken]\r\nVANDRA NRW=1\r\n"
                               "[Test]\r\nVerhalten=" + test_switch + "\r\n");
  }

  RunningProgram::Ending Run() {
    const std::vector<std::string> args = {"-l", "-s", Utf8(store_), "-u", "jördis",
                                           "-p", "Tür zu 7", "-D", "VANDRA NRW",
                                           "-d", Utf8(package_), "-n", "P"};
    std::unique_ptr<RunningProgram> running =
        RunningProgram::Start(Utf8(Beside(L"Checkin.exe")), args);
    EXPECT_NE(running, nullptr);
    if (!running) return {};
    const ULONGLONG until = GetTickCount64() + kPatienceMs;
    while (!running->Ended() && GetTickCount64() < until) Sleep(20);
    EXPECT_TRUE(running->HowEnded().has_value()) << "still running";
    if (!running->HowEnded()) running->Stop();
    return running->HowEnded().value_or(RunningProgram::Ending{});
  }

  std::string Log() {
    try {
      return platform::env::ReadFile(platform::env::Env::Default(), Utf8(package_ / "P.log"));
    } catch (const platform::env::EnvError&) {
      return "(no log)";
    }
  }

  fs::path root_, store_, package_;
};

TEST_F(CheckInProgram, ACrashEndsItWithAnExceptionsStatusAndNoLog) {
  Store("absturz");
  const RunningProgram::Ending ending = Run();
  EXPECT_TRUE(ending.by_signal);
  const DWORD status = static_cast<DWORD>(ending.code);
  EXPECT_EQ(status & 0xF0000000u, 0xC0000000u) << std::hex << status;
  EXPECT_EQ(Log(), "(no log)");
}

TEST_F(CheckInProgram, ExitCodeMinusOneIsAnExitCodeAndTheLogIsWritten) {
  Store("minuseins");
  const RunningProgram::Ending ending = Run();
  EXPECT_FALSE(ending.by_signal);
  EXPECT_EQ(ending.code, -1);
  // The package folder is empty: the log has the findings.
  EXPECT_NE(Log().find("Datei P.tid: fehlt"), std::string::npos) << Log();
}

TEST_F(CheckInProgram, TheArgumentsArriveWholeInUtf8) {
  Store("");
  const RunningProgram::Ending ending = Run();
  EXPECT_FALSE(ending.by_signal);
  EXPECT_EQ(ending.code, 1);
  // Store, user, password and database were found (no login finding), the
  // log lies in the package folder and names it (in the Windows code page,
  // where the check mark has no place).
  const std::string log = Log();
  EXPECT_EQ(log.find("Anmeldung"), std::string::npos) << log;
  EXPECT_NE(log.find("Datei P.tid: fehlt"), std::string::npos) << log;
  EXPECT_NE(log.find("Paket J\xF6rdis ?"), std::string::npos) << log;
  EXPECT_NE(log.find("Nutzer: j\xF6rdis"), std::string::npos) << log;
}

}  // namespace
