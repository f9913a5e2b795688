// The 32-bit host's ties to the system, run under the 32-bit wine: the
// Linux programs a scenario starts, paths on wine's drive of the Linux root,
// the run's own settings and the timers' messages. GoogleTest is built for
// 64-bit Windows only, so this counts its own failures.
#include <windows.h>

#include <iostream>
#include <string>

#include "hostsim/HostModel.h"
#include "hostsim/System.h"

using namespace hostsim::sys;

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::cout << "FAILED: " << what << "\n";
  }
}

bool HasValue(const wchar_t* key, const wchar_t* value) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  const bool found = RegQueryValueExW(k, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

void SetValue(const wchar_t* key, const wchar_t* value) {
  HKEY k = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  RegSetValueExW(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
  RegCloseKey(k);
}

int ticks = 0;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { ++ticks; }

}  // namespace

int main() {
  ProgramRun run = RunProgram({"/bin/sh", "-c", "printf '%s|%s' \"$1\" \"$2\"; exit 3", "sh",
                               "a b", "it's \"Gr\xC3\xBCn\"\\n"},
                              false);
  Check(run.started && run.exit_code == 3 && run.signal == 0, "exit code 3 comes back");
  Check(run.output == "a b|it's \"Gr\xC3\xBCn\"\\n", "arguments pass whole: " + run.output);

  const std::vector<std::string> both{"/bin/sh", "-c", "echo out; echo err >&2"};
  Check(RunProgram(both, true).output == "out\nerr\n", "errors join the output when asked");
  Check(RunProgram(both, false).output == "out\n", "errors stay out otherwise");
  Check(!RunProgram({"/no/such/program"}, false).started, "a missing program is not started");
  run = RunProgram({"/bin/sh", "-c", "kill -TERM $$"}, false);
  Check(run.signal == 15, "a signal is told apart: " + std::to_string(run.signal));
  run = RunProgram({"/bin/sh", "-c", "pwd"}, false);
  Check(run.output == AbsolutePath(".") + "\n", "the program starts in our folder: " + run.output);

  Check(AbsolutePath("/tmp/a/../b/./c") == "/tmp/b/c", "a rooted path stays without drive");
  Check(AbsolutePath("x").rfind('/', 0) == 0 && AbsolutePath("x").find('\\') == std::string::npos,
        "a relative path gets the current folder, with '/': " + AbsolutePath("x"));
  Check(AbsolutePath("C:\\windows\\.\\system32") == "C:/windows/system32",
        "another drive keeps its letter: " + AbsolutePath("C:\\windows\\.\\system32"));
  Check(IsAbsolutePath("/tmp") && IsAbsolutePath("C:/x") && !IsAbsolutePath("x/y"),
        "absolute paths are told");

  const wchar_t* key = L"Software\\Bremak\\kartul\\host32-test";
  SetValue(key, L"user");
  {
    PrivateSettings settings("host32-test-run");
    Check(settings.Error().empty(), "private settings: " + settings.Error());
    Check(!HasValue(key, L"user"), "a run does not see the user's settings");
    SetValue(key, L"run");
    Check(HasValue(key, L"run"), "a run sees its own settings");
  }
  Check(HasValue(key, L"user") && !HasValue(key, L"run"),
        "the user's settings are back, the run's gone");
  RegDeleteTreeW(HKEY_CURRENT_USER, key);

  const UINT_PTR timer = SetTimer(nullptr, 0, 10, &Tick);
  Sleep(60);
  Check(DispatchMessages() >= 1 && ticks >= 1, "a thread timer's message is handed out");
  KillTimer(nullptr, timer);

  std::cout << (failures == 0 ? "host32 system: all passed" : "host32 system: failures") << "\n";
  return failures == 0 ? 0 : 1;
}
