// Processes on Windows: CreateProcessW with a command line that the program's
// C runtime (or CommandLineToArgvW) splits back into exactly the arguments
// given, never through cmd.exe. A watched program runs in a job object, the
// Windows form of a process group: what it starts joins the job, and ending
// the job ends them all. The job is killed when its handle closes, so a
// watched program does not outlive the RunningProgram, nor the host should
// that end first.
#include <windows.h>

#include <cwchar>
#include <optional>

#include "platform/process/Process.h"
#include "platform/process/WinCommandLine.h"
#include "platform/text/WideText.h"

namespace platform::process {
namespace {

// The exit code Stop forces a program to end with: the status of a program
// interrupted from its console, which, as a status of error severity, reads
// as an end by force and never as an exit of its own.
constexpr DWORD kStopped = 0xC000013A;

// A text that is no valid UTF-8 becomes empty: the start then fails and
// says so, rather than running a program or passing an argument the
// caller never named.
std::wstring Wide(const std::string& utf8) {
  return text::StrictWideOf(utf8).value_or(std::wstring());
}

std::string Utf8(const std::wstring& wide) {
  return text::Utf8OfWide(wide);
}

std::optional<std::wstring> Variable(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
  if (got == 0 || got >= n) return std::nullopt;
  value.resize(got);
  return value;
}

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() {
    if (h_ != nullptr) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

// One argument as the Microsoft C runtime and CommandLineToArgvW read it
// back: quoted when it is empty or holds a blank, a tab or a quote; inside
// the quotes a quote is escaped with a backslash, and backslashes are
// doubled where they precede a quote (an escaped one or the closing one),
// elsewhere they stand for themselves.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

namespace {

// The program's full path, or nothing when there is no such file. A name
// without a folder is looked for in PATH alone, ".exe" added when it has no
// extension, as on POSIX systems.
std::optional<std::wstring> Resolve(const std::string& program) {
  const std::wstring wide = Wide(program);
  if (wide.empty()) return std::nullopt;
  std::wstring found(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = 0;
    if (wide.find_first_of(L"\\/:") != std::wstring::npos) {
      n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(found.size()), found.data(), nullptr);
    } else {
      const std::optional<std::wstring> path = Variable(L"PATH");
      if (!path) return std::nullopt;
      n = SearchPathW(path->c_str(), wide.c_str(), L".exe", static_cast<DWORD>(found.size()),
                      found.data(), nullptr);
    }
    if (n == 0) return std::nullopt;
    if (n < found.size()) {
      found.resize(n);
      break;
    }
    found.resize(n + 1);
  }
  // A batch file would run through cmd.exe, which reads the arguments by
  // rules of its own (a password with "&" or "%" would be taken apart).
  const size_t dot = found.find_last_of(L'.');
  if (dot != std::wstring::npos && found.find_first_of(L"\\/", dot) == std::wstring::npos) {
    const std::wstring extension = found.substr(dot);
    if (_wcsicmp(extension.c_str(), L".bat") == 0 || _wcsicmp(extension.c_str(), L".cmd") == 0) {
      return std::nullopt;
    }
  }
  return found;
}

enum class Mode { kWait, kDetach, kWatch };

struct Started {
  PROCESS_INFORMATION info{};
  HANDLE job = nullptr;  // kWatch: the program's job, when it could have one
};

// A job whose processes all end when its last handle closes.
HANDLE NewJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Starts the program, hidden with its standard streams on NUL or shown,
// suspended until it is in its job when watched. Nothing when it could not
// be started.
std::optional<Started> StartProgram(const std::string& program,
                                    const std::vector<std::string>& args, bool hidden, Mode mode) {
  const std::optional<std::wstring> path = Resolve(program);
  if (!path) return std::nullopt;
  const size_t slash = path->find_last_of(L"\\/");
  std::wstring folder = path->substr(0, slash == std::wstring::npos ? 0 : slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // the drive's root

  // The program's own path first, as its name as given (possibly relative
  // to our folder) would not lead back to it from its own folder. It is
  // read by other rules than the arguments (no escapes): a path cannot hold
  // a quote, so quoting it whole is enough.
  std::wstring command_line = L"\"" + *path + L"\"";
  for (const std::string& arg : args) {
    const std::wstring wide = Wide(arg);
    if (wide.empty() && !arg.empty()) return std::nullopt;  // no UTF-8
    command_line += L" " + QuoteArgument(wide);
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const Handle null_device(hidden ? CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                OPEN_EXISTING, 0, nullptr)
                                  : nullptr);
  std::vector<char> attributes;
  if (hidden) {
    if (null_device.get() == nullptr) return std::nullopt;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = null_device.get();
    startup.StartupInfo.hStdOutput = null_device.get();
    startup.StartupInfo.hStdError = null_device.get();
    // The program inherits the NUL handle alone, none of the host's.
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    HANDLE inherited = null_device.get();
    if (InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                  sizeof inherited, nullptr, nullptr)) {
      startup.lpAttributeList = list;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    flags |= CREATE_NO_WINDOW;  // a console program gets no console window
  } else {
    flags |= CREATE_NEW_PROCESS_GROUP;  // the host's Ctrl+C is not the program's
  }
  if (mode == Mode::kWatch) flags |= CREATE_SUSPENDED;

  Started started;
  const BOOL created =
      CreateProcessW(path->c_str(), command_line.data(), nullptr, nullptr, hidden ? TRUE : FALSE,
                     flags, nullptr, folder.c_str(), &startup.StartupInfo, &started.info);
  const DWORD error = GetLastError();
  if (startup.lpAttributeList != nullptr) DeleteProcThreadAttributeList(startup.lpAttributeList);
  if (!created) {
    SetLastError(error);
    return std::nullopt;
  }
  if (mode == Mode::kWatch) {
    // In its job before it runs, so that nothing it starts escapes it. A
    // host that runs in a job itself that forbids jobs inside (Windows
    // before 8) leaves the program without one: Stop ends it alone.
    started.job = NewJob();
    if (started.job != nullptr && !AssignProcessToJobObject(started.job, started.info.hProcess)) {
      CloseHandle(started.job);
      started.job = nullptr;
    }
    ResumeThread(started.info.hThread);
  }
  CloseHandle(started.info.hThread);
  started.info.hThread = nullptr;
  if (mode == Mode::kWait) WaitForSingleObject(started.info.hProcess, INFINITE);
  if (mode != Mode::kWatch) {
    CloseHandle(started.info.hProcess);
    started.info.hProcess = nullptr;
  }
  return started;
}

bool IsExceptionStatus(DWORD code) {
  return (code & 0xF0000000u) == 0xC0000000u;
}

struct CloseRequest {
  const std::vector<DWORD>* pids;
  bool asked = false;
};

// Called back from EnumWindows, through whose frames no exception may pass;
// it compares ids and posts, and throws nothing.
BOOL CALLBACK CloseIfTheirs(HWND window, LPARAM context) noexcept {
  auto* request = reinterpret_cast<CloseRequest*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  for (const DWORD wanted : *request->pids) {
    if (pid == wanted) {
      PostMessageW(window, WM_CLOSE, 0, 0);
      request->asked = true;
    }
  }
  return TRUE;
}

// Asks the processes to end as a user would, by closing their top-level
// windows; false when none has a window to close.
bool AskToClose(const std::vector<DWORD>& pids) {
  CloseRequest request{&pids};
  EnumWindows(&CloseIfTheirs, reinterpret_cast<LPARAM>(&request));
  return request.asked;
}

// A watched program by its process handle, in its job.
class WinProgram : public RunningProgram {
 public:
  WinProgram(HANDLE process, DWORD pid, HANDLE job) : process_(process), pid_(pid), job_(job) {}
  ~WinProgram() override {
    if (!ending_) Stop(0);
    // Closing the job ends what is left in it.
  }

  bool Ended() override {
    if (!ending_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) Collect();
    return ending_.has_value();
  }
  const std::optional<Ending>& HowEnded() const override { return ending_; }

  void Stop(int grace_ms) override {
    if (grace_ms > 0 && !Ended() && AskToClose(Members())) {
      WaitForSingleObject(process_.get(), static_cast<DWORD>(grace_ms));
    }
    if (job_.get() != nullptr) {
      TerminateJobObject(job_.get(), kStopped);
    } else if (!Ended()) {
      TerminateProcess(process_.get(), kStopped);
    }
    WaitForSingleObject(process_.get(), INFINITE);
    Collect();
  }

 private:
  // The processes of the job (the program's alone without one).
  std::vector<DWORD> Members() const {
    if (job_.get() == nullptr) return {pid_};
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 256 * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    if (!QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, list,
                                   static_cast<DWORD>(buffer.size()), nullptr)) {
      return {pid_};
    }
    std::vector<DWORD> pids;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
      pids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
    }
    return pids;
  }

  void Collect() {
    if (ending_) return;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code) || code == STILL_ACTIVE) return;
    // The exit code is the program's own but for a crash, which leaves an
    // exception's status (0xC0000005 and the like), as Stop does: error
    // severity, neither customer nor reserved bit. The two top bits alone
    // would take an exit code of -1 (0xFFFFFFFF) for a crash.
    ending_ = Ending{IsExceptionStatus(code), static_cast<int>(code)};
  }

