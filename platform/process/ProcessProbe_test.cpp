// A program for the process tests on Windows, which has no shell to write
// one with. By its first argument:
//   args <file> ...   writes its folder, its arguments after <file> as its
//                     C runtime split them, whether CommandLineToArgvW split
//                     them alike, and what its standard output is; exits 3
//   exit <code>       exits with the code
//   crash             ends by an access violation
//   spawn <file>      starts "hang" beside itself, writes both ids, hangs
//   hang              waits for ever
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                      nullptr, nullptr);
  return utf8;
}

// Written whole under a temporary name, then renamed: the test waits for it.
void WriteFile(const wchar_t* path, const std::string& text) {
  const std::wstring temporary = std::wstring(path) + L".tmp";
  FILE* f = _wfopen(temporary.c_str(), L"wb");
  if (f == nullptr) std::exit(90);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  if (!MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING)) std::exit(91);
}

LONG WINAPI EndQuietly(EXCEPTION_POINTERS*) {
  return EXCEPTION_EXECUTE_HANDLER;  // no debugger, the exception's status as exit code
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(&EndQuietly);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"args" && argc > 2) {
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::string text = Utf8(folder) + "\n";
    for (int i = 3; i < argc; ++i) text += "[" + Utf8(argv[i]) + "]\n";
    int n = 0;
    wchar_t** again = CommandLineToArgvW(GetCommandLineW(), &n);
    bool alike = again != nullptr && n == argc;
    for (int i = 1; alike && i < argc; ++i) alike = std::wstring(again[i]) == argv[i];
    text += alike ? "alike\n" : "different\n";
    const DWORD kind = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE));
    text += kind == FILE_TYPE_CHAR ? "char\n" : "other " + std::to_string(kind) + "\n";
    WriteFile(argv[2], text);
    return 3;
  }
  if (mode == L"exit" && argc > 2) return _wtoi(argv[2]);
  if (mode == L"crash") {
    // The access violation's status raised, not a store through a null
    // pointer: under qemu-i386 every fault reaches the 32-bit wine as an
    // illegal instruction (0xC000001D). What the test reads is the status
    // an unhandled exception ends the process with, the same either way.
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
  }
  if (mode == L"spawn" && argc > 2) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" hang";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return 92;
    }
    WriteFile(argv[2], std::to_string(GetCurrentProcessId()) + " " +
                           std::to_string(info.dwProcessId) + "\n");
    Sleep(INFINITE);
  }
  if (mode == L"hang") Sleep(INFINITE);
  return 99;
}
