// The host stand-in on 32-bit Windows, which runs under wine here: the
// plug-in DLL through LoadLibraryW, and the scenarios' programs, which are
// the Linux programs of the machine wine runs on (/bin/sh, sqlite3, the
// Linux build's tools), started by their Unix paths.
//
// Paths: with the current drive being the one wine maps to / (Z:), a Unix
// path is a Windows path without drive, so the host keeps paths that way
// and hands them to the Linux programs unchanged.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "hostsim/HostModel.h"
#include "hostsim/System.h"

namespace fs = std::filesystem;

namespace hostsim::sys {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text ? Utf8(text) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

// The current drive ("Z:"), whose paths the host writes without it.
std::string CurrentDrive() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
  if (n < 2 || n >= MAX_PATH || buffer[1] != L':') return {};
  return Utf8(std::wstring(buffer, 2));
}

// A Linux program's argument in single quotes, for /bin/sh.
std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

const char* const kLibraryExtension = ".dll";

void* OpenLibrary(const std::string& path, std::string& error) {
  std::wstring w = Wide(path);
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  // The DLL's own folder first for what it imports, as the host's loader
  // finds a plug-in's companions.
  HMODULE module = LoadLibraryExW(w.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) error = SystemMessage(GetLastError());
  return module;
}

void* LibrarySymbol(void* library, const std::string& name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* ProgramLibrary(std::string& /*error*/) { return GetModuleHandleW(nullptr); }

std::string ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return AbsolutePath(Utf8(buffer));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string MakeTempFolder(std::string& error) {
  std::string base;
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) {
    base = tmp;
  } else if (fs::is_directory("/tmp")) {
    // Wine's drive of the Linux root: the Linux programs of the scenario
    // share the folder.
    base = "/tmp";
  } else {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) {
      error = SystemMessage(GetLastError());
      return {};
    }
    base = Utf8(std::wstring(buffer, n));
  }
  base = AbsolutePath(base);
  std::random_device seed;
  std::mt19937 random(seed() ^ GetCurrentProcessId());
  const char* const letters = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = base + "/kartul-sim-";
    for (int i = 0; i < 6; ++i) name += letters[random() % 36];
    if (CreateDirectoryW(Wide(name).c_str(), nullptr)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      error = SystemMessage(GetLastError());
      return {};
    }
  }
  error = "no free name under " + base;
  return {};
}

void SetEnvironment(const std::string& name, const std::string& value) {
  // Both the process's block, which the plug-in and started programs get,
  // and the C runtime's copy, which getenv reads.
  SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
}

bool InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

int DispatchMessages() {
  int dispatched = 0;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    ++dispatched;
  }
  return dispatched;
}

namespace {
const wchar_t* const kRunsKey = L"Software\\kartul-sim";
}  // namespace

// Not volatile, though it goes at the end: Windows allows no lasting key
// below a volatile one, and the plug-in makes lasting keys.
PrivateSettings::PrivateSettings(const std::string& run_name) : name_(run_name) {
  const std::wstring key = std::wstring(kRunsKey) + L"\\" + Wide(name_);
  HKEY run = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr,
                                   0, KEY_ALL_ACCESS, nullptr, &run, nullptr);
  if (status != ERROR_SUCCESS) {
    error_ = SystemMessage(static_cast<DWORD>(status));
    return;
  }
  status = RegOverridePredefKey(HKEY_CURRENT_USER, run);
  if (status != ERROR_SUCCESS) {
    error_ = SystemMessage(static_cast<DWORD>(status));
    RegCloseKey(run);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    return;
  }
  key_ = run;
}

PrivateSettings::~PrivateSettings() {
  if (!key_) return;
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(static_cast<HKEY>(key_));
  HKEY runs = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunsKey, 0, KEY_ALL_ACCESS, &runs) == ERROR_SUCCESS) {
    RegDeleteTreeW(runs, Wide(name_).c_str());
    RegCloseKey(runs);
  }
}

std::string AbsolutePath(const std::string& path) {
  const std::u8string u =
      fs::absolute(fs::path(Wide(path))).lexically_normal().generic_u8string();
  std::string full(u.begin(), u.end());
  const std::string drive = CurrentDrive();
  if (!drive.empty() && full.size() >= 3 && full[2] == '/' &&
      CompareStringOrdinal(Wide(full.substr(0, 2)).c_str(), 2, Wide(drive).c_str(), 2, TRUE) ==
          CSTR_EQUAL) {
    full = full.substr(2);
  }
  return full;
}

fs::path FilePath(const std::string& utf8) { return fs::path(Wide(utf8)); }

bool IsAbsolutePath(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

// Wine starts a Linux program by its Unix path, but as no Windows process:
// there is no handle to wait on or to ask for the exit code, and a pipe's
// end of ours reads as closed when our handle to it goes, not when the
// program is done. So /bin/sh runs the program with its output to a file,
// then writes the exit code to a file of its own under a temporary name
// and renames it into place, and that file's appearing says it ended. The
// arguments go in the script file in UTF-8, quoted for the shell, so none
// passes through a command line.
ProgramRun RunProgram(const std::vector<std::string>& args, bool with_errors) {
  if (args.empty()) throw HostError("exec: no program");
  std::string error;
  const std::string folder = MakeTempFolder(error);
  if (folder.empty()) throw HostError("exec: no folder for " + args[0] + ": " + error);
  struct Removed {
    const std::string& folder;
    ~Removed() {
      std::error_code ignored;
      fs::remove_all(fs::path(Wide(folder)), ignored);
    }
  } removed{folder};
  const std::string script = folder + "/run.sh", output = folder + "/output",
                    status = folder + "/status";
  {
    std::string line;
    for (const std::string& a : args) line += (line.empty() ? "" : " ") + ShellQuoted(a);
    std::ofstream f(fs::path(Wide(script)), std::ios::binary);
    f << "cd " << ShellQuoted(AbsolutePath(".")) << " || exit\n"
      << line << " </dev/null >" << ShellQuoted(output) << (with_errors ? " 2>&1" : "") << "\n"
      << "echo $? >" << ShellQuoted(status + ".part") << " && mv " << ShellQuoted(status + ".part")
      << " " << ShellQuoted(status) << "\n";
    if (!f.flush()) throw HostError("exec: cannot write " + script);
  }
  std::wstring command = L"/bin/sh " + Wide(script);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"/bin/sh", command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    throw HostError("exec: cannot start /bin/sh for " + args[0] + ": " +
                    SystemMessage(GetLastError()));
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  const std::wstring status_w = Wide(status);
  auto pause = std::chrono::milliseconds(1);
  while (GetFileAttributesW(status_w.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  ProgramRun run;
  {
    std::ifstream f(fs::path(Wide(output)), std::ios::binary);
    run.output.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  int code = -1;
  {
    std::ifstream f{fs::path(status_w)};
    f >> code;
  }
  // The shell's own way of telling: 127 the program not found or not
  // startable, 126 not executable, 128 + n killed by signal n.
  if (code == 127 || code == 126) {
    run.started = false;
    run.exit_code = code;
  } else if (code > 128) {
    run.signal = code - 128;
  } else {
    run.exit_code = code;
  }
  return run;
}

}  // namespace hostsim::sys