  Handle process_;
  DWORD pid_;
  Handle job_;
  std::optional<Ending> ending_;
};

class WinProcesses : public Processes {
 public:
  bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) override {
    return StartProgram(program, args, /*hidden=*/true, Mode::kWait).has_value();
  }

  std::unique_ptr<RunningProgram> Start(const std::string& program,
                                        const std::vector<std::string>& args) override {
    const std::optional<Started> started =
        StartProgram(program, args, /*hidden=*/true, Mode::kWatch);
    if (!started) return nullptr;
    return std::make_unique<WinProgram>(started->info.hProcess, started->info.dwProcessId,
                                        started->job);
  }

  bool Exec(const std::string& program, const std::vector<std::string>& args) override {
    return StartProgram(program, args, /*hidden=*/false, Mode::kDetach).has_value();
  }

  std::string CurrentUserName() override {
    wchar_t name[257];  // UNLEN + 1
    DWORD n = sizeof name / sizeof *name;
    if (GetUserNameW(name, &n) && n > 1) return Utf8(std::wstring(name, n - 1));
    if (const std::optional<std::wstring> user = Variable(L"USERNAME")) return Utf8(*user);
    return "";
  }

  std::string HomeFolder() override {
    if (const std::optional<std::wstring> profile = Variable(L"USERPROFILE");
        profile && !profile->empty()) {
      return Utf8(*profile);
    }
    const std::optional<std::wstring> drive = Variable(L"HOMEDRIVE");
    const std::optional<std::wstring> path = Variable(L"HOMEPATH");
    if (drive && path) return Utf8(*drive + *path);
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n > 0 && n <= MAX_PATH) return Utf8(std::wstring(temp, n));
    return "C:\\";
  }
};

}  // namespace

Processes& Processes::Default() {
  static Processes* const windows = new WinProcesses();
  return *windows;
}

}  // namespace platform::process
