// A host for the process tests on Windows: it starts a program through the
// process service, as the check-in does, and then ends without ending it,
// so that the test sees what the system does with the program's job once
// its host is gone. Arguments: <program> <file> hang|exit
//   the program is started with "spawn <file>" (process_probe: it starts a
//   helper and writes both ids into <file>); then the host
//   hang   waits for ever, to be killed from outside
//   exit   waits for the file "<file>.ende" and ends at once, its
//          RunningProgram left as it is: no destructor closes the job, the
//          system does
#include <windows.h>

#include <memory>
#include <string>

#include "platform/process/Process.h"

namespace {

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring how = argv[3];
  const std::unique_ptr<platform::process::RunningProgram> running =
      platform::process::RunningProgram::Start(Utf8(argv[1]), {"spawn", Utf8(argv[2])});
  if (!running) return 3;
  if (how == L"hang") Sleep(INFINITE);
  const std::wstring go = std::wstring(argv[2]) + L".ende";
  while (GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(10);
  // Locals are not destroyed: the RunningProgram never sees the end.
  ExitProcess(0);
}
